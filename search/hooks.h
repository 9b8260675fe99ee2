// The calls the search makes to the layers above and beside it. The front end
// installs them at start-up (install_search_hooks); each may stay null, and
// the search then goes without: no input poll, no test-suite check, no
// endgame tables. So search links and runs without the front end.
#pragma once

#include <cstdint>

struct Position;

// Reads pending input; may set stop_search.
extern int (*input_poll_hook)(Position* pos);
// Asked only while test_mode is set: final = 1 at the end of each
// iteration, 0 for each new best root move.
extern void (*test_solution_hook)(Position* pos, int final);
// Most men the tables answer for now; 0 when they are off.
extern int (*table_men_hook)();
// 1 and the score from the side to move's view when the tables know it.
extern int (*table_probe_hook)(Position* pos, int* score);
// The tables' statistics: hits, their report line, their reset.
extern uint64_t (*table_hits_hook)();
extern void (*table_stats_print_hook)();
extern void (*table_stats_reset_hook)();

// Most men the tables answer for, 0 without tables.
inline int table_men()
{
    return table_men_hook != nullptr ? table_men_hook() : 0;
}
