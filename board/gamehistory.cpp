// The game record and the draw tests over the key stack.
#include "board/gamehistory.h"

#include <cstring>

#include "board/makemove.h"

namespace {

// Moves the newest `keep` + 1 entries of a state stack (the current one on
// top) to its bottom.
template <typename T>
void keep_newest(T* stack, T** top, int keep)
{
    T* from = *top - keep;
    std::memmove(stack, from, sizeof(T) * size_t(keep + 1));
    *top = stack + keep;
}

} // namespace

void make_room_for_game_move(Position* pos)
{
    const int depth = state_depth(pos);
    if (depth < GAME_MAX_MOVES && pos->game->move_count < GAME_MAX_MOVES)
        return;
    // The stretch since the last capture or pawn move, within half the
    // capacity (beyond, the 75-move rule has ended the game long before).
    int keep = *pos->fifty_top;
    if (keep > depth)
        keep = depth;
    if (keep > GAME_MAX_MOVES / 2)
        keep = GAME_MAX_MOVES / 2;
    keep_newest(pos->key_stack, &pos->key_top, keep);
    keep_newest(pos->pawn_key_stack, &pos->pawn_key_top, keep);
    keep_newest(pos->castle_stack, &pos->castle_top, keep);
    keep_newest(pos->fifty_stack, &pos->fifty_top, keep);
    keep_newest(pos->ep_stack, &pos->ep_top, keep);
    // The record's moves are the newest plies on the stacks.
    GameRecord* game = pos->game;
    const int kept_moves = game->move_count < keep ? game->move_count : keep;
    const int dropped = game->move_count - kept_moves;
    std::memmove(game->moves, game->moves + dropped, sizeof(int) * size_t(kept_moves));
    game->move_count = kept_moves;
    game->redo_limit = kept_moves;
}

int push_game_move(Position* pos, Move move)
{
    GameRecord* game = pos->game;
    make_room_for_game_move(pos);
    make_move(pos, move);
    game->moves[game->move_count++] = move;
    game->redo_limit = game->move_count;
    return 1;
}

Move pop_game_move(Position* pos)
{
    GameRecord* game = pos->game;
    if (game->move_count == 0)
        return 0;
    Move move = game->moves[--game->move_count];
    unmake_move(pos, move);
    return move;
}

Move redo_game_move(Position* pos)
{
    GameRecord* game = pos->game;
    if (game->move_count >= game->redo_limit || !state_stack_has_room(pos))
        return 0;
    Move move = game->moves[game->move_count++];
    make_move(pos, move);
    return move;
}

namespace {

// Earlier positions with the same side to move inside the stretch since the
// last capture or pawn move, never reaching below the set-up position.
inline int repetition_span(const Position* pos)
{
    int n = *pos->fifty_top / 2;
    int depth = state_depth(pos) / 2;
    return n < depth ? n : depth;
}

} // namespace

int is_draw(Position* pos)
{
    if (*pos->fifty_top >= 100)
        return 1;
    int n = repetition_span(pos);
    const u64 key = *pos->key_top;
    for (int i = 1; i <= n; i++)
        if (pos->key_top[-2 * i] == key)
            return 1;
    return 0;
}

int repetition_count(Position* pos)
{
    int n = repetition_span(pos);
    const u64 key = *pos->key_top;
    int count = 0;
    for (int i = 1; i <= n; i++)
        if (pos->key_top[-2 * i] == key)
            count++;
    return count;
}

int is_drawn_by_repetition(Position* pos)
{
    return repetition_count(pos) >= 3;
}
