// What the search reports while it thinks: UCI "info" lines, xboard thinking
// lines, the console table with its progress line, and the end-of-search
// statistics.
#pragma once

struct Position;

void print_pv(Position* pos, int depth, int score);
void print_iteration_end(Position* pos, int depth, int score);
void print_new_best(Position* pos, int depth, int move);
void print_fail_high(Position* pos, int depth, int score);
void print_fail_low(Position* pos, int depth, int score);
void print_current_move(Position* pos, int depth, int move);
void print_search_stats(Position* pos);
// Nodes of the running search per second since its start; 0 before a
// hundredth of a second has passed.
int get_nodes_per_second(const Position* pos);
void reset_search_stats();
