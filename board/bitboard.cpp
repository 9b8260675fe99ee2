// Precomputed bitboard tables. The rotated layouts put every file and every
// diagonal into consecutive bits so that a slider's line occupancy is one
// shift and mask away; the attack sets per pattern are computed here once.
#include "board/bitboard.h"

#include <cstdlib>

u64 square_mask[64];
u64 dark_square_mask;
u64 light_square_mask;
u64 file_mask[64];
u64 rank_mask[64];
u64 knight_attacks[64];
u64 king_attacks[64];
u64 pawn_attacks_white[64];
u64 pawn_attacks_black[64];
u64 rank_attacks[64][128];
u64 file_attacks[64][128];
u64 diag_a1h8_attacks[64][128];
u64 diag_h1a8_attacks[64][128];
u8 rank_mobility[64][128];
u8 file_mobility[64][128];
u8 diag_a1h8_mobility[64][128];
u8 diag_h1a8_mobility[64][128];
u64 ray_north[64];
u64 ray_south[64];
u64 ray_east[64];
u64 ray_west[64];
u64 ray_north_east[64];
u64 ray_north_west[64];
u64 ray_south_east[64];
u64 ray_south_west[64];
int direction_table[64][64];
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
u64 castle_path_white_short;
u64 castle_path_white_long;
u64 castle_path_black_short;
u64 castle_path_black_long;
u64 rank7_inner_mask;
u64 rank2_inner_mask;
u64 pattern_g2_f3_h3;
u64 pattern_g7_f6_h6;
u64 pattern_b2_a3_c3;
u64 pattern_b7_a6_c6;
u64 trapped_rook_mask[64];

namespace {

inline int chebyshev(int a, int b)
{
    int df = std::abs((a & 7) - (b & 7));
    int dr = std::abs((a >> 3) - (b >> 3));
    return df > dr ? df : dr;
}

inline bool on_board(int file, int rank)
{
    return file >= 0 && file < 8 && rank >= 0 && rank < 8;
}

// Attack sets along one line. `line` lists the line's squares from its lower
// end; pattern bit k stands for line[k].
void fill_line_attacks(u64 (*table)[128], const int* line, int length)
{
    for (int pos = 0; pos < length; pos++) {
        int sq = line[pos];
        for (int p = 0; p < 128; p++) {
            u64 set = 0;
            for (int k = pos + 1; k < length; k++) {
                set |= bit(line[k]);
                if (k < 7 && (p >> k & 1))
                    break;
            }
            for (int k = pos - 1; k >= 0; k--) {
                set |= bit(line[k]);
                if (p >> k & 1)
                    break;
            }
            table[sq][p] = set;
        }
    }
}

// Walks from a square by (df, dr) steps to the board edge.
u64 walk(int sq, int df, int dr)
{
    u64 set = 0;
    int f = (sq & 7) + df, r = (sq >> 3) + dr;
    while (on_board(f, r)) {
        set |= bit(r * 8 + f);
        f += df;
        r += dr;
    }
    return set;
}

} // namespace

void init_colour_masks()
{
    for (int sq = 0; sq < 64; sq++)
        if ((((sq & 7) ^ (sq >> 3)) & 1) == 0)
            dark_square_mask |= bit(sq);
    light_square_mask = ~dark_square_mask;
}

void init_file_masks()
{
    for (int sq = 0; sq < 64; sq++)
        file_mask[sq] = u64(0x0101010101010101) << (sq & 7);
}

void init_rank_masks()
{
    for (int sq = 0; sq < 64; sq++)
        rank_mask[sq] = u64(0xFF) << (sq & 56);
}

void init_knight_attacks()
{
    static const int offsets[8] = {-17, -15, -10, -6, 6, 10, 15, 17};
    for (int sq = 0; sq < 64; sq++) {
        u64 set = 0;
        for (int off : offsets) {
            int t = sq + off;
            if (t >= 0 && t < 64 && chebyshev(sq, t) == 2)
                set |= bit(t);
        }
        knight_attacks[sq] = set;
    }
}

void init_king_attacks()
{
    for (int sq = 0; sq < 64; sq++) {
        u64 set = 0;
        for (int t = 0; t < 64; t++)
            if (chebyshev(sq, t) == 1)
                set |= bit(t);
        king_attacks[sq] = set;
    }
}

void init_pawn_attacks()
{
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7, r = sq >> 3;
        u64 w = 0, b = 0;
        if (r < 7) {
            if (f > 0)
                w |= bit(sq + 7);
            if (f < 7)
                w |= bit(sq + 9);
        }
        if (r > 0) {
            if (f > 0)
                b |= bit(sq - 9);
            if (f < 7)
                b |= bit(sq - 7);
        }
        pawn_attacks_white[sq] = w;
        pawn_attacks_black[sq] = b;
    }
}

