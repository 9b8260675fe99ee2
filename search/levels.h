// Playing-strength levels: eleven rows of piece values, king-safety weight,
// depth limit, root noise and contempt. Level 11 is full strength and the
// start-up state.
#pragma once

#include <cstdint>

struct Position;

struct LevelRow {
    std::int32_t knight;
    std::int32_t bishop;
    std::int32_t rook;
    std::int32_t queen;
    std::int32_t weight;   // king-safety weight (level_weight)
    std::int32_t depth;    // depth limit in plies
    std::int32_t noise;    // spread of the random term on root scores
    std::int32_t contempt; // draw contempt a new game takes
};
static_assert(sizeof(LevelRow) == 8 * 4, "LevelRow is a plain record of eight ints");

constexpr int LEVEL_COUNT = 11;
extern const LevelRow LEVEL_TABLE[LEVEL_COUNT];

extern int level_weight; // king-safety weight, 4 at full strength
extern int root_noise;   // 0 at full strength

// Writes "Level %d\n"; a level outside 1..11 writes "level out of range\n"
// and changes nothing. Otherwise applies the row (max_depth = 12 x depth),
// clears the hash tables and recomputes the material of pos.
void set_level(Position* pos, int level);
