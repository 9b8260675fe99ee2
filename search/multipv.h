// Multi-PV analysis: every root move gets its own window and the best N
// lines are reported with their own scores.
#pragma once

#include <cstdint>

struct Position;

struct MultiPvLine {
    int32_t move;
    int32_t score;
    int32_t pv[64];
    int32_t pv_length;
    int32_t depth; // iteration_depth (twelfths) that last searched it
    int32_t alpha;
    int32_t beta;
    int32_t time; // centiseconds when its line was last completed
};
static_assert(sizeof(MultiPvLine) == 71 * 4, "MultiPvLine is a plain record of 71 ints");

// multipv_lines, the number of lines asked for, is a search setting
// (search/settings.h).

void analyse_multipv(Position* pos, int lines);
void sort_multipv_lines(int count, MultiPvLine* lines);
void print_multipv_lines(Position* pos, MultiPvLine* lines, int count, int shown);
