// Files the user names or a folder holds, through the whole program: a pipe,
// a folder or a device where the configuration, a test suite, the book or a
// table is expected is reported or skipped, never waited on; the log is
// never written into the book or the games of a build.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "book_support.h"
#include "helpers/engine_process.h"

namespace {

const std::string NO_CONFIG = "/nonexistent-quarvel-dir/quarvel.cfg";

struct Case {
    const char* what;
    std::function<void()> make; // runs in the scratch folder
    std::vector<std::string> args;
    std::vector<std::string> steps;
    int exit_code;
    const char* err; // on standard error
};

// Runs the engine in the current (scratch) folder; a hang shows as a step
// or the end of output not arriving within a generous deadline.
void run_case(const Case& c, const std::string& cwd)
{
    EngineProcess proc;
    // A build returns from main without freeing its game position.
    ASSERT_TRUE(process_start(&proc, quarvel_path(), c.args, cwd, {"ASAN_OPTIONS=detect_leaks=0"}));
    size_t mark = 0;
    for (const std::string& step : c.steps) {
        const std::string error = process_step(&proc, step, scaled_timeout(30000), &mark);
        ASSERT_EQ(error, "") << step << "\n" << process_transcript(&proc);
    }
    process_close_input(&proc);
    EXPECT_TRUE(process_read_to_end(&proc, scaled_timeout(60000))) << process_transcript(&proc);
    EXPECT_EQ(process_wait_exit(&proc, scaled_timeout(10000)), c.exit_code);
    EXPECT_NE(proc.err_text.find(c.err), std::string::npos) << proc.err_text;
}

const std::vector<std::string> PLAYS = {"> sd 2", "> go", "^ Best move: "};

TEST(NamedFiles, PipesAndFoldersAreReportedOrSkippedNeverWaitedOn)
{
    const auto fifo = [](const char* name, mode_t mode) { mkfifo(name, mode); };
    const auto folder = [](const char* name) { mkdir(name, 0755); };
    std::vector<std::string> book_steps = {"= Cannot open opening book: p.bok: not a regular file"};
    book_steps.insert(book_steps.end(), PLAYS.begin(), PLAYS.end());
    const Case cases[] = {
        {"config folder", [&] { folder("c"); }, {"-c", "c", "-o"}, PLAYS, 0, "c: Is a directory"},
        {"config pipe",
         [&] { fifo("c", 0644); },
         {"-c", "c", "-o"},
         PLAYS,
         0,
         "c: not a regular file"},
        {"suite folder",
         [&] { folder("s"); },
         {"-c", NO_CONFIG, "-T", "s"},
         {},
         1,
         "s: Is a directory"},
        {"suite pipe",
         [&] { fifo("s", 0644); },
         {"-c", NO_CONFIG, "-T", "s"},
         {},
         1,
         "s: not a regular file"},
        {"book folder",
         [&] { folder("p.bok"); },
         {"-c", NO_CONFIG, "-B", "p.bok"},
         {"= Cannot open opening book: p.bok: Is a directory"},
         0,
         ""},
        {"read-only book pipe",
         [&] { fifo("p.bok", 0444); },
         {"-c", NO_CONFIG, "-B", "p.bok"},
         book_steps,
         0,
         ""},
        {"tables",
         [&] { folder("tb"), folder("tb/kqk.nbw"), fifo("tb/krk.nbw.emd", 0444); },
         {"-c", NO_CONFIG, "-o"},
         {"> uci", "= uciok", "> setoption name NalimovPath value tb", "> isready", "= readyok",
          "> position fen 8/8/8/8/8/2k5/8/KQ6 w - - 0 1", "> go depth 3", "^ bestmove "},
         0,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir scratch;
        c.make();
        run_case(c, scratch.path);
    }
}

TEST(NamedFiles, LogIsNeverTheBookOrTheGamesOfABuild)
{
    const std::string book = raw_book_bytes({{7, 3, 1, 1, 1}});
    const std::string games = "[Event \"a\"]\n[Result \"1-0\"]\n\n1. e4 e5 1-0\n";
    const struct {
        Case run;
        const char* kept;         // a file that must stay as it was
        const std::string* bytes; // its bytes
    } cases[] = {
        {{"book",
          [] {},
          {"-c", NO_CONFIG, "-B", "b.bok", "-l", "b.bok"},
          PLAYS,
          0,
          "Log file b.bok is the book file: no log written"},
         "b.bok",
         &book},
        {{"games, by a second name",
          [] { link("g.pgn", "same.pgn"); },
          {"-c", NO_CONFIG, "-I", "g.pgn", "-B", "out.bok", "-P", "1", "-l", "same.pgn"},
          {},
          0,
          "Log file same.pgn is the PGN file: no log written"},
         "g.pgn",
         &games},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.run.what);
        ScratchDir scratch;
        write_file("b.bok", book);
        write_file("g.pgn", games);
        c.run.make();
        run_case(c.run, scratch.path);
        EXPECT_EQ(read_text(c.kept), *c.bytes);
    }
}

} // namespace
