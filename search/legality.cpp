// The picker-based legality test of a single move.
#include "search/legality.h"

#include "board/board.h"
#include "search/movepicker.h"

int is_legal_move(Position* pos, Move move)
{
    if (move == 0)
        return 0;
    pos->hash_move[0] = 0;
    reset_root_picker(pos);
    for (Move candidate = pick_next_move(pos, 0); candidate != 0;
         candidate = pick_next_move(pos, 0))
        if (candidate == move)
            return leaves_king_safe(pos, move) ? 1 : 0;
    return 0;
}
