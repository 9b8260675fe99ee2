// Move text into parse_move over positions that exercise every move kind.
// The code it returns passes the legality test before it is made; making and
// unmaking a legal one keeps the board consistent.
#include "fuzz/fuzz_support.h"

namespace {

Position* pos;

const char* const POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N w - - 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "rnbqkbnr/pppp1ppp/8/8/3PpP2/8/PPP1P1PP/RNBQKBNR b KQkq d3 0 3",
    "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
};
constexpr int POSITION_COUNT = int(sizeof POSITIONS / sizeof POSITIONS[0]);

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
    setup_new_game(pos);
    if (set_board(pos, POSITIONS[data[0] % POSITION_COUNT]) != 1)
        fuzz_fail("seed position refused");
    std::string text = fuzz_text(data + 1, size - 1);
    const Move move = parse_move(pos, text.c_str());
    if (move == 0)
        return 0;
    // The code may be any move the text names; what callers rely on is that
    // the validation they make before playing it refuses what the generator
    // would never produce.
    static Move list[MAX_MOVES];
    const int count = gen_all_moves(pos, list);
    bool generated = false;
    for (int i = 0; i < count; i++)
        generated |= list[i] == move;
    if (is_move_valid(pos, move) && !generated)
        fuzz_fail("is_move_valid accepts a move no generator makes", text.c_str());
    if (!is_generated_legal_move(pos, move))
        return 0;
    if (!move_is_sane(pos, move))
        fuzz_fail("a legal move that does not fit the board", text.c_str());
    make_move(pos, move);
    fuzz_check_position(pos, "after make_move");
    unmake_move(pos, move);
    fuzz_check_position(pos, "after unmake_move");
    return 0;
}
