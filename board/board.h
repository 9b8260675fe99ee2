// Everything of the board module.
#pragma once

#include "board/position.h"
#include "board/bitboard.h"
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/fen.h"
#include "board/zobrist.h"
#include "board/gamehistory.h"
#include "board/notation.h"
#include "board/output.h"
#include "board/clock.h"
#include "board/globals.h"
