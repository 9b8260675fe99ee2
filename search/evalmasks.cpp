// The evaluation's precomputed masks and counts, built from the board's
// tables.
#include "search/evalmasks.h"

#include <cstdint>

u64 dark_square_mask;
u64 light_square_mask;
u8 rank_mobility[64][128];
u8 file_mobility[64][128];
u8 diag_a1h8_mobility[64][128];
u8 diag_h1a8_mobility[64][128];
u64 adjacent_files_mask[64];
u64 adjacent_span_up[64];
u64 adjacent_span_down[64];
u64 passed_mask_white[64];
u64 passed_mask_black[64];
u64 side_neighbours_mask[64];
u64 outside_square_white[64];
u64 outside_square_white_far[64];
u64 outside_square_black[64];
u64 outside_square_black_far[64];
u8 pawn_file_pattern[256][256];
u64 files_a_to_c;
u64 files_a_to_d;
u64 files_e_to_h;
u64 files_f_to_h;
u64 rank7_inner_mask;
u64 rank2_inner_mask;
u64 pattern_g2_f3_h3;
u64 pattern_g7_f6_h6;
u64 pattern_b2_a3_c3;
u64 pattern_b7_a6_c6;
u64 trapped_rook_mask[64];

namespace {

void init_colour_masks()
{
    dark_square_mask = 0;
    for (int sq = 0; sq < 64; sq++)
        if ((((sq & 7) ^ (sq >> 3)) & 1) == 0)
            dark_square_mask |= bit(sq);
    light_square_mask = ~dark_square_mask;
}

void init_mobility_counts()
{
    for (int sq = 0; sq < 64; sq++)
        for (int p = 0; p < 128; p++) {
            rank_mobility[sq][p] = u8(2 * count_bits(rank_attacks[sq][p]));
            file_mobility[sq][p] = u8(2 * count_bits(file_attacks[sq][p]));
            diag_a1h8_mobility[sq][p] = u8(3 * count_bits(diag_a1h8_attacks[sq][p]));
            diag_h1a8_mobility[sq][p] = u8(3 * count_bits(diag_h1a8_attacks[sq][p]));
        }
}

void init_adjacent_file_masks()
{
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7;
        u64 set = 0;
        if (f > 0)
            set |= file_mask[sq - 1];
        if (f < 7)
            set |= file_mask[sq + 1];
        adjacent_files_mask[sq] = set;
    }
}

void init_adjacent_span_masks()
{
    const u64 ranks_2_to_7 = u64(0x00FFFFFFFFFFFF00);
    for (int sq = 0; sq < 64; sq++) {
        int r = sq >> 3;
        u64 above = r < 7 ? ~u64(0) << ((r + 1) * 8) : 0;
        u64 below = r > 0 ? ~u64(0) >> ((8 - r) * 8) : 0;
        adjacent_span_up[sq] = adjacent_files_mask[sq] & above & ranks_2_to_7;
        adjacent_span_down[sq] = adjacent_files_mask[sq] & below & ranks_2_to_7;
    }
}

void init_passed_pawn_masks()
{
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7;
        u64 w = ray_north[sq], b = ray_south[sq];
        if (f > 0) {
            w |= ray_north[sq - 1];
            b |= ray_south[sq - 1];
        }
        if (f < 7) {
            w |= ray_north[sq + 1];
            b |= ray_south[sq + 1];
        }
        passed_mask_white[sq] = w;
        passed_mask_black[sq] = b;
    }
}

void init_pawn_square_masks()
{
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7, r = sq >> 3;
        int white_goal = 56 + f, black_goal = f;
        int white_moves = 7 - r - (r == 1 ? 1 : 0);
        int black_moves = r - (r == 6 ? 1 : 0);
        u64 w = 0, wf = 0, b = 0, bf = 0;
        for (int t = 0; t < 64; t++) {
            int dw = square_distance(t, white_goal), db = square_distance(t, black_goal);
            if (dw > white_moves)
                w |= bit(t);
            if (dw > white_moves + 1)
                wf |= bit(t);
            if (db > black_moves)
                b |= bit(t);
            if (db > black_moves + 1)
                bf |= bit(t);
        }
        outside_square_white[sq] = w;
        outside_square_white_far[sq] = wf;
        outside_square_black[sq] = b;
        outside_square_black_far[sq] = bf;
    }
}

void init_side_neighbour_masks()
{
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7;
        u64 set = 0;
        if (f > 0)
            set |= bit(sq - 1);
        if (f < 7)
            set |= bit(sq + 1);
        side_neighbours_mask[sq] = set;
    }
}

