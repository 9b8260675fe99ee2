// The book builder: books built from real and random games read back byte by
// byte and compared with an independent replay of the games, the PGN reading
// rules on hand-written games, merging of many runs, and failures that must
// leave no temporary files behind.
#include <csignal>
#include <fcntl.h>
#include <malloc.h>
#include <map>
#include <random>
#include <sys/stat.h>
#include <time.h>

#if defined(__SANITIZE_ADDRESS__)
#define QUARVEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARVEL_ASAN 1
#endif
#endif
#ifdef QUARVEL_ASAN
// The AddressSanitizer runtime of both g++ and clang defines it; g++ ships no
// header for it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "book_support.h"
#include "tools/helpers/engine_process.h"

namespace {

// The entries played at least `min_played` times, in key order.
std::vector<RawEntry> kept(const std::map<uint64_t, RawEntry>& entries, int min_played)
{
    std::vector<RawEntry> out;
    for (const auto& [key, e] : entries)
        if (e.played >= uint32_t(min_played))
            out.push_back(e);
    return out;
}

// Replays the games of a plain export (tags on their own lines, comments in
// braces, "N." move numbers) from scratch, counting the first `depth` plies.
std::vector<RawEntry> replay_games(const std::string& text, int depth, int min_played)
{
    std::map<uint64_t, RawEntry> counts;
    OwnedPosition pos = create_position();
    std::istringstream lines(text);
    std::string line, result, token;
    int ply = 0, in_comment = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("[Event ", 0) == 0)
            setup_new_game(pos), ply = 0;
        else if (line.rfind("[Result \"", 0) == 0)
            result = line.substr(9, line.find('"', 9) - 9);
        if (line.empty() || line[0] == '[')
            continue;
        std::string clean; // comments may run over line ends
        for (char c : line) {
            in_comment += c == '{' ? 1 : c == '}' ? -1 : 0;
            if (!in_comment && c != '}')
                clean += c;
        }
        for (std::istringstream tokens(clean); tokens >> token && ply < depth;) {
            if (token == "*" || (isdigit(static_cast<unsigned char>(token[0])) &&
                                 (token.back() == '.' || token.find('-') != std::string::npos)))
                continue;
            Move m = parse_move(pos, token.c_str());
            EXPECT_NE(m, 0) << token;
            if (m == 0)
                break;
            make_move(pos, m);
            RawEntry& c = counts[*pos->key_top];
            c.key = *pos->key_top;
            c.played++, ply++;
            c.white_wins += result == "1-0";
            c.black_wins += result == "0-1";
            c.draws += result == "1/2-1/2";
        }
    }
    return kept(counts, min_played);
}

// The first `games` games of the shared game file.
std::string game_slice(int games)
{
    const std::string all = read_text(QUARVEL_DATA_DIR "/pgn/engine-games.pgn");
    size_t at = 0;
    for (int i = 0; i < games && at != std::string::npos; i++)
        at = all.find("[Event ", at + 1);
    return all.substr(0, at);
}

// Random legal games.
std::string random_games(int games, int plies, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    OwnedPosition pos = create_position();
    std::string out;
    static const char* const results[] = {"1-0", "0-1", "1/2-1/2"};
    for (int g = 0; g < games; g++) {
        setup_new_game(pos);
        out += "[Event \"r\"]\n[Result \"" + std::string(results[g % 3]) + "\"]\n\n";
        for (int ply = 0; ply < plies; ply++) {
            Move list[MAX_MOVES];
            int n = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
            if (n == 0)
                break;
            Move m = list[rng() % n];
            if (ply % 2 == 0)
                out += std::to_string(ply / 2 + 1) + ". ";
            out += std::string(format_move_san(pos, m)) + (ply % 10 == 9 ? "\n" : " ");
            make_move(pos, m);
        }
        out += std::string(" ") + results[g % 3] + "\n\n";
    }
    return out;
}

// Two one-entry runs merged: every temporary name of a build is used.
void build_two_runs_and_merge()
{
    BookEntry entry = {5, 0, 1, 0, 0, 0, 50000, 0};
    BookEntry* pointer = &entry;
    book_run_count = 0;
    write_book_run(&pointer, 1, 9);
    write_book_run(&pointer, 1, 9);
    merge_book_runs();
    exit(0);
}

