// Fast games between engine processes through the UCI referee, pondering
// on: every move legal, no bestmove from a pondering engine before
// "ponderhit" or "stop", no loss on time, clean exit. These games judge
// clocks: they carry the ctest label `games` and run alone, after the
// parallel run, with a lag allowance of 100 ms a move for the scheduling
// delays of a loaded machine. Sanitized builds play them in the parallel run
// with no clock judged.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/helpers/engine_process.h"

namespace {

// Base time a side. Sanitized games judge no clock, so their clocks never run
// down; a shorter base keeps each search, and so each game, short.
const std::string BASE_MS = sanitized_build() ? "1000" : "3000";

// Runs the referee on `args` and checks its exit code and report.
void referee(const std::vector<std::string>& args, const std::vector<std::string>& report)
{
    EngineProcess proc;
    const std::string program = std::string(QUARVEL_BUILD_DIR) + "/uci_referee";
    ASSERT_TRUE(process_start(&proc, program, args)) << program;
    process_close_input(&proc);
    process_read_to_end(&proc, scaled_timeout(240000));
    int code = process_wait_exit(&proc, 5000);
    const std::string out = process_transcript(&proc) + "\n" + proc.err_text;
    EXPECT_EQ(code, 0) << out;
    for (const std::string& text : report)
        EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
}

TEST(UciReferee, QuarvelAgainstQuarvelWithPondering)
{
    const std::string games = sanitized_build() ? "2" : "4";
    referee({"-g", games, "-t", BASE_MS, "-i", "50", "-l", game_lag_allowance(), "-p", "-m", "60",
             "-a", "Hash=8", "-b", "Hash=8", quarvel_path(), quarvel_path()},
            {"referee: ok", "Game " + games + ":", "Time losses: A 0, B 0"});
}

TEST(UciReferee, QuarvelAgainstStockfishAtLowestSkill)
{
    std::string stockfish;
    for (const char* c : {"/usr/games/stockfish", "/usr/bin/stockfish"})
        if (access(c, X_OK) == 0)
            stockfish = c;
    if (stockfish.empty())
        GTEST_SKIP() << "stockfish is not installed";
    // Only quarvel's clock handling is under test here.
    referee({"-g", "2", "-t", BASE_MS, "-i", "50", "-l", game_lag_allowance(), "-p", "-m", "80",
             "-b", "Skill Level=0", quarvel_path(), stockfish},
            {"referee: ok", "Time losses: A 0,"});
}

// With 20 ms on the clock the move must come before the flag falls: the
// median answer of a series, from "go" to "bestmove", is judged against the
// whole clock (the engine aims at half of it), so one slow answer on a loaded
// machine does not decide.
TEST(UciReferee, MovesBeforeAShortClockRunsOut)
{
    if (sanitized_build())
        GTEST_SKIP() << "a sanitized engine judges no clock";
    EngineProcess engine;
    ASSERT_TRUE(start_quarvel(&engine));
    ASSERT_TRUE(process_send(&engine, "uci"));
    ASSERT_TRUE(process_expect_line(&engine, "uciok", 60000));
    std::vector<double> ms;
    for (const char* moves : {"", " moves e2e4", " moves e2e4 e7e5", " moves d2d4 d7d5 c2c4"}) {
        for (int i = 0; i < 5; i++) {
            process_send(&engine, std::string("position startpos") + moves);
            process_send(&engine, "isready");
            ASSERT_TRUE(process_expect_line(&engine, "readyok", 60000));
            const auto start = std::chrono::steady_clock::now();
            process_send(&engine, "go wtime 20 btime 20");
            ASSERT_TRUE(process_expect_prefix(&engine, "bestmove ", 60000));
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
    }
    std::sort(ms.begin(), ms.end());
    EXPECT_LT(ms[ms.size() / 2], 20.0) << "slowest " << ms.back() << " ms";
    process_send(&engine, "quit");
    EXPECT_EQ(process_wait_exit(&engine, 60000), 0);
}

} // namespace
