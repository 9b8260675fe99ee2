// Temporary homes: these globals belong to the evaluation, the playing
// levels, the transposition table and the search. Each owner moves its
// definitions into its own module and deletes the lines it moved.
#include "board/globals.h"



