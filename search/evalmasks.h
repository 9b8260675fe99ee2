// Precomputed masks and counts that only the evaluation reads: square
// colours, mobility counts of the sliders' attack sets, pawn-structure
// masks, the passer's square, the pawn-file patterns and the few fixed
// patterns of the king and piece terms. Filled once by init_eval_masks
// (from init_eval_tables, after the board's tables) and read-only afterwards.
#pragma once

#include "board/bitboard.h"

extern u64 dark_square_mask;
extern u64 light_square_mask;
// Twice (straight) or three times (diagonal) the number of squares a slider
// attacks along one line, by square and the line's occupancy pattern.
extern u8 rank_mobility[64][128];
extern u8 file_mobility[64][128];
extern u8 diag_a1h8_mobility[64][128];
extern u8 diag_h1a8_mobility[64][128];
extern u64 adjacent_files_mask[64];
extern u64 adjacent_span_up[64];
extern u64 adjacent_span_down[64];
extern u64 passed_mask_white[64];
extern u64 passed_mask_black[64];
extern u64 side_neighbours_mask[64];
extern u64 outside_square_white[64];
extern u64 outside_square_white_far[64];
extern u64 outside_square_black[64];
extern u64 outside_square_black_far[64];

// Squares from which the enemy king cannot catch a passer of colour C on sq,
// with the passer's side to move (own_move) or not.
template <int C>
inline u64 outside_square(int sq, bool own_move)
{
    if constexpr (C == 0)
        return own_move ? outside_square_white[sq] : outside_square_white_far[sq];
    else
        return own_move ? outside_square_black[sq] : outside_square_black_far[sq];
}

// Flags of the pawn files of white (first index) and black (second): see
// init_pawn_file_pattern_table.
extern u8 pawn_file_pattern[256][256];
extern u64 files_a_to_c;
extern u64 files_a_to_d;
extern u64 files_e_to_h;
extern u64 files_f_to_h;
extern u64 rank7_inner_mask;
extern u64 rank2_inner_mask;
extern u64 pattern_g2_f3_h3;
extern u64 pattern_g7_f6_h6;
extern u64 pattern_b2_a3_c3;
extern u64 pattern_b7_a6_c6;
extern u64 trapped_rook_mask[64];

// Needs the board's tables (init_bitboard_tables) first.
void init_eval_masks();
