// FEN and EPD lines into set_board. Every playable position it accepts has each legal
// move made and unmade under the invariant check, and written in SAN and in
// coordinates and read back to the same move.
#include <cstring>

#include "fuzz/fuzz_support.h"

namespace {

Position* pos;

void check_ok(const char* where)
{
    fuzz_check_position(pos, where);
}

void check_round_trips(Move move)
{
    char san[32], coord[32];
    std::snprintf(san, sizeof san, "%s", format_move_san(pos, move));
    std::snprintf(coord, sizeof coord, "%s", format_move_coord(move));
    if (parse_move(pos, san) != move)
        fuzz_fail("SAN does not read back", san);
    if (parse_move(pos, coord) != move)
        fuzz_fail("coordinates do not read back", coord);
}

void walk_legal_moves()
{
    static Move list[MAX_MOVES];
    int count = gen_all_moves(pos, list);
    count = remove_illegal_moves(pos, list, count);
    for (int i = 0; i < count; i++) {
        if (!move_is_sane(pos, list[i]))
            fuzz_fail("the generator made a move that does not fit the board",
                      format_move_coord(list[i]));
        check_round_trips(list[i]);
        make_move(pos, list[i]);
        check_ok("after make_move");
        unmake_move(pos, list[i]);
        check_ok("after unmake_move");
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
    std::string text = fuzz_text(data, size);
    char* save = nullptr;
    for (char* line = strtok_r(text.data(), "\n", &save); line;
         line = strtok_r(nullptr, "\n", &save)) {
        // Any well-formed text is set up consistently; only positions play
        // can reach (what every interface sets up) go on to move generation.
        setup_new_game(pos);
        if (set_board(pos, line) == 1)
            check_ok("after set_board");
        setup_new_game(pos);
        if (set_board_for_play(pos, line) != 1)
            continue;
        check_ok("after set_board_for_play");
        walk_legal_moves();
    }
    return 0;
}