void init_rank_attacks()
{
    for (int r = 0; r < 8; r++) {
        int line[8];
        for (int f = 0; f < 8; f++)
            line[f] = r * 8 + f;
        fill_line_attacks(rank_attacks, line, 8);
    }
}

void init_file_attacks()
{
    for (int f = 0; f < 8; f++) {
        int line[8];
        for (int r = 0; r < 8; r++)
            line[r] = r * 8 + f;
        fill_line_attacks(file_attacks, line, 8);
    }
}

void init_diag_a1h8_attacks()
{
    // Lower-left ends: a8..a1 then b1..h1.
    for (int d = -7; d <= 7; d++) {
        int f = d > 0 ? d : 0, r = d < 0 ? -d : 0;
        int line[8], n = 0;
        for (; on_board(f, r); f++, r++)
            line[n++] = r * 8 + f;
        fill_line_attacks(diag_a1h8_attacks, line, n);
    }
}

void init_diag_h1a8_attacks()
{
    // Lower-right ends: a1..h1 then h2..h8.
    for (int s = 0; s <= 14; s++) {
        int f = s < 7 ? s : 7, r = s < 7 ? 0 : s - 7;
        int line[8], n = 0;
        for (; on_board(f, r); f--, r++)
            line[n++] = r * 8 + f;
        fill_line_attacks(diag_h1a8_attacks, line, n);
    }
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

void init_rays()
{
    for (int sq = 0; sq < 64; sq++) {
        ray_north[sq] = walk(sq, 0, 1);
        ray_south[sq] = walk(sq, 0, -1);
        ray_east[sq] = walk(sq, 1, 0);
        ray_west[sq] = walk(sq, -1, 0);
        ray_north_east[sq] = walk(sq, 1, 1);
        ray_north_west[sq] = walk(sq, -1, 1);
        ray_south_east[sq] = walk(sq, 1, -1);
        ray_south_west[sq] = walk(sq, -1, -1);
    }
    static const struct {
        u64* ray;
        int step;
    } rays[8] = {{ray_north, 8},       {ray_south, -8},     {ray_east, 1},
                 {ray_west, -1},       {ray_north_east, 9}, {ray_north_west, 7},
                 {ray_south_east, -7}, {ray_south_west, -9}};
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++) {
            direction_table[a][b] = 0;
            for (const auto& r : rays)
                if (r.ray[a] & bit(b))
                    direction_table[a][b] = r.step;
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
            int dw = chebyshev(t, white_goal), db = chebyshev(t, black_goal);
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

void init_bitboard_tables()
{
    for (int sq = 0; sq < 64; sq++)
        square_mask[sq] = bit(sq);
    init_colour_masks();
    init_file_masks();
    init_rank_masks();
    init_knight_attacks();
    init_king_attacks();
    init_pawn_attacks();
    init_rank_attacks();
    init_file_attacks();
    init_diag_a1h8_attacks();
    init_diag_h1a8_attacks();
    init_mobility_counts();
    init_rays();
    init_adjacent_file_masks();
    init_adjacent_span_masks();
    init_passed_pawn_masks();
    init_pawn_square_masks();
    init_side_neighbour_masks();
    init_pawn_file_pattern_table();

    files_a_to_c = file_mask[0] | file_mask[1] | file_mask[2];
    files_a_to_d = files_a_to_c | file_mask[3];
    files_f_to_h = file_mask[5] | file_mask[6] | file_mask[7];
    files_e_to_h = files_f_to_h | file_mask[4];
    castle_path_white_short = square_mask[SQ_F1] | square_mask[SQ_G1];
    castle_path_white_long = square_mask[SQ_B1] | square_mask[SQ_C1] | square_mask[SQ_D1];
    castle_path_black_short = square_mask[SQ_F8] | square_mask[SQ_G8];
    castle_path_black_long = square_mask[SQ_B8] | square_mask[SQ_C8] | square_mask[SQ_D8];
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

void print_bitboard(FILE* stream, u64 set)
{
    static const char border[] = "      +---+---+---+---+---+---+---+---+\n";
    for (int r = 7; r >= 0; r--) {
        fprintf(stream, "%s    %d ", border, r + 1);
        for (int f = 0; f < 8; f++)
            fputs((set >> (r * 8 + f) & 1) ? "| x " : "|   ", stream);
        fputs("|\n", stream);
    }
    fputs(border, stream);
    fputs("        a   b   c   d   e   f   g   h\n", stream);
    fflush(stream);
}
