// Precomputed bitboard tables. The rotated layouts put every file and every
// diagonal into consecutive bits so that a slider's line occupancy is one
// shift and mask away; the attack sets per pattern are computed here once.
#include "board/bitboard.h"

u64 square_mask[64];
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
u64 ray_north[64];
u64 ray_south[64];
u64 ray_east[64];
u64 ray_west[64];
u64 ray_north_east[64];
u64 ray_north_west[64];
u64 ray_south_east[64];
u64 ray_south_west[64];
int direction_table[64][64];

u64 castle_path_white_short;
u64 castle_path_white_long;
u64 castle_path_black_short;
u64 castle_path_black_long;

namespace {

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
            if (t >= 0 && t < 64 && square_distance(sq, t) == 2)
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
            if (square_distance(sq, t) == 1)
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

void init_bitboard_tables()
{
    for (int sq = 0; sq < 64; sq++)
        square_mask[sq] = bit(sq);
    init_file_masks();
    init_rank_masks();
    init_knight_attacks();
    init_king_attacks();
    init_pawn_attacks();
    init_rank_attacks();
    init_file_attacks();
    init_diag_a1h8_attacks();
    init_diag_h1a8_attacks();
    init_rays();

    castle_path_white_short = square_mask[SQ_F1] | square_mask[SQ_G1];
    castle_path_white_long = square_mask[SQ_B1] | square_mask[SQ_C1] | square_mask[SQ_D1];
    castle_path_black_short = square_mask[SQ_F8] | square_mask[SQ_G8];
    castle_path_black_long = square_mask[SQ_B8] | square_mask[SQ_C8] | square_mask[SQ_D8];
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
