// The EPD test-suite runner: whole runs of the program with -T on small
// suites, and the solution bookkeeping that the search drives.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "frontend/testsuite.h"
#include "search/root.h"
#include "tests/helpers/engine_state.h"
#include "tools/helpers/engine_process.h"

namespace {

// The line of the shared suite that carries this id.
std::string suite_line(const char* suite, const char* id)
{
    std::ifstream in(std::string(QUARVEL_DATA_DIR) + "/epd/" + suite);
    for (std::string line; std::getline(in, line);)
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

struct SuiteRun {
    std::vector<std::string> suite; // written to suite.epd (none: keep the file)
    std::vector<std::string> args;
    int exit_code;
    std::vector<std::string> out;      // in the output, in this order
    std::string err;                   // in stderr
    std::optional<std::string> failed; // failed.epd afterwards
    int log_runs;                      // run headers in quarvel.test (-1: not checked)
    std::vector<std::string> log;      // in quarvel.test
    int moves;                         // "Best move: " lines (-1: not checked)
    std::string absent;                // not in the output
};

// The runs share one directory, in order: the result log grows, the failed
// file is rewritten.
TEST(EpdRunner, WholeRuns)
{
    const std::string wac1 = suite_line("wac.epd", "WAC.001");
    // A legal but wrong "best move"; its quoted id keeps the blank.
    const std::string wrong =
        "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm a3; id \"wrong one\";";
    const std::string rook = "4k3/8/8/8/3q4/8/3R4/3RK3 w - - ";
    // The solved positions stop their search once solved (a sanitized engine,
    // unloaded, needs a quarter of a second for WAC.001); five seconds leave
    // room for a loaded machine, and only the unsolved ones use them all.
    const std::vector<std::string> quick = {"-T", "suite.epd", "-t", "5", "-p", "1"};
    const SuiteRun runs[] = {
        // Taking the protected pawn loses the queen: "am" is solved by any other move.
        {{"* comment line, skipped", wac1, wrong,
          "4k3/8/8/8/8/8/8/4K3 w - - c0 \"no operation to test\";",
          "4k3/8/2p5/3p4/8/8/8/3QK3 w - - am Qxd5;", suite_line("wac.epd", "WAC.004")},
         quick,
         0,
         {"Testing suite.epd, 5 seconds, extra ply 1", "Testing: WAC.001   Solution: Qg6",
          "Testing: wrong one   Solution: a3", "Not solved (1/2)", "neither bm nor am",
          "Testing: test 3   Avoid: Qxd5", "Testing: WAC.004   Solution: Qxh7+",
          ", Average: ", "Summary: 3/4"},
         // Only the unsolved line lands in the failed file, exactly as read.
         "",
         wrong + "\n",
         1,
         {" WAC.001: ", " Solved\n", " wrong one: ", " Failed\n"},
         4,
         ""},
        // A second run appends to the log and rewrites the failed file.
        {{wac1}, quick, 0, {"Summary: 1/1"}, "", "", 2, {}, 1, ""},
        // Winning the queen is found at once; with -p 2 the search stops two
        // iterations later instead of using its 60 seconds.
        {{"rnb1kbnr/pppp1ppp/8/4p1q1/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Nxg5; id \"queen\";"},
         {"-T", "suite.epd", "-t", "60", "-p", "2"},
         0,
         {"Solved (1/1)", "Summary: 1/1"},
         "",
         "",
         -1,
         {},
         -1,
         ""},
        // Solutions that are no legal move, and a suite that cannot be opened.
        {{rook + "bm Qh8; id \"bad\";"}, quick, 1, {}, "Invalid move: Qh8", {}, -1, {}, -1, ""},
        {{rook + "bm e4; id \"bad\";"}, quick, 1, {}, "Invalid move: e4", {}, -1, {}, -1, ""},
        {{},
         {"-T", "no-such-suite.epd", "-t", "1"},
         1,
         {},
         "no-such-suite.epd",
         {},
         -1,
         {},
         -1,
         ""},
        {{"* one", "* two"}, quick, 0, {}, "", "", -1, {}, 0, "Summary:"},
        // A position play cannot reach (Black in check, White to move) is
        // skipped with its message; the search never sees it.
        {{"4k3/4Q3/8/8/8/8/8/4K3 w - - bm Kd2; id \"king\";", rook + "bm Rxd4; id \"short\";"},
         quick,
         0,
         {"Bad epd format: 4k3/4Q3/8/8/8/8/8/4K3 w - -", "Skipping line 1: not a position",
          "Summary: 1/1"},
         "",
         {},
         -1,
         {},
         1,
         ""},
        // An overlong line is skipped whole.
        {{rook + "bm Rxd4; c0 \"" + std::string(300, 'x') + "\";", rook + "bm Rxd4; id \"short\";"},
         quick,
         0,
         {"Summary: 1/1"},
         "",
         {},
         -1,
         {},
         1,
         ""},
    };
    char name[] = "/tmp/quarvel_epdXXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string dir = name;
    for (const SuiteRun& r : runs) {
        SCOPED_TRACE(r.args[1] + (r.suite.empty() ? "" : ": " + r.suite[0].substr(0, 40)));
        if (!r.suite.empty()) {
            std::ofstream out(dir + "/suite.epd");
            for (const std::string& l : r.suite)
                out << l << "\n";
        }
        EngineProcess proc;
        ASSERT_TRUE(process_start(&proc, quarvel_path(), r.args, dir, {"TMPDIR=" + dir}));
        process_close_input(&proc);
        process_read_to_end(&proc, scaled_timeout(60000));
        EXPECT_EQ(process_wait_exit(&proc, 5000), r.exit_code);
        const std::string out = process_transcript(&proc);
        size_t at = 0;
        for (size_t i = 0; i < r.out.size() && at != std::string::npos; i++) {
            at = out.find(r.out[i], at);
            EXPECT_NE(at, std::string::npos) << r.out[i] << " (in order)\n" << out;
        }
        EXPECT_NE(proc.err_text.find(r.err), std::string::npos) << proc.err_text;
        if (r.failed) {
            EXPECT_EQ(read_text_file(dir + "/failed.epd"), *r.failed);
        }
        const std::string log = read_text_file(dir + "/quarvel.test");
        EXPECT_TRUE(r.log_runs < 0 ||
                    count_of(log, "Testing suite.epd (5 seconds)\n") == r.log_runs)
            << log;
        for (const std::string& text : r.log)
            EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
        EXPECT_TRUE(r.moves < 0 || count_of(out, "Best move: ") == r.moves) << out;
        EXPECT_TRUE(r.absent.empty() || out.find(r.absent) == std::string::npos) << out;
    }
    for (const char* f : {"suite.epd", "quarvel.test", "failed.epd"})
        std::remove((dir + "/" + f).c_str());
    rmdir(dir.c_str());
}

// The result log and the failed file sit in a folder anyone can write to:
// a planted link, a second name of another file or a file of another user
// is left alone, said so, and the run goes on without it.
TEST(EpdRunner, SharedFilesRefuseLinksAndForeignFiles)
{
    const bool root = geteuid() == 0; // can hand a file to another user
    const struct {
        const char* what;
        bool symlinks; // else a hard link and (as root) another owner
    } cases[] = {{"symbolic links", true}, {"second name, other owner", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        char name[] = "/tmp/quarvel_epdXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        const std::string dir = name;
        std::ofstream(dir + "/suite.epd") << "4k3/8/8/8/3q4/8/3R4/3RK3 w - - bm Ke2; id \"x\";\n";
        std::ofstream(dir + "/victim") << "precious\n";
        std::ofstream(dir + "/other") << "theirs\n";
        const std::string log = dir + "/quarvel.test", failed = dir + "/failed.epd";
        if (c.symlinks) {
            ASSERT_EQ(symlink((dir + "/victim").c_str(), log.c_str()), 0);
            ASSERT_EQ(symlink((dir + "/other").c_str(), failed.c_str()), 0);
        } else {
            ASSERT_EQ(link((dir + "/victim").c_str(), log.c_str()), 0);
            ASSERT_EQ(rename((dir + "/other").c_str(), failed.c_str()), 0);
            if (!root || chown(failed.c_str(), 65534, 65534) != 0)
                std::ofstream(dir + "/other") << "skipped\n"; // nothing foreign to refuse
        }
        EngineProcess proc;
        ASSERT_TRUE(process_start(&proc, quarvel_path(), {"-T", "suite.epd", "-t", "1", "-p", "1"},
                                  dir, {"TMPDIR=" + dir}));
        process_close_input(&proc);
        process_read_to_end(&proc, scaled_timeout(60000));
        EXPECT_EQ(process_wait_exit(&proc, 5000), 0);
        EXPECT_NE(process_transcript(&proc).find("Summary: 0/1"), std::string::npos);
        EXPECT_NE(proc.err_text.find(log), std::string::npos) << proc.err_text;
        EXPECT_EQ(read_text_file(dir + "/victim"), "precious\n");
        if (read_text_file(dir + "/other") != "skipped\n") {
            EXPECT_NE(proc.err_text.find(failed), std::string::npos) << proc.err_text;
            EXPECT_EQ(read_text_file(c.symlinks ? dir + "/other" : failed), "theirs\n");
        }
        for (const char* f : {"suite.epd", "quarvel.test", "failed.epd", "victim", "other"})
            std::remove((dir + "/" + f).c_str());
        rmdir(dir.c_str());
    }
}

// check_test_solution driven the way the search drives it: (best move, end
// of iteration) events and the state after each.
TEST(CheckTestSolution, StreaksSolveTimesAndEarlyStop)
{
    init_bitboard_tables();
    init_hash_keys();
    OwnedPosition pos = create_position();
    setup_new_game(pos);
    const Move a = 111, b = 222;
    // A solve time of 0 reads as "not solved yet"; in a freshly started
    // process the clock may still show 0, so wait for its first tick.
    while (get_time_cs() == 0) {
    }
    struct Step {
        Move best;
        int final, solved, streak, stop;
        bool timed; // test_first_solve_time set
    };
    struct Case {
        int avoid, extra, solutions;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        // "bm a", two extra plies: a change of best move resets all; two
        // finished iterations in a row stop the search.
        {0,
         2,
         1,
         {{a, 0, 1, 0, 0, true},
          {a, 1, 1, 1, 0, true},
          {b, 0, 0, 0, 0, false},
          {b, 1, 0, 0, 0, false},
          {a, 1, 1, 1, 0, true},
          {a, 1, 1, 2, 1, true}}},
        // "am a": never stops early, solved while the best move avoids a.
        {1,
         1,
         1,
         {{b, 1, 1, 1, 0, true},
          {b, 1, 1, 2, 0, true},
          {a, 0, 0, 0, 0, false},
          {b, 1, 1, 1, 0, true}}},
        // No solution at all never counts as solved for "bm".
        {0, 1, 0, {{a, 1, 0, 0, 0, false}}},
    };
    for (const Case& c : cases) {
        test_avoid_mode = c.avoid;
        test_extra_plies = c.extra;
        test_solutions[0] = a;
        test_solution_count = c.solutions;
        test_streak = test_solved = stop_search = 0;
        test_first_solve_time = 0;
        std::uint32_t first_time = 0;
        for (size_t i = 0; i < c.steps.size(); i++) {
            SCOPED_TRACE("avoid " + std::to_string(c.avoid) + " step " + std::to_string(i));
            const Step& s = c.steps[i];
            pos->pv[0][0] = s.best;
            check_test_solution(pos, s.final);
            EXPECT_EQ(test_solved, s.solved);
            EXPECT_EQ(test_streak, s.streak);
            EXPECT_EQ(stop_search, s.stop);
            EXPECT_EQ(test_first_solve_time != 0, s.timed);
            // The solve time belongs to the first check of an unbroken run.
            if (s.timed && first_time != 0) {
                EXPECT_EQ(test_first_solve_time, first_time);
            }
            first_time = s.timed ? test_first_solve_time : 0;
        }
    }
    stop_search = 0;
}

} // namespace
