// The EPD test-suite runner: whole runs of the program with -T on small
// suites made from the shared suites, and the solution bookkeeping that the
// search drives while a suite runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "frontend/testsuite.h"
#include "search/root.h"
#include "tests/helpers/engine_process.h"

namespace {

std::string read_file(const std::string& name)
{
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The line of the shared suite that carries this id.
std::string suite_line(const char* suite, const char* id)
{
    std::ifstream in(std::string(QUARVEL_DATA_DIR) + "/epd/" + suite);
    std::string line;
    while (std::getline(in, line))
        if (line.find(std::string("id \"") + id + "\"") != std::string::npos)
            return line;
    ADD_FAILURE() << id << " not found in " << suite;
    return "";
}

int count_of(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class EpdRunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/quarvel_epdXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }

    void TearDown() override
    {
        for (const char* f : {"suite.epd", "quarvel.test", "failed.epd"})
            std::remove((dir + "/" + f).c_str());
        rmdir(dir.c_str());
    }

    void write_suite(const std::vector<std::string>& lines)
    {
        std::ofstream out(dir + "/suite.epd");
        for (const std::string& l : lines)
            out << l << "\n";
    }

    // Runs the suite; returns the exit code, the output in *out.
    int run(const std::vector<std::string>& args, std::string* out, std::string* err = nullptr,
            int timeout_ms = 60000)
    {
        EngineProcess proc;
        std::vector<std::string> all = args;
        if (!process_start(&proc, quarvel_path(), all, dir, {"TMPDIR=" + dir}))
            return -2;
        process_close_input(&proc);
        process_read_to_end(&proc, scaled_timeout(timeout_ms));
        int code = process_wait_exit(&proc, 5000);
        *out = process_transcript(&proc);
        if (err != nullptr)
            *err = proc.err_text;
        return code;
    }

    std::string dir;
};

TEST_F(EpdRunnerTest, MixedSuiteReportsEachPositionAndTheFiles)
{
    const std::string wac1 = suite_line("wac.epd", "WAC.001");
    const std::string wac4 = suite_line("wac.epd", "WAC.004");
    // A legal but wrong "best move": the runner cannot solve it. Its quoted
    // id keeps the blank between the quotes.
    const std::string wrong = "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm a3; id \"wrong one\";";
    // Taking the protected pawn loses the queen: "am" is solved by any other move.
    const std::string avoid = "4k3/8/2p5/3p4/8/8/8/3QK3 w - - am Qxd5;";
    write_suite({
        "* comment line, skipped",
        wac1,
        wrong,
        "4k3/8/8/8/8/8/8/4K3 w - - c0 \"no operation to test\";",
        avoid,
        wac4,
    });
    std::string out;
    ASSERT_EQ(run({"-T", "suite.epd", "-t", "1", "-p", "1"}, &out), 0) << out;

    EXPECT_NE(out.find("Testing suite.epd, 1 seconds, extra ply 1"), std::string::npos) << out;
    EXPECT_NE(out.find("Testing: WAC.001   Solution: Qg6"), std::string::npos) << out;
    EXPECT_NE(out.find("Testing: wrong one   Solution: a3"), std::string::npos) << out;
    EXPECT_NE(out.find("Testing: test 3   Avoid: Qxd5"), std::string::npos) << out;
    EXPECT_NE(out.find("Testing: WAC.004   Solution: Qxh7+"), std::string::npos) << out;
    EXPECT_NE(out.find("neither bm nor am"), std::string::npos) << out;
    EXPECT_EQ(count_of(out, "Best move: "), 4) << out;
    EXPECT_NE(out.find("Not solved (1/2)"), std::string::npos) << out;
    EXPECT_NE(out.find("Summary: 3/4"), std::string::npos) << out;
    EXPECT_NE(out.find("Time: "), std::string::npos);

    // Only the unsolved line lands in the failed file, exactly as read.
    EXPECT_EQ(read_file(dir + "/failed.epd"), wrong + "\n");
    std::string log = read_file(dir + "/quarvel.test");
    EXPECT_EQ(count_of(log, "Testing suite.epd (1 seconds)\n"), 1) << log;
    EXPECT_NE(log.find(" WAC.001: "), std::string::npos) << log;
    EXPECT_NE(log.find(" Solved\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" wrong one: "), std::string::npos) << log;
    EXPECT_NE(log.find(" Failed\n"), std::string::npos) << log;

    // A second run appends to the result log and rewrites the failed file.
    write_suite({wac1});
    ASSERT_EQ(run({"-T", "suite.epd", "-t", "1", "-p", "1"}, &out), 0) << out;
    EXPECT_NE(out.find("Summary: 1/1"), std::string::npos) << out;
    EXPECT_EQ(read_file(dir + "/failed.epd"), "");
    EXPECT_EQ(count_of(read_file(dir + "/quarvel.test"), "Testing suite.epd (1 seconds)\n"), 2);
}

TEST_F(EpdRunnerTest, SolvedPositionStopsAfterTheExtraPlies)
{
    // Winning the queen is found at once and no mate is in sight; with -p 2
    // the search stops two iterations later instead of using its 60 seconds.
    write_suite({"rnb1kbnr/pppp1ppp/8/4p1q1/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Nxg5; id \"queen\";"});
    std::string out;
    ASSERT_EQ(run({"-T", "suite.epd", "-t", "60", "-p", "2"}, &out, nullptr, 30000), 0) << out;
    EXPECT_NE(out.find("Solved (1/1)"), std::string::npos) << out;
    EXPECT_NE(out.find("Summary: 1/1"), std::string::npos) << out;
}

TEST_F(EpdRunnerTest, FailuresEndWithExitCodeOne)
{
    std::string out, err;
    // A solution that is no legal move in the position.
    write_suite({"4k3/8/8/8/3q4/8/3R4/3RK3 w - - bm Qh8; id \"bad\";"});
    EXPECT_EQ(run({"-T", "suite.epd", "-t", "1"}, &out, &err), 1) << out;
    EXPECT_NE(err.find("Invalid move: Qh8"), std::string::npos) << err;
    // A legal-looking pawn word that the position does not allow.
    write_suite({"4k3/8/8/8/3q4/8/3R4/3RK3 w - - bm e4; id \"bad\";"});
    EXPECT_EQ(run({"-T", "suite.epd", "-t", "1"}, &out, &err), 1) << out;
    EXPECT_NE(err.find("Invalid move: e4"), std::string::npos) << err;
    // A suite that cannot be opened.
    EXPECT_EQ(run({"-T", "no-such-suite.epd", "-t", "1"}, &out, &err), 1) << out;
    EXPECT_NE(err.find("no-such-suite.epd"), std::string::npos) << err;
}

TEST_F(EpdRunnerTest, CommentOnlySuitePrintsNoSummary)
{
    write_suite({"* one", "* two"});
    std::string out;
    ASSERT_EQ(run({"-T", "suite.epd", "-t", "1"}, &out), 0) << out;
    EXPECT_EQ(out.find("Summary:"), std::string::npos) << out;
    EXPECT_EQ(read_file(dir + "/failed.epd"), "");
}

TEST_F(EpdRunnerTest, OverlongLineIsSkippedWhole)
{
    std::string longline = "4k3/8/8/8/3q4/8/3R4/3RK3 w - - bm Rxd4; c0 \"" + std::string(300, 'x') + "\";";
    write_suite({longline, "4k3/8/8/8/3q4/8/3R4/3RK3 w - - bm Rxd4; id \"short\";"});
    std::string out;
    ASSERT_EQ(run({"-T", "suite.epd", "-t", "1", "-p", "1"}, &out), 0) << out;
    EXPECT_NE(out.find("Summary: 1/1"), std::string::npos) << out;
}

// The bookkeeping of check_test_solution, driven the way the search drives
// it: (best move, end of iteration) events and the state after each.
TEST(CheckTestSolution, StreaksSolveTimesAndEarlyStop)
{
    init_bitboard_tables();
    init_hash_keys();
    Position* pos = create_position();
    setup_new_game(pos);
    const Move a = 111, b = 222;
    struct Step {
        Move best;
        int final;
        int solved, streak, stop;
        bool timed;   // test_first_solve_time set
    };
    struct Case {
        int avoid;
        int extra;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        // "bm a", two extra plies.
        {0, 2, {{a, 0, 1, 0, 0, true},
                {a, 1, 1, 1, 0, true},
                {b, 0, 0, 0, 0, false},   // the best move changes away: all reset
                {b, 1, 0, 0, 0, false},
                {a, 1, 1, 1, 0, true},
                {a, 1, 1, 2, 1, true}}},  // two finished iterations in a row: stop
        // "am a": never stops early, solved while the best move avoids a.
        {1, 1, {{b, 1, 1, 1, 0, true},
                {b, 1, 1, 2, 0, true},
                {a, 0, 0, 0, 0, false},
                {b, 1, 1, 1, 0, true}}},
    };
    for (const Case& c : cases) {
        test_avoid_mode = c.avoid;
        test_extra_plies = c.extra;
        test_solutions[0] = a;
        test_solution_count = 1;
        test_streak = 0;
        test_first_solve_time = 0;
        test_solved = 0;
        stop_search = 0;
        std::uint32_t first_time = 0;
        for (size_t i = 0; i < c.steps.size(); i++) {
            const Step& s = c.steps[i];
            pos->pv[0][0] = s.best;
            check_test_solution(pos, s.final);
            EXPECT_EQ(test_solved, s.solved) << "case avoid=" << c.avoid << " step " << i;
            EXPECT_EQ(test_streak, s.streak) << "case avoid=" << c.avoid << " step " << i;
            EXPECT_EQ(stop_search, s.stop) << "case avoid=" << c.avoid << " step " << i;
            EXPECT_EQ(test_first_solve_time != 0, s.timed) << "case avoid=" << c.avoid << " step " << i;
            // The solve time belongs to the first check of an unbroken run.
            if (s.timed && first_time != 0) {
                EXPECT_EQ(test_first_solve_time, first_time);
            }
            first_time = s.timed ? test_first_solve_time : 0;
        }
    }
    // No solution at all never counts as solved for "bm".
    test_avoid_mode = 0;
    test_solution_count = 0;
    pos->pv[0][0] = a;
    check_test_solution(pos, 1);
    EXPECT_EQ(test_solved, 0);
    stop_search = 0;
    destroy_position(pos);
}

}  // namespace
