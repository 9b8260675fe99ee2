// Pseudo-legal move generation in a fixed, observable order, stored-move
// validation and the legality filter. Every generator appends to a list the
// caller owns (room for MAX_MOVES) and returns the number appended.
#pragma once

#include "board/position.h"

int gen_quiet_white(Position* pos, Move* list);
int gen_quiet_black(Position* pos, Move* list);
int gen_captures_white(Position* pos, Move* list);
int gen_captures_black(Position* pos, Move* list);
int gen_evasions_white(Position* pos, Move* list);
int gen_evasions_black(Position* pos, Move* list);
int gen_all_moves(Position* pos, Move* list);
// Whether a stored move code (hash move, killer, book or hash line, parsed
// text) can be made here: a piece of the side to move, moving as its kind
// may, with captured and promotion fields that match the board; the own
// king's safety is not looked at. Called by the move picker, the hash
// line walk, the notation reader and the book builder before make_move.
int is_move_valid(Position* pos, Move move);
int remove_illegal_moves(Position* pos, Move* list, int count);
int count_legal_moves(Position* pos);
// Whether making move leaves the mover's own king unattacked (made, tested,
// unmade); false when the state stacks have no room to make it.
bool leaves_king_safe(Position* pos, Move move);
// The first legal move in generation order, 0 when there is none.
Move first_legal_move(Position* pos);
// Whether move is one of the legal moves of the side to move, found by full
// generation; unlike the picker-based is_legal_move it touches no search
// state. Called by the UCI front end, the test-suite runner and the fuzzers.
int is_generated_legal_move(Position* pos, Move move);
