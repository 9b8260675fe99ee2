// The book through the whole program: building one with -I, playing from it
// over the xboard protocol, learning from the result into the file, and a
// broken book that leaves the engine playing without one.
#include <algorithm>

#include "book_support.h"
#include "tools/helpers/engine_process.h"

namespace {

// Starts the engine in the scratch directory with a missing configuration
// file, runs the Dialogue-style `steps`, ends its input and returns its exit
// code (-2: a step failed).
int run_engine(const BookTest& t, std::vector<std::string> args,
               const std::vector<std::string>& steps)
{
    // A build returns from main without freeing its game Position; the leak
    // checker of the sanitizer build must not turn that into a failed build.
    const bool build = std::find(args.begin(), args.end(), "-I") != args.end();
    args.insert(args.begin(), {"-c", "/nonexistent-quarvel-dir/quarvel.cfg"});
    EngineProcess proc;
    EXPECT_TRUE(process_start(&proc, quarvel_path(), args, t.dir.path,
                              build ? std::vector<std::string>{"ASAN_OPTIONS=detect_leaks=0"}
                                    : std::vector<std::string>{}));
    size_t mark = 0;
    for (const std::string& step : steps) {
        const std::string error = process_step(&proc, step, scaled_timeout(30000), &mark);
        if (!error.empty()) {
            ADD_FAILURE() << step << ": " << error << "\n" << process_transcript(&proc);
            return -2;
        }
    }
    process_close_input(&proc);
    EXPECT_TRUE(process_read_to_end(&proc, scaled_timeout(60000)));
    return process_wait_exit(&proc, scaled_timeout(10000));
}

using BookProcess = BookTest;

TEST_F(BookProcess, BuildsPlaysAndLearns)
{
    // Three games of one line: White's d4 and c4 won once, Black's Nf6 and e6
    // twice, so each side has exactly one book move at each of its turns; the
    // fifth plies (Nc3, Nf3) were played once only and are left out.
    write_file("games.pgn",
               "[Event \"x\"]\n[Result \"1-0\"]\n\n1. d4 Nf6 2. c4 e6 3. Nc3 Bb4 1-0\n\n"
               "[Event \"y\"]\n[Result \"0-1\"]\n\n1. d4 Nf6 2. c4 e6 3. Nf3 b6 0-1\n\n"
               "[Event \"z\"]\n[Result \"0-1\"]\n\n1. d4 Nf6 2. c4 e6 0-1\n");
    ASSERT_EQ(run_engine(*this, {"-I", "games.pgn", "-B", "lines.bok", "-D", "5", "-P", "2"}, {}),
              0);
    EXPECT_EQ(dir.strays({"games.pgn", "lines.bok"}), std::vector<std::string>{});
    RawBook book;
    ASSERT_TRUE(read_raw_book(dir.file("lines.bok"), &book));
    EXPECT_EQ(book.depth, 5);
    ASSERT_EQ(book.entries.size(), 4u);
    for (const RawEntry& e : book.entries)
        EXPECT_EQ(e.played, 3u);
    EXPECT_EQ(run_engine(*this, {"-I", "absent.pgn", "-B", "other.bok"}, {}), 1);

    // The engine plays White's book moves, learns from the win, then plays
    // Black's book reply in the next game.
    EXPECT_EQ(run_engine(*this, {"-B", "lines.bok"},
                         {"> xboard", "> protover 2", "= feature done=1", "> new", "> go",
                          "= move d2d4", "> g8f6", "= move c2c4", "> result 1-0 {White wins}",
                          "> ping 7", "= pong 7", "> new", "> d2d4", "= move g8f6"}),
              0);
    ASSERT_TRUE(read_raw_book(dir.file("lines.bok"), &book));
    const uint64_t d4 = key_after({"d4"}), c4 = key_after({"d4", "Nf6", "c4"});
    int learned = 0;
    for (const RawEntry& e : book.entries) {
        const bool engine_move = e.key == d4 || e.key == c4;
        EXPECT_EQ(e.learn, engine_move ? 55000u : 50000u);
        EXPECT_EQ(e.flags & BOOK_LAST_MASK, engine_move ? BOOK_LAST_WON : 0u);
        learned += engine_move;
    }
    EXPECT_EQ(learned, 2);
}

TEST_F(BookProcess, BuildThatCountsNothingKeepsTheGoodBook)
{
    const std::string good = raw_book_bytes({{key_after({"e4"}), 5, 5}});
    write_file("good.bok", good);
    write_file("wrong.pgn", "just some text\n");
    write_file("same.pgn", "[Result \"1-0\"]\n1. e4 e5 1-0\n");
    EXPECT_EQ(run_engine(*this, {"-I", "wrong.pgn", "-B", "good.bok"},
                         {"~ No game counted in wrong.pgn"}),
              1);
    EXPECT_EQ(run_engine(*this, {"-I", "same.pgn", "-B", "same.pgn"}, {}), 1);
    EXPECT_EQ(run_engine(*this, {"-I", "same.pgn", "-B", "good.bok", "-P", "100000"},
                         {"~ No position played at least 100000 times: book good.bok left"}),
              1);
    EXPECT_EQ(read_text(dir.file("good.bok")), good);
    EXPECT_EQ(read_text(dir.file("same.pgn")), "[Result \"1-0\"]\n1. e4 e5 1-0\n");
    EXPECT_EQ(dir.strays({"good.bok", "wrong.pgn", "same.pgn"}), std::vector<std::string>{});
}

TEST_F(BookProcess, BrokenBookLeavesTheEnginePlaying)
{
    write_file("broken.bok", raw_book_bytes({{key_after({"e4"}), 5, 5}}).substr(0, 90));
    EXPECT_EQ(run_engine(*this, {"-B", "broken.bok"},
                         {"= Invalid book file: broken.bok", "> book", "= No book move", "> sd 2",
                          "> go", "^ Best move: "}),
              0);
}

TEST_F(BookProcess, BookCutShortWhilePlayingIsTurnedOff)
{
    // Over 512 entries, so that the lookup reads single middle entries.
    std::vector<RawEntry> entries = {{key_after({"e4"}), 10, 10}};
    for (uint64_t i = 1; i <= 1000; i++)
        entries.push_back({i * 0x9E3779B97F4A7C15ull, 1, 1});
    std::sort(entries.begin(), entries.end(),
              [](const RawEntry& a, const RawEntry& b) { return a.key < b.key; });
    write_file("big.bok", raw_book_bytes(entries));
    EngineProcess proc;
    ASSERT_TRUE(process_start(&proc, quarvel_path(),
                              {"-c", "/nonexistent-quarvel-dir/quarvel.cfg", "-B", "big.bok"},
                              dir.path));
    size_t mark = 0;
    // "pong" comes from the main loop, after the book was opened and checked.
    for (const char* step :
         {"= 1001 book moves, depth=10", "> ping 1", "= pong 1", "truncate", "> sd 2", "> go",
          "= book: fread: Input/output error", "= Opening book disabled", "^ Best move: ", "> new",
          "> go", "^ Best move: "}) {
        if (std::string(step) == "truncate") {
            ASSERT_EQ(truncate("big.bok", 68 + 32 * 10), 0);
            continue;
        }
        ASSERT_EQ(process_step(&proc, step, scaled_timeout(30000), &mark), "")
            << step << "\n"
            << process_transcript(&proc);
    }
    process_close_input(&proc);
    EXPECT_TRUE(process_read_to_end(&proc, scaled_timeout(60000)));
    EXPECT_EQ(process_wait_exit(&proc, scaled_timeout(10000)), 0);
}

} // namespace
