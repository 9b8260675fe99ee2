// Fast games between engine processes through the UCI referee, pondering
// on: every move legal, no bestmove from a pondering engine before
// "ponderhit" or "stop", no loss on time, clean exit.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "tests/helpers/engine_process.h"

namespace {

std::string referee_path() { return std::string(QUARVEL_BUILD_DIR) + "/uci_referee"; }

// Runs the referee and returns its whole output; *code gets its exit code.
std::string referee(const std::vector<std::string>& args, int timeout_ms, int* code)
{
    EngineProcess proc;
    if (!process_start(&proc, referee_path(), args)) {
        *code = -2;
        return "cannot start " + referee_path();
    }
    process_close_input(&proc);
    process_read_to_end(&proc, timeout_ms);
    *code = process_wait_exit(&proc, 5000);
    return process_transcript(&proc) + "\n" + proc.err_text;
}

TEST(UciReferee, QuarvelAgainstQuarvelWithPondering)
{
    const bool sanitized = std::getenv("QUARVEL_SANITIZED") != nullptr;
    const std::string games = sanitized ? "2" : "4";
    int code = 0;
    std::string out = referee({"-g", games, "-t", "3000", "-i", "50", "-p", "-m", "60",
                               "-a", "Hash=8", "-b", "Hash=8", quarvel_path(), quarvel_path()},
                              scaled_timeout(240000), &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("referee: ok"), std::string::npos) << out;
    EXPECT_NE(out.find("Game " + games + ":"), std::string::npos) << out;
    EXPECT_NE(out.find("Time losses: A 0, B 0"), std::string::npos) << out;
}

TEST(UciReferee, QuarvelAgainstStockfishAtLowestSkill)
{
    const char* candidates[] = {"/usr/games/stockfish", "/usr/bin/stockfish"};
    std::string stockfish;
    for (const char* c : candidates)
        if (access(c, X_OK) == 0)
            stockfish = c;
    if (stockfish.empty())
        GTEST_SKIP() << "stockfish is not installed";
    int code = 0;
    std::string out = referee({"-g", "2", "-t", "3000", "-i", "50", "-p", "-m", "80", "-b",
                               "Skill Level=0", quarvel_path(), stockfish},
                              scaled_timeout(240000), &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("referee: ok"), std::string::npos) << out;
    // Only quarvel's clock handling is under test here.
    EXPECT_NE(out.find("Time losses: A 0,"), std::string::npos) << out;
}

}  // namespace
