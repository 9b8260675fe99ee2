// Staged move picker, static exchange evaluation, killers and history, the
// principal-variation table, the root move list and the legality test of a
// single move.
#pragma once

#include "board/position.h"

// Stages of the picker of one ply, in the order they run.
constexpr int PICK_EVASIONS = 0;
constexpr int PICK_HASH_MOVE = 1;
constexpr int PICK_CAPTURES = 2;
constexpr int PICK_KILLER_NEW = 3;
constexpr int PICK_KILLER_OLD = 4;
constexpr int PICK_QUIET = 5;
constexpr int PICK_BAD_CAPTURES = 6;
constexpr int PICK_DONE = 7;

// History scores by side and the move's from * 64 + to.
extern int history[2][4096];

// Resets the picker of the ply (evasions when in_check[ply], else the hash
// move first) and returns its first move, 0 when there is none.
Move pick_first_move(Position* pos, int ply);
// Next move of the ply, 0 when every stage is exhausted.
Move pick_next_move(Position* pos, int ply);

// Selection sort into descending score order. Equal scores come out in the
// order this particular selection sort gives, which the search's node counts
// depend on: a library sort must not replace it.
void sort_moves(Move* moves, int* scores, int count);

// Material gain of the capture on `to` by the piece on `from` when both sides
// keep recapturing with their least valuable attacker. The position is
// changed in place during the evaluation and restored before returning.
int eval_static_exchange(Position* pos, int from, int to);
// Square of the least valuable piece of that colour attacking square, or 64.
int find_least_attacker_white(Position* pos, int square);
int find_least_attacker_black(Position* pos, int square);

// pv[ply] = move followed by the line of ply + 1.
void update_pv(int ply, Move move, Position* pos);
// A quiet cut-off move becomes the newest killer and earns depth^2 history.
void update_killers_history(Position* pos, Move move, int ply, int depth);
// Fills root_moves in picker order with the legal moves (restricted to the
// searchmoves list when it is not empty); the hash move comes first.
void build_root_moves(Position* pos);
// 1 when move is a legal move of the side to move.
int is_legal_move(Position* pos, Move move);
