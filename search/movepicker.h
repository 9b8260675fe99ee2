// The staged move picker: hands the search the moves of one ply one at a
// time, hash move, winning captures, killers, quiet moves by history, losing
// captures, so that a cut-off by an early move saves the rest of the work.
#pragma once

#include "board/position.h"

// Stages of the picker of one ply, in the order they run.
constexpr int PICK_EVASIONS = 0;
constexpr int PICK_HASH_MOVE = 1;
constexpr int PICK_CAPTURES = 2;
constexpr int PICK_KILLER_NEW = 3;
constexpr int PICK_KILLER_OLD = 4;
constexpr int PICK_QUIET = 5;
constexpr int PICK_BAD_CAPTURES = 6;
constexpr int PICK_DONE = 7;

// Resets the picker of the ply (evasions when in_check[ply], else the hash
// move first) and returns its first move, 0 when there is none.
Move pick_first_move(Position* pos, int ply);
// Next move of the ply, 0 when every stage is exhausted.
Move pick_next_move(Position* pos, int ply);
// Sets in_check[0] from the position and starts the picker of ply 0 at the
// front of the move buffer, as pick_first_move would, without a first move.
void reset_root_picker(Position* pos);
