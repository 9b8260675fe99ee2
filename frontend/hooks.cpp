// The search reaches the front end and the tables only through these.
#include "frontend/hooks.h"

#include "frontend/input.h"
#include "frontend/testsuite.h"
#include "search/hooks.h"
#include "tablebases/tbprobe.h"

namespace {

int table_men_now()
{
    return tb_enabled ? tb_max_men : 0;
}

uint64_t table_hits_now()
{
    return tb_hits;
}

} // namespace

void install_search_hooks()
{
    input_poll_hook = poll_input;
    test_solution_hook = check_test_solution;
    table_men_hook = table_men_now;
    table_probe_hook = probe_tablebases;
    table_hits_hook = table_hits_now;
    table_stats_print_hook = print_tb_stats;
    table_stats_reset_hook = reset_tb_stats;
}
