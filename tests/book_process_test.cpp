// The book through the whole program: building one with -I, playing from it
// over the xboard protocol, learning from the result into the file, and a
// broken book that leaves the engine playing without one.
#include <gtest/gtest.h>

#include "book_support.h"
#include "helpers/engine_process.h"

namespace {

const int SHORT = 10000;

std::vector<std::string> engine_args(const std::vector<std::string>& more)
{
    std::vector<std::string> args = {"-c", "/nonexistent-quarvel-dir/quarvel.cfg"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Three games of one line: White's d4 and c4 won once, Black's Nf6 and e6
// twice, so each side has exactly one book move at each of its turns.
const char* const GAMES =
    "[Event \"x\"]\n[Result \"1-0\"]\n\n1. d4 Nf6 2. c4 e6 3. Nc3 Bb4 1-0\n\n"
    "[Event \"y\"]\n[Result \"0-1\"]\n\n1. d4 Nf6 2. c4 e6 3. Nf3 b6 0-1\n\n"
    "[Event \"z\"]\n[Result \"0-1\"]\n\n1. d4 Nf6 2. c4 e6 0-1\n";

void build_with_program(ScratchDir* dir, const std::vector<std::string>& more, int* exit_code)
{
    EngineProcess proc;
    // The program returns from main after a build without freeing its game
    // Position; the leak checker of the sanitizer build must not turn that
    // into a failed build.
    ASSERT_TRUE(process_start(&proc, quarvel_path(), engine_args(more), dir->path,
                              {"ASAN_OPTIONS=detect_leaks=0"}));
    process_close_input(&proc);
    ASSERT_TRUE(process_read_to_end(&proc, scaled_timeout(60000)));
    *exit_code = process_wait_exit(&proc, scaled_timeout(SHORT));
}

TEST(BookProcess, BuildsABookFromTheCommandLine)
{
    book_tests_init();
    ScratchDir dir;
    write_file("games.pgn", GAMES);
    int code = -1;
    build_with_program(&dir, {"-I", "games.pgn", "-B", "lines.bok", "-D", "4", "-P", "2"}, &code);
    EXPECT_EQ(code, 0);
    RawBook book;
    ASSERT_TRUE(read_raw_book(dir.file("lines.bok"), &book));
    ASSERT_EQ(book.entries.size(), 4u);
    EXPECT_EQ(book.depth, 4);
    for (const RawEntry& e : book.entries)
        EXPECT_EQ(e.played, 3u);
    for (const std::string& f : dir.files())
        EXPECT_TRUE(f == "games.pgn" || f == "lines.bok" || f.find(".log") != std::string::npos)
            << "left behind: " << f;

    build_with_program(&dir, {"-I", "absent.pgn", "-B", "other.bok"}, &code);
    EXPECT_EQ(code, 1);
}

TEST(BookProcess, PlaysFromTheBookAndLearnsFromTheResult)
{
    book_tests_init();
    ScratchDir dir;
    write_file("games.pgn", GAMES);
    int code = -1;
    build_with_program(&dir, {"-I", "games.pgn", "-B", "lines.bok", "-D", "4", "-P", "1"}, &code);
    ASSERT_EQ(code, 0);

    EngineProcess proc;
    ASSERT_TRUE(process_start(&proc, quarvel_path(), engine_args({"-B", "lines.bok"}), dir.path));
    ASSERT_TRUE(process_send(&proc, "xboard"));
    ASSERT_TRUE(process_send(&proc, "protover 2"));
    ASSERT_TRUE(process_expect_line(&proc, "feature done=1", scaled_timeout(SHORT)))
        << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "new"));
    ASSERT_TRUE(process_send(&proc, "go"));
    ASSERT_TRUE(process_expect_line(&proc, "move d2d4", scaled_timeout(SHORT)))
        << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "g8f6"));
    ASSERT_TRUE(process_expect_line(&proc, "move c2c4", scaled_timeout(SHORT)))
        << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "result 1-0 {White wins}"));
    ASSERT_TRUE(process_send(&proc, "ping 7"));
    ASSERT_TRUE(process_expect_line(&proc, "pong 7", scaled_timeout(SHORT)));

    // The engine as Black from the same book.
    ASSERT_TRUE(process_send(&proc, "new"));
    ASSERT_TRUE(process_send(&proc, "d2d4"));
    ASSERT_TRUE(process_expect_line(&proc, "move g8f6", scaled_timeout(SHORT)))
        << process_transcript(&proc);
    process_close_input(&proc);
    EXPECT_EQ(process_wait_exit(&proc, scaled_timeout(SHORT)), 0);

    RawBook book;
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

TEST(BookProcess, BrokenBookLeavesTheEnginePlaying)
{
    book_tests_init();
    ScratchDir dir;
    write_file("broken.bok", raw_book_bytes({{key_after({"e4"}), 5, 5, 0, 0, 50000, 0}}).substr(0, 90));
    EngineProcess proc;
    ASSERT_TRUE(process_start(&proc, quarvel_path(), engine_args({"-B", "broken.bok"}), dir.path));
    ASSERT_TRUE(process_expect_line(&proc, "Invalid book file: broken.bok", scaled_timeout(SHORT)))
        << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "book"));
    ASSERT_TRUE(process_expect_line(&proc, "No book move", scaled_timeout(SHORT)))
        << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "sd 2"));
    ASSERT_TRUE(process_send(&proc, "go"));
    ASSERT_TRUE(process_expect_prefix(&proc, "Best move: ", scaled_timeout(30000)))
        << process_transcript(&proc);
    process_close_input(&proc);
    EXPECT_EQ(process_wait_exit(&proc, scaled_timeout(SHORT)), 0);
}

}  // namespace
