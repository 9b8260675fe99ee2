// Playing-strength levels.
#include "search/levels.h"

#include "board/board.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/searchstate.h"
#include "search/transposition.h"

const LevelRow LEVEL_TABLE[LEVEL_COUNT] = {
    // knight bishop rook queen weight depth noise contempt
    {120, 120, 200, 300, 0, 1, 30, 0}, {180, 140, 200, 350, 2, 1, 30, 0},
    {250, 250, 500, 970, 4, 2, 30, 0}, {300, 300, 500, 970, 4, 2, 10, 0},
    {300, 300, 500, 970, 4, 4, 10, 0}, {300, 300, 500, 970, 4, 6, 10, 0},
    {300, 300, 500, 970, 4, 7, 0, 0},  {300, 300, 500, 970, 4, 8, 0, 0},
    {300, 300, 500, 970, 4, 9, 0, 0},  {300, 300, 500, 970, 4, 10, 0, 0},
    {300, 300, 500, 970, 4, 64, 0, 0},
};

// Start-up values are those of the full-strength row.
int level_weight = 4;
int root_noise = 0;

void set_level(Position* pos, int level)
{
    emit_text("Level %d\n", level);
    if (level < 1 || level > LEVEL_COUNT) {
        emit_text("level out of range\n");
        return;
    }
    const LevelRow& row = LEVEL_TABLE[level - 1];
    piece_value[KNIGHT - 1] = row.knight;
    piece_value[BISHOP - 1] = row.bishop;
    piece_value[ROOK - 1] = row.rook;
    piece_value[QUEEN - 1] = row.queen;
    level_weight = row.weight;
    max_depth = ONE_PLY * row.depth;
    level_max_depth = max_depth;
    root_noise = row.noise;
    default_contempt = row.contempt;

    // Stored scores and cached evaluations were made with the old values.
    clear_hash();
    clear_pawn_and_eval_cache();
    compute_material(pos);
}
