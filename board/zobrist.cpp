// Zobrist keys and the process-wide random sequence. The opening book stores
// keys, so the generator, its seed and the draw order below are fixed for
// good: any change would orphan every existing book file.
#include "board/zobrist.h"

#include <cstring>

#include "board/bitboard.h"
#include "board/output.h"

// clang-format off
const u32 RANDOM_SEED_TABLE[55] = {
    0x5414D5F4, 0xB3935330, 0xD0773E27, 0xAC62A182, 0x5DB20C92,
    0xC1E618AC, 0xD003926A, 0x171FA3B3, 0x9AD12101, 0x762172C1,
    0xBC5D9DC3, 0x07B72A70, 0x6E5AC890, 0xF7BE54D1, 0x0D6332FA,
    0x56BA8FBE, 0xEBA585EC, 0x571421C5, 0x96B3C079, 0x12EB9B92,
    0xC07C0978, 0x0700C5BD, 0x31A43513, 0x74EBA4AA, 0x4EC55DB5,
    0x2C91C2E9, 0x208771F6, 0x304EE204, 0x1E004673, 0xF3AC22F9,
    0xA8561FEB, 0xDED13435, 0xD03E7513, 0xDAE66BC2, 0x01C20BE1,
    0x46638997, 0xFB26CE62, 0x01F87FC3, 0xC0016099, 0x44429270,
    0xB04F4481, 0xF31B8AD7, 0x86DD7A46, 0x03E72091, 0x96A22589,
    0x74DCB7D4, 0x12D0FC03, 0x474A16E8, 0x2FF5717C, 0x54BDED92,
    0x783A9487, 0xE767978C, 0x3052D5CD, 0x16ECA191, 0x8EAF6D15,
};
// clang-format on

u64 zobrist_piece[39][64];
u64 zobrist_spare[64];
u64 zobrist_ep[64];
u64 zobrist_side;

namespace {

u32 random_state[55];
int random_first_use = 1;
int random_j, random_k;

const int KEY_PIECE_ORDER[12] = {17, 18, 19, 20, 21, 22, 33, 34, 35, 36, 37, 38};

} // namespace

u32 draw_random32()
{
    if (random_first_use) {
        memcpy(random_state, RANDOM_SEED_TABLE, sizeof random_state);
        random_first_use = 0;
        random_j = 23;
        random_k = 54;
    }
    random_state[random_k] += random_state[random_j];
    u32 result = random_state[random_k];
    if (--random_j < 0)
        random_j = 54;
    if (--random_k < 0)
        random_k = 54;
    return result;
}

void restart_random_sequence()
{
    random_first_use = 1;
}

u64 draw_random64()
{
    u64 value = 0;
    for (int shift = 56; shift >= 0; shift -= 8)
        value += u64(draw_random32()) << shift;
    return value;
}

void init_zobrist_keys()
{
    for (int sq = 0; sq < 64; sq++)
        for (int code : KEY_PIECE_ORDER)
            zobrist_piece[code][sq] = draw_random64();
    for (int sq = 0; sq < 64; sq++) {
        zobrist_spare[sq] = draw_random64();
        zobrist_ep[sq] = draw_random64();
    }
    zobrist_side = draw_random64();
}

void init_hash_keys()
{
    init_zobrist_keys();
}

u64 compute_hash_key(const Position* pos)
{
    u64 key = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = pos->board[sq];
        if ((code >= W_PAWN && code <= W_KING) || (code >= B_PAWN && code <= B_KING))
            key ^= zobrist_piece[code][sq];
    }
    if (*pos->ep_top)
        key ^= zobrist_ep[*pos->ep_top];
    if (pos->side_to_move == WHITE)
        key ^= zobrist_side;
    return key;
}

u64 compute_pawn_key(const Position* pos)
{
    u64 key = 0;
    for (u64 set = pos->pawns[WHITE]; set;)
        key ^= zobrist_piece[W_PAWN][pop_lowest(set)];
    for (u64 set = pos->pawns[BLACK]; set;)
        key ^= zobrist_piece[B_PAWN][pop_lowest(set)];
    return key;
}
