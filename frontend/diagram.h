// The two one-line bad-move replies and the line-oriented position editor of
// the xboard "edit" command. The diagram itself is the board's
// (board/diagram.h).
#pragma once

#include "board/diagram.h"
#include "board/position.h"

// Longest editor line, terminator included.
constexpr int EDIT_LINE_SIZE = 64;

// "Illegal move: <from><to>" for the xboard interface.
void print_illegal_move(Move move);
// The same reply for text that gave no move code at all: the interface is
// answered with the move it sent, not with the squares of move 0.
void print_illegal_move_text(Move move, const char* text);
// Reads editor lines until "." (or the end of input) and rebuilds the position.
void edit_position(Position* pos);
