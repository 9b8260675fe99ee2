// The sort of the move picker's batches.
#pragma once

#include "board/position.h"

// Selection sort into descending score order. Equal scores come out in the
// order this particular selection sort gives, which the search's node counts
// depend on: a library sort must not replace it.
void sort_moves(Move* moves, int* scores, int count);
