// Killer moves and the history table.
#include "search/history.h"

#include "board/board.h"

int history[2][4096];

namespace {

// History entries saturate here instead of overflowing in very long searches;
// the front end divides them by 256 before each search anyway.
constexpr int HISTORY_LIMIT = 1 << 30;

inline bool is_capture_or_promotion(Move move)
{
    return move_captured(move) != 0 || move_promo(move) != 0;
}

} // namespace

void update_killers_history(Position* pos, Move move, int ply, int depth)
{
    if (pos->in_check[ply] || is_capture_or_promotion(move))
        return;
    if (pos->killers[ply][1] != move) {
        pos->killers[ply][0] = pos->killers[ply][1];
        pos->killers[ply][1] = move;
    }
    int& entry = history[pos->side_to_move][move & 0xfff];
    const long long raised = (long long)entry + (long long)depth * depth;
    entry = raised > HISTORY_LIMIT ? HISTORY_LIMIT : int(raised);
}
