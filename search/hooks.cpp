// The search's calls upward, null until the front end installs them.
#include "search/hooks.h"

int (*input_poll_hook)(Position* pos) = nullptr;
void (*test_solution_hook)(Position* pos, int final) = nullptr;
int (*table_men_hook)() = nullptr;
int (*table_probe_hook)(Position* pos, int* score) = nullptr;
uint64_t (*table_hits_hook)() = nullptr;
void (*table_stats_print_hook)() = nullptr;
void (*table_stats_reset_hook)() = nullptr;
