// Time allocation as a table of clocks, and the two stop tests with the
// elapsed time placed well clear of every boundary.
#include <gtest/gtest.h>

#include <climits>

#include "tests/search_support.h"

using namespace search_support;

namespace {

TEST(TimeAllocation, TargetAndMaximumForEachClock)
{
    const struct {
        const char* what;
        int clock, increment, moves_to_go, per_control, plies, fixed;
        int target, maximum;
    } rows[] = {
        // what                                   clock  inc  mtg  M   plies fixed  target maximum
        {"xboard 40 moves, move 11", 30000, 0, 0, 40, 20, 0, 1000, 6000},
        {"xboard 40 moves, second control", 30000, 0, 0, 40, 80, 0, 750, 4500},
        {"last move before the control", 30000, 0, 0, 40, 79, 0, 15000, 15000},
        {"first move of the game", 30000, 0, 0, 40, 0, 0, 750, 4500},
        {"UCI, no moves to go", 6000, 0, 0, 0, 10, 0, 240, 1440},
        {"UCI with moves to go and increment", 6000, 200, 10, 0, 10, 0, 800, 800},
        {"moves to go beats moves per control", 6000, 0, 3, 40, 10, 0, 2000, 2000},
        {"sudden death with increment", 30000, 500, 0, 0, 40, 0, 1575, 9450},
        {"9 seconds: halved once", 900, 0, 0, 0, 0, 0, 18, 108},
        {"just under 10 seconds", 999, 0, 0, 0, 0, 0, 19, 114},
        {"just under 5 seconds: halved twice", 499, 0, 0, 0, 0, 0, 5, 30},
        {"1.5 seconds: halved three times", 150, 0, 0, 0, 0, 0, 5, 30},
        {"no time at all", 0, 0, 0, 0, 0, 0, 0, 0},
        {"negative clock counts as none", -500, 0, 0, 0, 0, 0, 0, 0},
        {"negative clock with increment", -500, 300, 0, 0, 0, 0, 0, 0},
        {"increment larger than the clock", 1000, 6000, 0, 0, 0, 0, 500, 500},
        {"fixed time wins over the clock", 30000, 0, 0, 40, 20, 500, 500, 500},
        {"fixed time with no clock left", 0, 0, 0, 0, 0, 300, 300, 300},
        {"huge clock does not wrap", INT_MAX, 0, 0, 0, 0, 0, 85899345, 515396070},
        {"huge increment does not wrap", 30000, INT_MAX, 0, 0, 0, 0, 15000, 15000},
        {"negative moves to go is ignored", 6000, 0, -4, 0, 0, 0, 240, 1440},
        {"negative increment is ignored", 6000, -9, 0, 0, 0, 0, 240, 1440},
        // Below a tenth of a second the move comes within half the clock.
        {"a tenth of a second", 10, 0, 0, 0, 0, 0, 5, 5},
        {"90 milliseconds", 9, 0, 0, 0, 0, 0, 4, 4},
        {"20 milliseconds", 2, 0, 0, 0, 0, 0, 1, 1},
        // Increments are kept to the centisecond.
        {"a tenth of a second increment", 6000, 10, 0, 0, 0, 0, 247, 1482},
        {"0.05 s increment, moves to go", 6000, 5, 10, 0, 0, 0, 605, 605},
    };
    for (const auto& row : rows) {
        const TimeAllocation a = compute_time_allocation(row.clock, row.increment, row.moves_to_go,
                                                         row.per_control, row.plies, row.fixed);
        EXPECT_EQ(a.target, row.target) << row.what;
        EXPECT_EQ(a.maximum, row.maximum) << row.what;
    }
}

TEST(TimeAllocation, AllocateTimeUsesTheGlobalsAndTheSideToMove)
{
    OwnedPosition pos = board_position(nullptr);
    own_clock = 6000;
    increment[WHITE] = 100;
    increment[BLACK] = 400;
    moves_to_go = moves_per_control = fixed_move_time = 0;
    allocate_time(pos);
    EXPECT_EQ(time_target, 315);
    EXPECT_EQ(time_maximum, 1890);
    pos->side_to_move = BLACK;
    allocate_time(pos);
    EXPECT_EQ(time_target, 540);
    // The message names the target.
    own_clock = 30000;
    moves_per_control = 40;
    pos->side_to_move = WHITE;
    pos->game->move_count = 20;
    increment[WHITE] = increment[BLACK] = 0;
    protocol_mode = PROTOCOL_CONSOLE;
    testing::internal::CaptureStdout();
    allocate_time(pos);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(time_target, 1000);
    EXPECT_EQ(time_maximum, 6000);
    EXPECT_NE(out.find("Time allocated: 10.00\n"), std::string::npos) << out;
}

TEST(TimeControl, CheckTimeStopsAtTheTargetOrTheMaximum)
{
    const struct {
        const char* what;
        int elapsed, target, maximum, extend, ponder, analyze;
        int stops;
    } rows[] = {
        {"well before the target", 100, 2000, 12000, 0, 0, 0, 0},
        {"well past the target", 3000, 2000, 12000, 0, 0, 0, 1},
        {"past target, extended", 3000, 2000, 12000, 1, 0, 0, 0},
        {"past the maximum, extended", 15000, 2000, 12000, 1, 0, 0, 1},
        {"pondering never stops", 15000, 2000, 12000, 0, 1, 0, 0},
        {"analysing never stops", 15000, 2000, 12000, 1, 0, 1, 0},
    };
    OwnedPosition pos = board_position(nullptr);
    protocol_mode = PROTOCOL_CONSOLE;
    for (const auto& row : rows) {
        time_target = row.target;
        time_maximum = row.maximum;
        extend_time = row.extend;
        ponder_search = row.ponder;
        analyze_mode = row.analyze;
        stop_search = 0;
        pos->search_start = int(get_time_cs() - u32(row.elapsed));
        check_time(pos);
        EXPECT_EQ(stop_search, row.stops) << row.what;
    }
    ponder_search = analyze_mode = extend_time = stop_search = 0;
}

TEST(TimeControl, CheckIterationTimeStopsAfterTwoThirdsUnlessTheScoreDropped)
{
    const struct {
        const char* what;
        int elapsed, root_score, fixed, ponder, analyze;
        int stops;
    } rows[] = {
        {"two thirds used, score held", 1500, 10, 0, 0, 0, 1},
        {"under two thirds", 300, 10, 0, 0, 0, 0},
        {"score 15 below: stop", 1500, -15, 0, 0, 0, 1},
        {"score 25 below: go on", 1500, -25, 0, 0, 0, 0},
        {"fixed time: never early", 1500, 10, 500, 0, 0, 0},
        {"pondering", 1500, 10, 0, 1, 0, 0},
        {"analysing", 1500, 10, 0, 0, 1, 0},
    };
    OwnedPosition pos = board_position(nullptr);
    for (const auto& row : rows) {
        time_target = 1800;
        previous_score = 0;
        pos->root_score = row.root_score;
        fixed_move_time = row.fixed;
        ponder_search = row.ponder;
        analyze_mode = row.analyze;
        stop_search = 0;
        pos->search_start = int(get_time_cs() - u32(row.elapsed));
        check_iteration_time(pos);
        EXPECT_EQ(stop_search, row.stops) << row.what;
    }
    fixed_move_time = ponder_search = analyze_mode = stop_search = 0;
}

TEST(TimeControl, UciInfoLineOnTheFirstCheckThenNotAgainAtOnce)
{
    OwnedPosition pos = board_position(nullptr);
    protocol_mode = PROTOCOL_UCI;
    time_target = time_maximum = 100000;
    pos->search_start = int(get_time_cs());
    next_info_time = 0;
    testing::internal::CaptureStdout();
    check_time(pos);
    check_time(pos);
    const std::string out = testing::internal::GetCapturedStdout();
    protocol_mode = PROTOCOL_CONSOLE;
    EXPECT_EQ(out.rfind("info hashfull ", 0), 0u) << out;
    EXPECT_EQ(out.find("info", 1), std::string::npos) << "a second line at once: " << out;
    EXPECT_NE(out.find(" nps "), std::string::npos);
}

} // namespace
