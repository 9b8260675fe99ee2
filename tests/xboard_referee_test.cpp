// Engine-against-engine games over the xboard protocol, refereed by
// build/referee: every move checked by the move generator, clocks kept,
// pondering on, and a clean exit of both engines at the end of their input.
// Eight seconds a side and a lag allowance of 30 ms per move leave room for
// a loaded test machine, whose scheduling delays the referee would otherwise
// charge to the engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "tests/helpers/engine_process.h"

namespace {

bool sanitized()
{
    const char* value = std::getenv("QUARVEL_SANITIZED");
    return value != nullptr && value[0] != '\0' && value[0] != '0';
}

std::string engine_command()
{
    return quarvel_path() + " -c /nonexistent-quarvel-dir/quarvel.cfg -o";
}

// Runs the referee and returns its summary line; the whole transcript goes
// to the failure message.
void run_referee(const std::string& first, const std::string& second, int games, int max_plies,
                 int base_seconds)
{
    EngineProcess referee;
    std::string program = std::string(QUARVEL_BUILD_DIR) + "/referee";
    ASSERT_TRUE(process_start(&referee, program,
                              {"-g", std::to_string(games), "-m", std::to_string(max_plies), "-b",
                               std::to_string(base_seconds), "-l", "30", first, second}));
    // Each game lasts at most both clocks plus the process overhead.
    int limit = games * (2 * base_seconds + 20) * 1000;
    ASSERT_TRUE(process_read_to_end(&referee, limit)) << process_transcript(&referee);
    EXPECT_EQ(process_wait_exit(&referee, 10000), 0) << process_transcript(&referee);
    ASSERT_FALSE(referee.lines.empty());
    const std::string& summary = referee.lines.back();
    EXPECT_EQ(summary.rfind("games " + std::to_string(games) + ":", 0), 0u)
        << process_transcript(&referee);
    EXPECT_NE(summary.find("faults 0"), std::string::npos) << process_transcript(&referee);
}

TEST(XboardReferee, QuarvelAgainstQuarvel)
{
    int games = sanitized() ? 2 : 4;
    run_referee(engine_command(), engine_command(), games, 60, 8);
}

TEST(XboardReferee, QuarvelAgainstFairymax)
{
    const char* fairymax = "/usr/games/fairymax";
    if (access(fairymax, X_OK) != 0)
        GTEST_SKIP() << "fairymax is not installed";
    run_referee(engine_command(), fairymax, 2, 60, 8);
}

} // namespace
