// FEN/EPD set-up, the new game and the four-field position text.
#pragma once

#include <cstdio>

#include "board/position.h"

inline constexpr const char START_POSITION_FEN[] =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// Returns 1 when the text was a well-formed position; otherwise prints the
// error and leaves the previous position untouched, returning 0.
int set_board(Position* pos, const char* text);
void setup_new_game(Position* pos);
void write_position_text(FILE* stream, const Position* pos);
void show_position_text(const Position* pos);
// The four-field text into a caller's buffer (at least 100 bytes); returns it.
char* format_position_text(char* buffer, const Position* pos);
