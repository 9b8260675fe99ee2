// Definitions of the settings the front end gives the search.
#include "search/settings.h"

int idle_flag = 1;
int ponder_search = 0;
int analyze_mode = 0;
int post_enabled = 0;
int expected_reply = 0;
int previous_score = 0;
int show_move_numbers = 0;
int test_mode = 0;
int multipv_lines = 1;