struct BookBuild : BookTest {
    BookBuild() { output_enabled = 0; }
};

TEST_F(BookBuild, BookHoldsEveryCountedPositionOfTheGames)
{
    // Random games numerous enough that the pool spills into several run
    // files which the build then has to merge. One process builds them in
    // turn, so each build starts from the tables the one before handed back:
    // after a small build and after one that reused its pool.
    const struct {
        int games, depth, min_played;
        bool random;
    } cases[] = {{200, 20, 2, false}, {60, 8, 1, false}, {2200, 50, 1, true}, {200, 60, 3, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.games << " games, depth " << c.depth);
        ScratchDir scratch;
        const std::string pgn = c.random ? random_games(c.games, 60, 11) : game_slice(c.games);
        write_file("games.pgn", pgn);
        build_book("games.pgn", "out.bok", c.depth, c.min_played);
        const std::vector<RawEntry> wanted = replay_games(pgn, c.depth, c.min_played);
        if (c.random) {
            ASSERT_GT(wanted.size(), size_t(BOOK_POOL_SIZE));
        }
        RawBook book;
        ASSERT_TRUE(read_raw_book("out.bok", &book));
        EXPECT_EQ(book.version, "0.3");
        EXPECT_EQ(book.created.size(), 24u) << book.created;
        EXPECT_EQ(book.depth, c.depth);
        EXPECT_EQ(book.entry_count, int32_t(wanted.size()));
        EXPECT_EQ(book.entries, wanted); // also proves the order
        EXPECT_EQ(scratch.strays({"games.pgn", "out.bok"}), std::vector<std::string>{});
    }
}

TEST_F(BookBuild, PgnReadingRules)
{
    const std::string long_comment = "{" + std::string(400, 'x') + "}";
    const std::string long_tag = "[Annotator \"" + std::string(600, 'y') + " 1.h4 h5\"]";
    write_file(
        "g.pgn",
        "[Event \"a\"]\n[Result \"1-0\"]\n" + long_tag +
            "\n\n1.e4 {a {b} c} e5 $1 2. Nf3!! (2. Nc3 (2. f4) Nc6) {x} Nc6? 3. Bb5 " +
            long_comment +
            " a6 1-0\n\n"
            "[Event \"b\"]\n[Result \"0-1\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bc4 0-1\n\n"
            "[Event \"c\"]\n[Result \"*\"]\n\n1. d4 d5 *\n\n"
            "[Event \"d\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n\n1. c4 c5 1/2-1/2\n\n"
            "[Event \"f\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n[Result \"1-0\"]\n\n"
            "1. Nc3 Nc6 1-0\n\n"
            "[Event \"g\"]\n[FEN \"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\"]\n"
            "[Result \"0-1\"]\n\n1. d4 d5 0-1\n\n"
            "[Event \"h\"]\n[Result \"0-1\"]\n[FEN \"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w "
            "KQkq - 0 1\"]\n\n1. d4 d5 0-1\n\n"
            "[Event \"e\"]\n[Result \"1/2-1/2\"]\n\n1. Nf3 1...Nf6 2. Qxf7 g6 3. g3 1/2-1/2\n");
    build_book("g.pgn", "g.bok", 5, 1);
    RawBook book;
    ASSERT_TRUE(read_raw_book("g.bok", &book));

    // The whole book: positions beyond the depth, of the "*" game and the
    // set-up games, in the tail of a long tag, in variations, and after an
    // illegal move (Qxf7) count nothing; a game set up at the start position
    // counts when a result tag follows the set-up.
    const struct {
        std::vector<const char*> line;
        uint32_t played, white, black, draws, flags;
    } rows[] = {
        {{"e4"}, 2, 1, 1, 0, 0},
        {{"e4", "e5"}, 2, 1, 1, 0, 0},
        {{"e4", "e5", "Nf3"}, 2, 1, 1, 0, BOOK_MARK_VERY_GOOD},
        {{"e4", "e5", "Nf3", "Nc6"}, 2, 1, 1, 0, BOOK_MARK_DUBIOUS},
        {{"e4", "e5", "Nf3", "Nc6", "Bb5"}, 1, 1, 0, 0, 0},
        {{"e4", "e5", "Nf3", "Nc6", "Bc4"}, 1, 0, 1, 0, 0},
        {{"Nf3"}, 1, 0, 0, 1, 0},
        {{"Nf3", "Nf6"}, 1, 0, 0, 1, 0},
        {{"d4"}, 1, 0, 1, 0, 0},
        {{"d4", "d5"}, 1, 0, 1, 0, 0},
    };
    std::map<uint64_t, RawEntry> wanted;
    for (const auto& r : rows)
        wanted[key_after(r.line)] = {key_after(r.line), r.played, r.white, r.black,
                                     r.draws,           50000,    r.flags};
    EXPECT_EQ(book.entries, kept(wanted, 0));
}

