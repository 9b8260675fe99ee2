// FEN/EPD set-up, the new game and the four-field position text.
#pragma once

#include <cstdio>

#include "board/position.h"

inline constexpr const char START_POSITION_FEN[] =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// Returns 1 when the text was a well-formed position; otherwise prints the
// error and leaves the previous position untouched, returning 0.
int set_board(Position* pos, const char* text);
// As set_board, and also refuses (with the bad-format message) a position
// that fails board_is_playable: every position an interface, a user or a
// test-suite file hands in goes through here, so the search never sees one.
int set_board_for_play(Position* pos, const char* text);
// Contempt each new game takes; set by the playing levels and the
// configuration.
extern int default_contempt;
void setup_new_game(Position* pos);
// One king a side and the side not to move not in check: a position play
// can reach as far as the search relies on it. Reads the board array alone.
bool board_is_playable(const int* board, int side_to_move);
// "Bad epd format: TEXT" on standard output, the refusal of every set-up
// path; returns 0.
int report_bad_position(const char* text);
void write_position_text(FILE* stream, const Position* pos);
void show_position_text(const Position* pos);
// The four-field text into a caller's buffer (at least 100 bytes); returns it.
char* format_position_text(char* buffer, const Position* pos);
