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

// Mate distance in moves, negative when the side to move is mated; 0 for a
// score that is no mate (32767, the bound, included).
int uci_mate_distance(int score);
// " score mate N" for a mate score, " score cp N" otherwise, on standard output.
void print_uci_score(int score);
// xboard thinking lines give a mate in N as 100000 + N and mated in N as
// -100000 - N, which interfaces show as mates; other scores stay centipawns.
constexpr int XBOARD_MATE_SCORE = 100000;
int xboard_score(int score);
