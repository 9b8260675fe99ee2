// Iterative deepening driver and the root move search.
#pragma once

#include <cstdint>

struct Position;
struct RootMove;

extern int iteration_depth; // twelfths of a ply of the running iteration
extern int max_depth;       // depth limit in twelfths; 768 = none
extern int root_alpha;      // window of the running root search
extern int root_beta;
extern int extend_time;            // non-zero lets the clock run up to the maximum
extern int stop_search;            // raised by the clock, the input poll, the rules of think
extern int search_side;            // side to move when the search started
extern char current_move_text[32]; // SAN of the root move being searched

void think(Position* pos);
void init_search(Position* pos);
int search_root(Position* pos, int depth, int ply, int alpha, int beta);
int get_root_extension(Position* pos, int move);
void sort_root_moves(Position* pos);
void move_root_entry_to_front(int index, RootMove* list);
void reset_node_counters();