TEST_F(BookBuild, ManyRunsMergeIntoOneSortedSum)
{
    std::mt19937_64 rng(7);
    std::map<uint64_t, RawEntry> sum;
    book_run_count = 0;
    for (int r = 0; r < 45; r++) { // three merge passes: 44..25, 25..6, 6..0
        std::vector<BookEntry> pool(1 + rng() % 40);
        std::vector<BookEntry*> pointers;
        for (BookEntry& e : pool) {
            uint64_t key = 1 + rng() % 300; // many repeats, within and across runs
            e = BookEntry{uint32_t(key),
                          uint32_t(key >> 32),
                          1,
                          uint32_t(rng() % 2),
                          0,
                          uint32_t(rng() % 2),
                          50000,
                          uint32_t(8u << (rng() % 4))};
            RawEntry& s = sum[key];
            s.key = key, s.played++, s.white_wins += e.white_wins, s.draws += e.draws,
            s.flags |= e.flags;
            pointers.push_back(&e);
        }
        write_book_run(pointers.data(), int(pointers.size()), 9);
    }
    int passes = 0;
    while (merge_book_runs() == 0)
        passes++;
    EXPECT_EQ(passes, 3);
    EXPECT_EQ(book_run_count, 1);
    filter_book("book.tmp.0", "m.bok", 3);

    RawBook book;
    ASSERT_TRUE(read_raw_book("m.bok", &book));
    EXPECT_EQ(book.depth, 9);
    EXPECT_EQ(book.entries, kept(sum, 3));
    EXPECT_EQ(book.entry_count, int32_t(book.entries.size()));
}

