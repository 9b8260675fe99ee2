// Engine-against-engine games over the xboard protocol, refereed by
// build/referee: every move checked by the move generator, clocks kept,
// pondering on, and a clean exit of both engines at the end of their input.
// Eight seconds a side and a lag allowance of 100 ms per move leave room for
// a loaded machine, whose scheduling delays would be charged to the engine;
// these games carry the ctest label `games` and run alone, after the
// parallel run. Sanitized builds play them in the parallel run with no clock
// judged.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/helpers/engine_process.h"

namespace {

const std::string QUARVEL = quarvel_path() + " -c /nonexistent-quarvel-dir/quarvel.cfg -o";

// `foreign`: the second engine is another program, whose exit status is not
// judged (fairymax ends with 1 at the end of its input).
void run_referee(const std::string& second, int games, bool foreign)
{
    // Sanitized games judge no clock, so their clocks never run down; a
    // shorter base keeps each search, and so each game, short.
    const std::string base = sanitized_build() ? "3" : "8";
    std::vector<std::string> args = {"-g", std::to_string(games), "-m", "60", "-b", base,
                                     "-l", game_lag_allowance()};
    if (foreign)
        args.push_back("-s");
    args.insert(args.end(), {QUARVEL, second});
    EngineProcess referee;
    ASSERT_TRUE(process_start(&referee, std::string(QUARVEL_BUILD_DIR) + "/referee", args));
    // Each game lasts at most both clocks plus the process overhead (a
    // sanitized process, slow by design, gets the usual five times that).
    ASSERT_TRUE(process_read_to_end(&referee, scaled_timeout(games * 36000)))
        << process_transcript(&referee);
    EXPECT_EQ(process_wait_exit(&referee, 10000), 0) << process_transcript(&referee);
    ASSERT_FALSE(referee.lines.empty());
    const std::string& summary = referee.lines.back();
    EXPECT_EQ(summary.rfind("games " + std::to_string(games) + ":", 0), 0u)
        << process_transcript(&referee);
    EXPECT_NE(summary.find("faults 0"), std::string::npos) << process_transcript(&referee);
}

TEST(XboardReferee, QuarvelAgainstQuarvel)
{
    run_referee(QUARVEL, sanitized_build() ? 2 : 4, false);
}

TEST(XboardReferee, QuarvelAgainstFairymax)
{
    if (access("/usr/games/fairymax", X_OK) != 0)
        GTEST_SKIP() << "fairymax is not installed";
    run_referee("/usr/games/fairymax", 2, true);
}

// An engine that shuffles its knight out and back four times and then falls
// silent, as engines do once they have claimed the threefold repetition.
const char SHUFFLER[] = R"(n=0
while read -r line; do
  case "$line" in
    protover*) echo "feature done=1" ;;
    ping*) echo "pong ${line#ping }" ;;
    go|g1f3|g8f6|f3g1|f6g8)
      n=$((n + 1))
      [ $n -gt 4 ] && continue
      case "$line" in go|f6g8) m=g1f3 ;; g1f3) m=g8f6 ;; g8f6) m=f3g1 ;; f3g1) m=f6g8 ;; esac
      echo "move $m" ;;
  esac
done
)";

// Writes `text` as a shell script in a fresh directory; returns the command
// that runs it. The directory goes with remove_script.
std::string write_script(const std::string& text)
{
    char dir[] = "/tmp/quarvel-referee-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return "";
    const std::string script = std::string(dir) + "/engine.sh";
    FILE* file = fopen(script.c_str(), "w");
    if (file == nullptr)
        return "";
    fputs(text.c_str(), file);
    fclose(file);
    return "/bin/sh " + script;
}

void remove_script(const std::string& command)
{
    const std::string script = command.substr(command.find(' ') + 1);
    unlink(script.c_str());
    rmdir(script.substr(0, script.rfind('/')).c_str());
}

TEST(XboardReferee, ThreefoldRepetitionEndsTheGame)
{
    const std::string engine = write_script(SHUFFLER);
    ASSERT_FALSE(engine.empty());
    EngineProcess referee;
    // Only the rules are under test: a lag allowance keeps the clocks out.
    ASSERT_TRUE(process_start(&referee, std::string(QUARVEL_BUILD_DIR) + "/referee",
                              {"-g", "1", "-b", "1", "-l", "60000", engine, engine}));
    ASSERT_TRUE(process_read_to_end(&referee, scaled_timeout(60000)));
    EXPECT_EQ(process_wait_exit(&referee, 10000), 0) << process_transcript(&referee);
    // The start position stands for the third time after eight plies.
    EXPECT_NE(process_transcript(&referee).find("game 1: 1/2-1/2 (white engine1) " + engine +
                                                ", 8 plies"),
              std::string::npos)
        << process_transcript(&referee);
    remove_script(engine);
}

// Engines that take longer to move than their clock and the usual grace.
const char SLOW_XBOARD[] = R"(while read -r line; do
  case "$line" in
    protover*) echo "feature done=1" ;;
    ping*) echo "pong ${line#ping }" ;;
    go) sleep 4; echo "move g1f3" ;;
  esac
done
)";
const char SLOW_UCI[] = R"(while read -r line; do
  case "$line" in
    uci) echo uciok ;;
    isready) echo readyok ;;
    go*) sleep 6; echo "bestmove e2e4" ;;
    quit) exit 0 ;;
  esac
done
)";

// The lag allowance is the machine's share of every wait: a loaded machine
// that delays an answer past the clock is not taken for a silent engine.
TEST(XboardReferee, BothRefereesGrantTheLagAllowanceToEveryWait)
{
    const struct {
        const char* referee;
        const char* script;
        std::vector<std::string> args;
        const char* report;
    } rows[] = {
        {"referee", SLOW_XBOARD, {"-g", "1", "-m", "1", "-b", "0", "-l", "10000"}, "faults 0"},
        {"uci_referee", SLOW_UCI, {"-g", "1", "-m", "1", "-t", "1", "-l", "10000"}, "referee: ok"},
    };
    EngineProcess referees[2];
    std::string engines[2];
    for (int i = 0; i < 2; i++) { // both at once: the waits overlap
        engines[i] = write_script(rows[i].script);
        std::vector<std::string> args = rows[i].args;
        args.insert(args.end(), {engines[i], engines[i]});
        ASSERT_TRUE(process_start(&referees[i],
                                  std::string(QUARVEL_BUILD_DIR) + "/" + rows[i].referee, args));
    }
    for (int i = 0; i < 2; i++) {
        EXPECT_TRUE(process_read_to_end(&referees[i], scaled_timeout(60000)));
        EXPECT_EQ(process_wait_exit(&referees[i], 10000), 0) << process_transcript(&referees[i]);
        EXPECT_NE(process_transcript(&referees[i]).find(rows[i].report), std::string::npos)
            << process_transcript(&referees[i]);
        remove_script(engines[i]);
    }
}

} // namespace
