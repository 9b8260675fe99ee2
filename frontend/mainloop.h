// The main loop: read a command, hand it to the command handler, let the
// engine take its turn, send its move, ponder; until standard input ends.
#pragma once

#include "board/position.h"

// Runs until standard input ends, then closes the log and exits with code 0.
[[noreturn]] void run_main_loop(Position* pos);

// Cuts trailing characters that are not printable (line breaks, carriage
// returns, tabs, other controls); trailing blanks stay. Returns the new length.
int trim_line_end(char* line);
