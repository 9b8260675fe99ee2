// What every test program shares: the engine's process-wide settings and
// flags are put back to their start-up values before each test (by
// tests/helpers/engine_state.cpp, linked into every test program), and
// positions that free themselves on every way out of a test.
#pragma once

#include <memory>

#include "board/board.h"

struct PositionDeleter {
    void operator()(Position* pos) const { destroy_position(pos); }
};
using PositionPtr = std::unique_ptr<Position, PositionDeleter>;

// A position freed when it goes out of scope, also when a failed ASSERT
// returns early; it reads as the Position* it holds.
// Reading a temporary one as a Position* (it would be freed at once) and
// freeing it by hand do not compile.
struct OwnedPosition {
    PositionPtr owner;
    OwnedPosition(Position* pos = nullptr) : owner(pos) {}
    operator Position*() const& { return owner.get(); }
    operator Position*() const&& = delete;
    Position* operator->() const { return owner.get(); }
    Position* get() const { return owner.get(); }
};
void destroy_position(const OwnedPosition&) = delete;

// Puts every setting and flag of the engine back to the value it had when
// the program started. The fixture does this before each test; a test that
// runs several engine sessions may call it between them.
void restore_engine_state();