TEST_F(BookBuild, FailuresExitWithCodeOneAndCleanUp)
{
    write_file("bad.pgn", "[Event \"a\"]\n[Result \"1-0\"]\n\n1. e4 e5 1-0\n\n[Result \"2-0\"]\n");
    EXPECT_EXIT(build_book("bad.pgn", "x.bok", 10, 1), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(build_book("missing.pgn", "x.bok", 10, 1), testing::ExitedWithCode(1), "");
    EXPECT_EQ(dir.strays({"bad.pgn"}), std::vector<std::string>{});

    // A run file whose keys are out of order (or zero) is refused; a book of
    // that name stays as it was.
    const std::string good = raw_book_bytes({{7, 3, 1, 1, 1}});
    write_file("y.bok", good);
    for (const std::vector<RawEntry>& run : {std::vector<RawEntry>{{5}, {3}}, {{0}}}) {
        write_file("run", raw_book_bytes(run));
        EXPECT_EXIT(filter_book("run", "y.bok", 1), testing::ExitedWithCode(1), "");
        EXPECT_EQ(dir.strays({"bad.pgn", "run", "y.bok"}), std::vector<std::string>{});
        EXPECT_EQ(read_text("y.bok"), good);
    }
}

// Bytes the allocator has handed out and not taken back.
size_t bytes_in_use()
{
#ifdef QUARVEL_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

size_t bytes_before_build;

// Runs inside exit(), after the builder has given up: whatever it took
// beyond its kept tables must be back, or a process that goes on after the
// builder's exit (fuzzing, these tests' own children) keeps it for good.
void exit_with_two_if_memory_kept()
{
    if (bytes_in_use() > bytes_before_build + (1 << 20))
        _exit(2);
}

TEST_F(BookBuild, RefusedBuildGivesBackItsMemory)
{
    // The builder's tables are taken once per process and kept: after a
    // build that took them, a refused one must not take more.
    write_file("good.pgn", "[Result \"1-0\"]\n1. e4 e5 1-0\n");
    write_file("none.pgn", "not a game\n");
    write_file("bad.pgn", "[Result \"1-0\"]\n1. e4 e5\n[Result \"2-0\"]\n");
    for (const char* pgn : {"none.pgn", "bad.pgn"}) {
        SCOPED_TRACE(pgn);
        EXPECT_EXIT(
            {
                build_book("good.pgn", "good.bok", 60, 1);
                bytes_before_build = bytes_in_use();
                atexit(exit_with_two_if_memory_kept);
                build_book(pgn, "x.bok", 60, 1);
            },
            testing::ExitedWithCode(1), "");
    }
}

TEST_F(BookBuild, NoGoodBookIsSpoiltAndNoForeignFileTouched)
{
    // Texts that count no game, and a book named like its own PGN file
    // (also through a link): exit 1, every file as it was.
    const std::string games = "[Event \"a\"]\n[Result \"1-0\"]\n\n1. e4 e5 1-0\n";
    const std::string good = raw_book_bytes({{7, 3, 1, 1, 1}});
    const struct {
        std::string pgn;
        int depth;
        const char* book;
        int min_played = 1;
    } cases[] = {{"", 60, "good.bok"},
                 {"not a game at all\n", 60, "good.bok"},
                 {"[Event \"c\"]\n[Result \"*\"]\n\n1. d4 d5 *\n", 60, "good.bok"},
                 {games, 0, "good.bok"},
                 {games, 60, "good.bok", 100000}, // no position played that often
                 {games, 60, "g.pgn"},
                 {games, 60, "link.pgn"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pgn + c.book);
        ScratchDir scratch;
        write_file("good.bok", good);
        write_file("g.pgn", c.pgn);
        std::filesystem::create_symlink("g.pgn", "link.pgn");
        EXPECT_EXIT(build_book("g.pgn", c.book, c.depth, c.min_played), testing::ExitedWithCode(1),
                    "");
        EXPECT_EQ(read_text("good.bok"), good);
        EXPECT_EQ(read_text("g.pgn"), c.pgn);
        EXPECT_EQ(scratch.strays({"good.bok", "g.pgn", "link.pgn"}), std::vector<std::string>{});
    }

    // Temporary names taken by a planted link or someone's file: refused,
    // and neither the link, its target nor the file is written or removed.
    for (const char* taken : {"book.tmp.0", "book.tmp.1", "book.tmp"}) {
        SCOPED_TRACE(taken);
        ScratchDir scratch;
        write_file("victim", "precious");
        std::filesystem::create_symlink("victim", taken);
        write_file("other", "theirs");
        EXPECT_EXIT(build_two_runs_and_merge(), testing::ExitedWithCode(1), taken);
        EXPECT_EQ(read_text("victim"), "precious");
        EXPECT_TRUE(std::filesystem::is_symlink(taken));
        EXPECT_EQ(scratch.strays({"victim", "other", taken}), std::vector<std::string>{});
    }

    // A book named through a link: the linked file gets the book, the link stays.
    write_file("g.pgn", games);
    write_file("real.bok", "old");
    std::filesystem::create_symlink("real.bok", "link.bok");
    build_book("g.pgn", "link.bok", 60, 1);
    EXPECT_TRUE(std::filesystem::is_symlink("link.bok"));
    RawBook book;
    ASSERT_TRUE(read_raw_book("real.bok", &book));
    EXPECT_EQ(book.entries.size(), 2u);
    EXPECT_EQ(dir.strays({"g.pgn", "real.bok", "link.bok"}), std::vector<std::string>{});
}

void build_and_exit(const char* book)
{
    build_book("g.pgn", book, 60, 1);
    exit(0);
}

mode_t mode_of(const char* name)
{
    struct stat st;
    return stat(name, &st) == 0 ? st.st_mode : 0;
}

TEST_F(BookBuild, OnlyAWritableRegularFileIsReplacedByTheBook)
{
    // "t.bok" is what the build is told to write; "file" is where it lands.
    const std::string good = raw_book_bytes({{7, 3, 1, 1, 1}});
    const struct {
        const char* what;
        std::function<void()> make;
        const char* file;
        mode_t type_and_mode; // of `file` afterwards
        int code;
        const char* message;
    } cases[] = {
        {"pipe", [] { mkfifo("t.bok", 0644); }, "t.bok", S_IFIFO | 0644, 1,
         "Book file t.bok is not a regular file: nothing written"},
        {"folder", [] { mkdir("t.bok", 0755); }, "t.bok", S_IFDIR | 0755, 1,
         "Book file t.bok is not a regular file"},
        {"link to a pipe", [] { mkfifo("p", 0600), symlink("p", "t.bok"); }, "p", S_IFIFO | 0600, 1,
         "Book file t.bok is not a regular file"},
        {"read-only book", [&] { write_file("t.bok", good), chmod("t.bok", 0444); }, "t.bok",
         S_IFREG | 0444, 1, "Book file t.bok is read-only: nothing written"},
        {"private book", [&] { write_file("t.bok", good), chmod("t.bok", 0600); }, "t.bok",
         S_IFREG | 0600, 0, ""},
        {"dangling link", [] { symlink("sub/../made.bok", "t.bok"), mkdir("sub", 0755); },
         "made.bok", S_IFREG, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir scratch;
        write_file("g.pgn", "[Event \"a\"]\n[Result \"1-0\"]\n\n1. e4 e5 1-0\n");
        c.make();
        EXPECT_EXIT(build_and_exit("t.bok"), testing::ExitedWithCode(c.code), c.message);
        const mode_t mode = mode_of(c.file);
        if (c.type_and_mode & 07777)
            EXPECT_EQ(mode, c.type_and_mode);
        else
            EXPECT_EQ(mode & S_IFMT, c.type_and_mode);
        RawBook book;
        if (c.code == 0) {
            ASSERT_TRUE(read_raw_book(c.file, &book));
            EXPECT_EQ(book.entries.size(), 2u);
        } else if (S_ISREG(mode)) {
            EXPECT_EQ(read_text(c.file), good);
        }
        if (strcmp(c.file, "t.bok") != 0) {
            struct stat st;
            EXPECT_TRUE(lstat("t.bok", &st) == 0 && S_ISLNK(st.st_mode));
        }
        EXPECT_EQ(scratch.strays({"g.pgn", "t.bok", "p", "sub", "made.bok"}),
                  std::vector<std::string>{});
    }
}

// Waits, within a generous deadline, for `ready` to hold.
bool wait_until(const std::function<bool()>& ready)
{
    for (int waited = 0; waited < scaled_timeout(60000); waited += 10) {
        if (ready())
            return true;
        const struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return false;
}

TEST_F(BookBuild, InterruptedBuildRemovesItsOwnFilesOnly)
{
    // The games come through a pipe that stays open, so the builder is
    // caught reading after its first run file, whatever the machine's speed.
    static const std::string games = random_games(2200, 60, 5);
    signal(SIGPIPE, SIG_IGN);
    for (int signal_number : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal_number);
        ScratchDir scratch;
        write_file("book.tmp.5", "not the builder's");
        ASSERT_EQ(mkfifo("games.pgn", 0600), 0);
        EngineProcess proc;
        ASSERT_TRUE(process_start(
            &proc, quarvel_path(),
            {"-c", "/nonexistent-quarvel-dir/quarvel.cfg", "-I", "games.pgn", "-B", "out.bok"},
            scratch.path));
        int fd = -1;
        ASSERT_TRUE(
            wait_until([&] { return (fd = open("games.pgn", O_WRONLY | O_NONBLOCK)) >= 0; }));
        fcntl(fd, F_SETFL, 0);
        ASSERT_EQ(write(fd, games.data(), games.size()), ssize_t(games.size()));
        ASSERT_TRUE(wait_until([] { return access("book.tmp.0", F_OK) == 0; }));
        kill(proc.pid, signal_number);
        EXPECT_EQ(process_wait_exit(&proc, scaled_timeout(30000)), 128 + signal_number);
        close(fd);
        EXPECT_EQ(read_text("book.tmp.5"), "not the builder's");
        EXPECT_EQ(scratch.strays({"games.pgn", "book.tmp.5"}), std::vector<std::string>{});
    }
}

} // namespace
