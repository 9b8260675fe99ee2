// The game record and the draw tests over the key stack.
#include "board/gamehistory.h"

#include "board/makemove.h"
#include "board/output.h"

int push_game_move(Position* pos, Move move)
{
    GameRecord* game = pos->game;
    if (game->move_count >= GAME_MAX_MOVES || !state_stack_has_room(pos)) {
        emit_text("Game record full, move not played\n");
        return 0;
    }
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
