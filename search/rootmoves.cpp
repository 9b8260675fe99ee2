// The root move list of a search: the legal moves in the picker's order.
#include "search/rootmoves.h"

#include "board/board.h"
#include "search/movepicker.h"
#include "search/searchstate.h"
#include "search/transposition.h"

namespace {

bool in_search_moves(const Position* pos, Move move)
{
    if (pos->search_moves[0] == 0)
        return true;
    for (int i = 0; i < SEARCH_MOVES_CAPACITY && pos->search_moves[i] != 0; ++i)
        if (pos->search_moves[i] == move)
            return true;
    return false;
}

} // namespace

void build_root_moves(Position* pos)
{
    int scratch_alpha = 0, scratch_beta = 0;
    probe_hash(pos, DEPTH_UNLIMITED, 0, &scratch_alpha, &scratch_beta);
    pos->root_count = 0;
    reset_root_picker(pos);
    for (Move move = pick_next_move(pos, 0); move != 0; move = pick_next_move(pos, 0)) {
        if (!leaves_king_safe(pos, move) || !in_search_moves(pos, move))
            continue;
        if (pos->root_count >= ROOT_MOVES_CAPACITY)
            break;
        RootMove& entry = pos->root_moves[pos->root_count++];
        entry.move = move;
        entry.flags = 0;
        entry.score = 0;
    }
}