// Flags for one pair of pawn-file sets (White's w, Black's b; bit n = file
// n), White's in the low nibble, Black's in the high: 0x01 a pawn two files
// or more beyond the other side's on the a-side, 0x02 on the h-side, 0x04
// more pawns on files a-c, 0x08 on files f-h (a majority only where that
// wing is not already held by an outside pawn and not joined to the centre).
// Each side's files are read once, and a row is filled without branches, so
// that the compiler fills many entries at a time: filling the table pair by
// pair was most of the time from start-up to "uciok".
void init_pawn_file_pattern_table()
{
    int8_t low[256], high[256], queen_wing[256], king_wing[256];
    for (int x = 0; x < 256; x++) {
        low[x] = int8_t(x ? __builtin_ctz(x) : 0);
        high[x] = int8_t(x ? 31 - __builtin_clz(x) : 0);
        queen_wing[x] = int8_t(__builtin_popcount(x & 0x07));
        king_wing[x] = int8_t(__builtin_popcount(x & 0xE0));
    }
    for (int w = 0; w < 256; w++) {
        u8* row = pawn_file_pattern[w];
        for (int b = 0; b < 256; b++) {
            const int all = w | b;
            const bool both_q = (all & 0x0C) != 0x0C, both_k = (all & 0x30) != 0x30;
            const int wq = queen_wing[w], bq = queen_wing[b];
            const int wk = king_wing[w], bk = king_wing[b];
            const bool w_low = low[w] + 1 < low[b], b_low = low[b] + 1 < low[w];
            const bool w_high = high[w] - 1 > high[b], b_high = high[b] - 1 > high[w];
            const bool queen = both_q && wq && bq, king = both_k && wk && bk;
            const int flags = w_low | w_high << 1 | (queen && !w_low && wq > bq) << 2 |
                              (king && !w_high && wk > bk) << 3 | b_low << 4 | b_high << 5 |
                              (queen && !b_low && bq > wq) << 6 | (king && !b_high && bk > wk) << 7;
            row[b] = u8(w && b ? flags : 0);
        }
    }
}

void init_fixed_patterns()
{
    files_a_to_c = file_mask[0] | file_mask[1] | file_mask[2];
    files_a_to_d = files_a_to_c | file_mask[3];
    files_f_to_h = file_mask[5] | file_mask[6] | file_mask[7];
    files_e_to_h = files_f_to_h | file_mask[4];
    rank7_inner_mask = rank_mask[48] & ~square_mask[48] & ~square_mask[55];
    rank2_inner_mask = rank_mask[8] & ~square_mask[8] & ~square_mask[15];
    pattern_g2_f3_h3 = square_mask[14] | square_mask[21] | square_mask[23];
    pattern_g7_f6_h6 = square_mask[54] | square_mask[45] | square_mask[47];
    pattern_b2_a3_c3 = square_mask[9] | square_mask[16] | square_mask[18];
    pattern_b7_a6_c6 = square_mask[49] | square_mask[40] | square_mask[42];
    for (int sq = 0; sq < 64; sq++)
        trapped_rook_mask[sq] = 0;
    trapped_rook_mask[SQ_B1] = square_mask[SQ_A1] | square_mask[8];
    trapped_rook_mask[SQ_C1] = square_mask[SQ_A1] | square_mask[8] | square_mask[SQ_B1];
    trapped_rook_mask[SQ_F1] = square_mask[SQ_H1] | square_mask[15] | square_mask[SQ_G1];
    trapped_rook_mask[SQ_G1] = square_mask[SQ_H1] | square_mask[15];
    trapped_rook_mask[SQ_B8] = square_mask[SQ_A8] | square_mask[48];
    trapped_rook_mask[SQ_C8] = square_mask[SQ_A8] | square_mask[48] | square_mask[SQ_B8];
    trapped_rook_mask[SQ_F8] = square_mask[SQ_H8] | square_mask[55] | square_mask[SQ_G8];
    trapped_rook_mask[SQ_G8] = square_mask[SQ_H8] | square_mask[55];
}

} // namespace

void init_eval_masks()
{
    init_colour_masks();
    init_mobility_counts();
    init_adjacent_file_masks();
    init_adjacent_span_masks();
    init_passed_pawn_masks();
    init_pawn_square_masks();
    init_side_neighbour_masks();
    init_pawn_file_pattern_table();
    init_fixed_patterns();
}
