// The command handler: one chain of command words serving the xboard
// protocol, UCI and the console together, plus the entry of the opponent's
// moves in coordinate notation.
#pragma once

#include "board/position.h"

// Acts on the line at pending_line (trimmed, not empty). Called only while no
// search runs; "quit" ends the program.
void handle_command(Position* pos);

// 1 when the token has the shape of a coordinate move: letter, digit,
// letter, digit (e2e4, e7e8q, h7h8=Q).
int looks_like_move(const char* token);

// 1 when the line's command takes the engine off the move: the game or the
// position changes under the search ("force", "new", "result", "setboard",
// "edit"), so the move it found is not to be played.
int line_cancels_engine_move(const char* line);

// Registers the endgame tables of tb_path and gives them their cache, when
// tables are enabled; finding none switches them off.
void init_tablebases_from_path();
