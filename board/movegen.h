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
int is_move_valid(Position* pos, Move move);
int remove_illegal_moves(Position* pos, Move* list, int count);
int count_legal_moves(Position* pos);
// Whether making move leaves the mover's own king unattacked (made, tested,
// unmade); false when the state stacks have no room to make it.
bool leaves_king_safe(Position* pos, Move move);
// The first legal move in generation order, 0 when there is none.
Move first_legal_move(Position* pos);
// Whether move is one of the legal moves of the side to move, found by full
// generation; unlike the picker-based test it touches no search state.
int is_generated_legal_move(Position* pos, Move move);
