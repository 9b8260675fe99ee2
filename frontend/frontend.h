// Process-wide state of the front end: the flags that the main loop, the
// command handler, the input poll, the engine's turn and the search share.
// Each global is defined once in frontend/state.cpp.
#pragma once

#include <cstdint>
#include <string>

// output_enabled, protocol_mode and the PROTOCOL_ modes belong to the output
// channel, show_diagram to the diagram; the settings the search reads to search/settings.h.
#include "board/diagram.h"
#include "board/output.h"
#include "board/position.h"
#include "search/settings.h"

// Version text shown by -v, the "feature myname" line and the UCI id line.
constexpr const char* QUARVEL_VERSION = "2.1.0";

// Longest command line read from standard input, terminator included: room
// for a UCI "position" line with the moves of the longest game the record
// holds, a promotion each (the move list of an 18000-ply game is 90 to 108 KB).
constexpr int LINE_BUFFER_SIZE = 1 << 17;
static_assert(LINE_BUFFER_SIZE > 6 * GAME_MAX_MOVES + 256);
// Most tokens a command line is split into: as many as the longest line can
// hold (a character and a separator each), so that no token is ever dropped.
constexpr int LINE_TOKEN_LIMIT = LINE_BUFFER_SIZE / 2;

// Number given by the xboard "protover" command (0 before it).
extern int protocol_version;

// Command line waiting for handle_command, or nullptr. Points into a buffer
// that stays valid until the command has been handled.
extern char* pending_line;
// 1: the main loop lets the engine take its turn for the side to move.
extern int search_requested;
// 1: moves are only recorded, the engine does not answer them.
extern int force_mode;
// 1: the engine may think on the opponent's time.
extern int ponder_enabled;
// 1: the opponent offered a draw during this turn.
extern int draw_offered;
// 1: the opponent played the reply the engine expected.
extern int reply_predicted;
// Result of the last ponder search: its root score, its running time in
// centiseconds and the reply it expects after the engine's coming move.
extern int ponder_score;
extern int ponder_time;
extern int ponder_reply;
// Opponent's time left in centiseconds ("otim").
extern int opponent_clock;
// Memory block handed to the tablebase cache (start-up, "xboard",
// UCI NalimovCache); nullptr until tables are registered.
extern void* tb_cache_buffer;
// 1: compatibility mode for the fritz interface; never cleared.
extern int fritz_mode;

// The test-suite files the Windows paths name "c:\temp\NAME" live in the
// system temporary directory: $TMPDIR/NAME, or /tmp/NAME when TMPDIR is
// unset or empty.
std::string temp_path(const char* name);
