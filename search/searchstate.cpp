// Definitions of the running search's shared state.
#include "search/searchstate.h"

#include "board/position.h"

int iteration_depth = 0;
int max_depth = DEPTH_UNLIMITED;
int level_max_depth = DEPTH_UNLIMITED;
int root_alpha = -SCORE_INFINITE;
int root_beta = SCORE_INFINITE;
int extend_time = 0;
int stop_search = 0;
int search_side = WHITE;
char current_move_text[32] = "";

int64_t node_count = 0;
int node_countdown = 0;
int node_countdown_reload = 8000;
int sel_depth = 0;

void reset_node_counters()
{
    node_count = 0;
}
