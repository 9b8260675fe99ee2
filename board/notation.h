// Move text in and out: SAN and coordinate notation.
#pragma once

#include "board/position.h"

extern const char* const square_name[64];

Move parse_move(Position* pos, const char* text);
Move encode_ep_capture(int from, Position* pos, int to);
// Both return a buffer of their own that the next call overwrites.
const char* format_move_san(Position* pos, Move move);
const char* format_move_coord(Move move);
