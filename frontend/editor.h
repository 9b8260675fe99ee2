// The line-oriented position editor of the xboard "edit" command.
#pragma once

#include "board/position.h"

// Longest editor line, terminator included.
constexpr int EDIT_LINE_SIZE = 64;

// Reads editor lines until "." (or the end of input) and rebuilds the position.
void edit_position(Position* pos);
