// Precomputed bitboard tables: masks, leaper attacks, rotated-occupancy
// slider attacks, rays, pawn-structure masks. Filled once at start-up by
// init_bitboard_tables and read-only afterwards.
#pragma once

#include <cstdio>

#include "board/position.h"

// Constant rotation data. ROT90 stores file a in bits 0-7, file b in 8-15,
// and so on; ROT45 lays out the a1-h8 diagonals from a8 (alone) to h1
// (alone), each from its lower-left end; ROT315 the h1-a8 diagonals from h8
// to a1, each from its lower-right end. SHIFT45 / SHIFT315 give the bit of
// the lower end of a square's diagonal.
// clang-format off
inline constexpr int ROT90_INDEX[64] = {
     0,  8, 16, 24, 32, 40, 48, 56,
     1,  9, 17, 25, 33, 41, 49, 57,
     2, 10, 18, 26, 34, 42, 50, 58,
     3, 11, 19, 27, 35, 43, 51, 59,
     4, 12, 20, 28, 36, 44, 52, 60,
     5, 13, 21, 29, 37, 45, 53, 61,
     6, 14, 22, 30, 38, 46, 54, 62,
     7, 15, 23, 31, 39, 47, 55, 63,
};
inline constexpr int ROT45_INDEX[64] = {
    28, 36, 43, 49, 54, 58, 61, 63,
    21, 29, 37, 44, 50, 55, 59, 62,
    15, 22, 30, 38, 45, 51, 56, 60,
    10, 16, 23, 31, 39, 46, 52, 57,
     6, 11, 17, 24, 32, 40, 47, 53,
     3,  7, 12, 18, 25, 33, 41, 48,
     1,  4,  8, 13, 19, 26, 34, 42,
     0,  2,  5,  9, 14, 20, 27, 35,
};
inline constexpr int ROT315_INDEX[64] = {
    63, 61, 58, 54, 49, 43, 36, 28,
    62, 59, 55, 50, 44, 37, 29, 21,
    60, 56, 51, 45, 38, 30, 22, 15,
    57, 52, 46, 39, 31, 23, 16, 10,
    53, 47, 40, 32, 24, 17, 11,  6,
    48, 41, 33, 25, 18, 12,  7,  3,
    42, 34, 26, 19, 13,  8,  4,  1,
    35, 27, 20, 14,  9,  5,  2,  0,
};
inline constexpr int SHIFT45[64] = {
    28, 36, 43, 49, 54, 58, 61, 63,
    21, 28, 36, 43, 49, 54, 58, 61,
    15, 21, 28, 36, 43, 49, 54, 58,
    10, 15, 21, 28, 36, 43, 49, 54,
     6, 10, 15, 21, 28, 36, 43, 49,
     3,  6, 10, 15, 21, 28, 36, 43,
     1,  3,  6, 10, 15, 21, 28, 36,
     0,  1,  3,  6, 10, 15, 21, 28,
};
inline constexpr int SHIFT315[64] = {
    63, 61, 58, 54, 49, 43, 36, 28,
    61, 58, 54, 49, 43, 36, 28, 21,
    58, 54, 49, 43, 36, 28, 21, 15,
    54, 49, 43, 36, 28, 21, 15, 10,
    49, 43, 36, 28, 21, 15, 10,  6,
    43, 36, 28, 21, 15, 10,  6,  3,
    36, 28, 21, 15, 10,  6,  3,  1,
    28, 21, 15, 10,  6,  3,  1,  0,
};
inline constexpr int DIAG_LENGTH_A1H8[64] = {
     8,  7,  6,  5,  4,  3,  2,  1,
     7,  8,  7,  6,  5,  4,  3,  2,
     6,  7,  8,  7,  6,  5,  4,  3,
     5,  6,  7,  8,  7,  6,  5,  4,
     4,  5,  6,  7,  8,  7,  6,  5,
     3,  4,  5,  6,  7,  8,  7,  6,
     2,  3,  4,  5,  6,  7,  8,  7,
     1,  2,  3,  4,  5,  6,  7,  8,
};
inline constexpr int DIAG_LENGTH_H1A8[64] = {
     1,  2,  3,  4,  5,  6,  7,  8,
     2,  3,  4,  5,  6,  7,  8,  7,
     3,  4,  5,  6,  7,  8,  7,  6,
     4,  5,  6,  7,  8,  7,  6,  5,
     5,  6,  7,  8,  7,  6,  5,  4,
     6,  7,  8,  7,  6,  5,  4,  3,
     7,  8,  7,  6,  5,  4,  3,  2,
     8,  7,  6,  5,  4,  3,  2,  1,
};
// clang-format on

