// The picker-based legality test of a single move.
#include "search/legality.h"

#include "board/board.h"
#include "search/movepicker.h"

bool leaves_king_safe(Position* pos, Move move)
{
    if (!state_stack_has_room(pos))
        return false;
    const int side = pos->side_to_move;
    make_move(pos, move);
    const bool safe = !is_in_check(pos, side);
    unmake_move(pos, move);
    return safe;
}

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
