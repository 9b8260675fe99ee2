// The board as a text diagram, and the invalid-move report that shows it
// (used by the command handler and the book builder alike).
#pragma once

#include <cstdio>

#include "board/position.h"

// 1: board diagrams are printed (-d; "xboard" clears it). Set by the front end.
extern int show_diagram;

// The diagram into a stream, only while show_diagram is set.
void print_diagram(FILE* stream, Position* pos);
// The diagram on standard output (console mode) and in the log.
void show_board(Position* pos);
// The board, then "Invalid move: <coordinates>".
void report_invalid_move(Position* pos, Move move);
