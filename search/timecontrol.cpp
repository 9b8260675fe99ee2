// Time allocation for one move and the clock tests made during the search.
//
// The arithmetic runs in 64 bits on clocks clamped at 0: an interface may
// send a negative clock after a flag fall, and the result must still be a
// small positive target rather than a wrapped-around huge one.
#include "search/timecontrol.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "board/board.h"
#include "search/searchinfo.h"
#include "search/searchstate.h"
#include "search/settings.h"
#include "search/transposition.h"

int own_clock = 30000;
int increment[2] = {0, 0};
int moves_to_go = 0;
int moves_per_control = 40;
int fixed_move_time = 0;
std::int64_t node_limit = 0;
int mate_limit = 0;
int time_target = 0;
int time_maximum = 0;
std::int64_t next_info_time = 0;

namespace {

constexpr std::int64_t MIN_TARGET = 5;

} // namespace

TimeAllocation compute_time_allocation(int clock, int increment_cs, int moves_left_in_control,
                                       int moves_per_ctrl, int plies_played, int fixed_time)
{
    const std::int64_t left = std::max(clock, 0);
    const std::int64_t inc = std::max(increment_cs, 0);
    std::int64_t target;
    if (moves_left_in_control > 0) {
        target = left / moves_left_in_control + inc;
    } else if (moves_per_ctrl > 0) {
        // Moves still to play before the next control: the next multiple of
        // the control above the full moves played, less those moves (1..M).
        const std::int64_t played = std::max(plies_played, 0) / 2;
        const std::int64_t next_control = (played / moves_per_ctrl + 1) * moves_per_ctrl;
        target = left / (next_control - played) + inc;
    } else {
        // Three quarters of the increment: 75 centiseconds a whole second.
        target = left / 25 + 3 * inc / 4;
    }

    if (left < 1000)
        target /= 2;
    if (left < 500)
        target /= 2;
    if (left < 200)
        target /= 2;

    // At least a few centiseconds to find a move, unless that is more than
    // half the clock: below a tenth of a second half the clock is all.
    target = std::min(target, left / 2);
    target = std::max(target, std::min(MIN_TARGET, left / 2));

    std::int64_t maximum = 6 * target;
    if (maximum > left / 2)
        maximum = target;

    if (fixed_time > 0) {
        target = fixed_time;
        maximum = fixed_time;
    }
    // Both fit: the target is at most half a 32-bit clock or a 32-bit fixed time.
    return TimeAllocation{int(target), int(maximum)};
}

void allocate_time(Position* pos)
{
    const TimeAllocation allocation =
        compute_time_allocation(own_clock, increment[pos->side_to_move], moves_to_go,
                                moves_per_control, pos->game->move_count, fixed_move_time);
    time_target = allocation.target;
    time_maximum = allocation.maximum;
    emit_text("Time allocated: %s\n", format_time(0, u32(time_target)));
}

void check_time(Position* pos)
{
    const u32 elapsed = get_time_cs() - u32(pos->search_start);

    if (protocol_mode == PROTOCOL_UCI) {
        const std::int64_t now = std::int64_t(std::time(nullptr));
        if (now > next_info_time) {
            next_info_time = now + 2;
            std::printf("info hashfull %d nps %d\n", get_hash_fill_permille(),
                        get_nodes_per_second(pos));
            std::fflush(stdout);
        }
    }

    if (node_limit > 0) {
        const std::int64_t left = node_limit - node_count;
        // The countdown counts full-width nodes only; quiescence nodes come
        // on top, so the polls close in on the limit in quarter steps.
        const std::int64_t due = std::max<std::int64_t>(left / 4, 1);
        if (left <= 0)
            stop_search = 1;
        else if (due < node_countdown)
            node_countdown = int(due);
    }

    if (elapsed >= u32(time_target) && !ponder_search && !analyze_mode &&
        (extend_time == 0 || elapsed > u32(time_maximum)))
        stop_search = 1;
}

void check_iteration_time(Position* pos)
{
    const u32 elapsed = get_time_cs() - u32(pos->search_start);
    const u32 two_thirds = u32(2 * std::int64_t(std::max(time_target, 0)) / 3);
    if (pos->root_score > previous_score - 20 && elapsed >= two_thirds && fixed_move_time == 0 &&
        !ponder_search && !analyze_mode)
        stop_search = 1;
}

bool mate_limit_reached(int score)
{
    // The mating move of a mate in N moves is made 2N - 1 plies from the root.
    return mate_limit > 0 && score >= SCORE_INFINITE + 1 - 2 * mate_limit;
}
