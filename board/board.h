// Everything of the board module.
#pragma once

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/clock.h"
#include "board/diagram.h"
#include "board/fen.h"
#include "board/gamehistory.h"
#include "board/makemove.h"
#include "board/movecount.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/output.h"
#include "board/position.h"
#include "board/zobrist.h"