extern u64 square_mask[64];
extern u64 file_mask[64];
extern u64 rank_mask[64];
extern u64 knight_attacks[64];
extern u64 king_attacks[64];
extern u64 pawn_attacks_white[64];
extern u64 pawn_attacks_black[64];
extern u64 rank_attacks[64][128];
extern u64 file_attacks[64][128];
extern u64 diag_a1h8_attacks[64][128];
extern u64 diag_h1a8_attacks[64][128];
extern u64 ray_north[64];
extern u64 ray_south[64];
extern u64 ray_east[64];
extern u64 ray_west[64];
extern u64 ray_north_east[64];
extern u64 ray_north_west[64];
extern u64 ray_south_east[64];
extern u64 ray_south_west[64];
extern int direction_table[64][64];

// Combined masks.
extern u64 castle_path_white_short;
extern u64 castle_path_white_long;
extern u64 castle_path_black_short;
extern u64 castle_path_black_long;

void init_bitboard_tables();
void init_file_masks();
void init_rank_masks();
void init_knight_attacks();
void init_king_attacks();
void init_pawn_attacks();
void init_rank_attacks();
void init_file_attacks();
void init_diag_a1h8_attacks();
void init_diag_h1a8_attacks();
void init_rays();

// Debugging aid: an 8 x 8 diagram of the set.
void print_bitboard(FILE* stream, u64 set);

// Bit helpers.
constexpr u64 bit(int sq)
{
    return u64(1) << sq;
}
constexpr u64 FILE_A = 0x0101010101010101ull;
// King steps between two squares: the larger of the file and rank distances.
constexpr int square_distance(int a, int b)
{
    const int df = (a & 7) > (b & 7) ? (a & 7) - (b & 7) : (b & 7) - (a & 7);
    const int dr = (a >> 3) > (b >> 3) ? (a >> 3) - (b >> 3) : (b >> 3) - (a >> 3);
    return df > dr ? df : dr;
}
constexpr u64 FILE_H = FILE_A << 7;
constexpr u64 RANK_1 = 0x00000000000000FFull;
constexpr u64 RANK_2 = RANK_1 << 8;
constexpr u64 RANK_3 = RANK_1 << 16;
constexpr u64 RANK_6 = RANK_1 << 40;
constexpr u64 RANK_7 = RANK_1 << 48;
constexpr u64 RANK_8 = RANK_1 << 56;
inline int lowest_square(u64 set)
{
    return __builtin_ctzll(set);
}
inline int highest_square(u64 set)
{
    return 63 - __builtin_clzll(set);
}
inline int pop_lowest(u64& set)
{
    int sq = __builtin_ctzll(set);
    set &= set - 1;
    return sq;
}
inline int pop_highest(u64& set)
{
    int sq = 63 - __builtin_clzll(set);
    set ^= u64(1) << sq;
    return sq;
}
inline int count_bits(u64 set)
{
#if defined(__POPCNT__)
    return __builtin_popcountll(set);
#else
    // Without the instruction the builtin is a library call; the same sum
    // of bit fields inline saves the call on every evaluation term.
    set -= (set >> 1) & 0x5555555555555555ULL;
    set = (set & 0x3333333333333333ULL) + ((set >> 2) & 0x3333333333333333ULL);
    set = (set + (set >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
    return int((set * 0x0101010101010101ULL) >> 56);
#endif
}

// Slider lookups through the rotated occupancies.
inline u64 rank_attacks_from(const Position* pos, int sq)
{
    return rank_attacks[sq][(pos->occupied >> (sq & 56)) & 127];
}
inline u64 file_attacks_from(const Position* pos, int sq)
{
    return file_attacks[sq][(pos->occupied_rot90 >> ((sq & 7) << 3)) & 127];
}
inline u64 diag_a1h8_attacks_from(const Position* pos, int sq)
{
    return diag_a1h8_attacks[sq][(pos->occupied_rot45 >> SHIFT45[sq]) & 127];
}
inline u64 diag_h1a8_attacks_from(const Position* pos, int sq)
{
    return diag_h1a8_attacks[sq][(pos->occupied_rot315 >> SHIFT315[sq]) & 127];
}
// Both lines from given occupancies: the static exchange and the futility
// test read changed copies.
inline u64 diagonal_attacks(u64 rot45, u64 rot315, int sq)
{
    return diag_a1h8_attacks[sq][(rot45 >> SHIFT45[sq]) & 127] |
           diag_h1a8_attacks[sq][(rot315 >> SHIFT315[sq]) & 127];
}
inline u64 straight_attacks(u64 occupied, u64 rot90, int sq)
{
    return rank_attacks[sq][(occupied >> (sq & 56)) & 127] |
           file_attacks[sq][(rot90 >> ((sq & 7) << 3)) & 127];
}
inline u64 diagonal_attacks_from(const Position* pos, int sq)
{
    return diagonal_attacks(pos->occupied_rot45, pos->occupied_rot315, sq);
}
inline u64 straight_attacks_from(const Position* pos, int sq)
{
    return straight_attacks(pos->occupied, pos->occupied_rot90, sq);
}
