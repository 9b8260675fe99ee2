// Arbitrary book files: open_book, the move choice along a game from the
// start position, and learning from its result, all on a scratch copy. Every
// move the book offers must be legal. The fatal exits the book code takes on
// a file it cannot read or that contradicts itself are outcomes.
#include "book/book.h"
#include "fuzz/fuzz_support.h"

namespace {

Position* pos;

void play_from_book(int plies)
{
    for (int ply = 0; ply < plies; ply++) {
        const Move move = choose_book_move(pos);
        if (move == 0)
            return;
        if (!is_generated_legal_move(pos, move))
            fuzz_fail("the book offered an illegal move");
        push_game_move(pos, move);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    pos = fuzz_engine_start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string path = fuzz_write_file("book", data + 1, size - 1);
    book_enabled = 1;
    setup_new_game(pos);
    pos->engine_side = data[0] & 1;
    pos->game->result = 1 + (data[0] >> 1) % 3;
    const int code = fuzz_run_allowing_exit([&] {
        if (open_book(path.c_str()) == 0) {
            play_from_book(16);
            learn_from_result(pos);
            setup_new_game(pos);
            play_from_book(16);
        }
    });
    if (code != -1 && code != 1)
        fuzz_fail("the book code exited");
    // Closed here rather than by the next open_book, so that an input frees
    // what it allocated: otherwise libFuzzer suspects a leak in every input
    // and runs each one again to look for it.
    if (book_file != nullptr) {
        std::fclose(book_file);
        book_file = nullptr;
    }
    std::remove(path.c_str());
    return 0;
}
