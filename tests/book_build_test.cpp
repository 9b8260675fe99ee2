// The book builder: a book built from real games read back byte by byte and
// compared with an independent replay of the games, the PGN reading rules on
// hand-written games, merging of many runs, and failures that must leave no
// temporary files behind.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "book_support.h"

namespace {

struct Counts {
    uint32_t played = 0, white = 0, black = 0, draws = 0;
};

// Replays the games of a plain export (tags on their own lines, comments in
// braces, "N." move numbers) from scratch, counting the first `depth` plies.
std::map<uint64_t, Counts> replay_games(const std::string& text, int depth, int max_games)
{
    std::map<uint64_t, Counts> counts;
    Position* pos = create_position();
    std::istringstream lines(text);
    std::string line, moves;
    int result = 0, games = 0;
    auto finish_game = [&]() {
        if (moves.empty())
            return;
        setup_new_game(pos);
        // Comments may run over line ends.
        std::string clean;
        int in_comment = 0;
        for (char c : moves) {
            if (c == '{')
                in_comment++;
            else if (c == '}')
                in_comment--;
            else if (!in_comment)
                clean += c;
        }
        std::istringstream tokens(clean);
        std::string token;
        int ply = 0;
        while (tokens >> token && ply < depth) {
            if (isdigit(static_cast<unsigned char>(token[0])) &&
                (token.back() == '.' || token.find('-') != std::string::npos))
                continue;
            if (token == "*")
                continue;
            Move m = parse_move(pos, token.c_str());
            EXPECT_NE(m, 0) << token;
            if (m == 0)
                break;
            make_move(pos, m);
            Counts& c = counts[*pos->key_top];
            c.played++;
            c.white += result == 1;
            c.black += result == 2;
            c.draws += result == 3;
            ply++;
        }
        moves.clear();
    };
    while (std::getline(lines, line)) {
        if (line.rfind("[Event ", 0) == 0) {
            finish_game();
            if (++games > max_games)
                break;
        }
        if (line.rfind("[Result ", 0) == 0)
            result = line.find("\"1-0\"") != std::string::npos   ? 1
                     : line.find("\"0-1\"") != std::string::npos ? 2
                     : line.find("1/2") != std::string::npos     ? 3
                                                                 : 4;
        else if (!line.empty() && line[0] != '[')
            moves += line + "\n";
    }
    if (games <= max_games)
        finish_game();
    destroy_position(pos);
    return counts;
}

std::string read_text(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The first `games` games of the shared game file.
std::string game_slice(int games)
{
    std::string all = read_text(QUARVEL_DATA_DIR "/pgn/engine-games.pgn");
    size_t at = 0;
    for (int i = 0; i <= games; i++) {
        size_t next = all.find("[Event ", at + (i ? 1 : 0));
        if (next == std::string::npos)
            return all;
        at = next;
    }
    return all.substr(0, at);
}

class BookBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        book_tests_init();
        output_enabled = 0;
    }
};

struct RoundTripCase {
    int games, depth, min_played;
};

TEST_F(BookBuild, BookHoldsEveryCountedPositionOfTheGames)
{
    const RoundTripCase cases[] = {{200, 20, 2}, {60, 8, 1}, {200, 60, 3}, {30, 0, 1}};
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.games << " games, depth " << c.depth);
        ScratchDir dir;
        std::string pgn = game_slice(c.games);
        write_file("games.pgn", pgn);
        build_book("games.pgn", "out.bok", c.depth, c.min_played);

        std::map<uint64_t, Counts> expected = replay_games(pgn, c.depth, c.games);
        std::vector<RawEntry> wanted;
        for (const auto& [key, n] : expected)
            if (n.played >= uint32_t(c.min_played))
                wanted.push_back({key, n.played, n.white, n.black, n.draws, 50000, 0});

        RawBook book;
        ASSERT_TRUE(read_raw_book("out.bok", &book));
        EXPECT_EQ(book.version, "0.3");
        EXPECT_EQ(book.created.size(), 24u) << book.created;
        EXPECT_EQ(book.depth, c.depth);
        EXPECT_EQ(book.entry_count, int32_t(book.entries.size()));
        ASSERT_EQ(book.entries.size(), wanted.size());
        for (size_t i = 0; i < wanted.size(); i++) {
            const RawEntry& got = book.entries[i];
            ASSERT_EQ(got.key, wanted[i].key) << i;   // also proves the order
            EXPECT_EQ(got.played, wanted[i].played);
            EXPECT_EQ(got.white_wins, wanted[i].white_wins);
            EXPECT_EQ(got.black_wins, wanted[i].black_wins);
            EXPECT_EQ(got.draws, wanted[i].draws);
            EXPECT_EQ(got.learn, 50000u);
            EXPECT_EQ(got.flags, 0u);
        }
        for (const std::string& f : dir.files())
            EXPECT_TRUE(f == "games.pgn" || f == "out.bok") << "left behind: " << f;
    }
}

// Random legal games, numerous enough that the pool spills into several run
// files which the build then has to merge.
std::string random_games(int games, int plies, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    Position* pos = create_position();
    std::string out;
    static const char* const results[] = {"1-0", "0-1", "1/2-1/2"};
    for (int g = 0; g < games; g++) {
        setup_new_game(pos);
        const char* result = results[g % 3];
        out += "[Event \"r\"]\n[Result \"" + std::string(result) + "\"]\n\n";
        for (int ply = 0; ply < plies; ply++) {
            Move list[MAX_MOVES];
            int n = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
            if (n == 0)
                break;
            Move m = list[rng() % n];
            if (ply % 2 == 0)
                out += std::to_string(ply / 2 + 1) + ". ";
            out += format_move_san(pos, m);
            out += ply % 10 == 9 ? "\n" : " ";
            make_move(pos, m);
        }
        out += std::string(" ") + result + "\n\n";
    }
    destroy_position(pos);
    return out;
}

TEST_F(BookBuild, PoolSpillsIntoRunsAndMergesBack)
{
    ScratchDir dir;
    const int games = 2200, depth = 50;
    std::string pgn = random_games(games, 60, 11);
    write_file("random.pgn", pgn);
    build_book("random.pgn", "r.bok", depth, 1);
    std::map<uint64_t, Counts> expected = replay_games(pgn, depth, games);
    ASSERT_GT(expected.size(), size_t(BOOK_POOL_SIZE));
    RawBook book;
    ASSERT_TRUE(read_raw_book("r.bok", &book));
    ASSERT_EQ(book.entries.size(), expected.size());
    EXPECT_EQ(book.entry_count, int32_t(expected.size()));
    size_t i = 0;
    for (const auto& [key, n] : expected) {
        const RawEntry& got = book.entries[i++];
        ASSERT_EQ(got.key, key);
        ASSERT_EQ(got.played, n.played);
        ASSERT_EQ(got.white_wins, n.white);
        ASSERT_EQ(got.black_wins, n.black);
        ASSERT_EQ(got.draws, n.draws);
    }
    for (const std::string& f : dir.files())
        EXPECT_TRUE(f == "random.pgn" || f == "r.bok") << "left behind: " << f;
}

const RawEntry* find_raw(const RawBook& book, uint64_t key)
{
    for (const RawEntry& e : book.entries)
        if (e.key == key)
            return &e;
    return nullptr;
}

TEST_F(BookBuild, PgnReadingRules)
{
    ScratchDir dir;
    const std::string long_comment = "{" + std::string(400, 'x') + "}";
    const std::string long_tag = "[Annotator \"" + std::string(600, 'y') + " 1.h4 h5\"]";
    std::string pgn =
        "[Event \"a\"]\n[Result \"1-0\"]\n" + long_tag +
        "\n\n1.e4 {a {b} c} e5 $1 2. Nf3!! (2. Nc3 (2. f4) Nc6) {x} Nc6? 3. Bb5 " + long_comment +
        " a6 1-0\n\n"
        "[Event \"b\"]\n[Result \"0-1\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bc4 0-1\n\n"
        "[Event \"c\"]\n[Result \"*\"]\n\n1. d4 d5 *\n\n"
        "[Event \"d\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n\n1. c4 c5 1/2-1/2\n\n"
        "[Event \"f\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n[Result \"1-0\"]\n\n1. Nc3 Nc6 1-0\n\n"
        "[Event \"e\"]\n[Result \"1/2-1/2\"]\n\n1. Nf3 1...Nf6 2. Qxf7 g6 3. g3 1/2-1/2\n";
    write_file("g.pgn", pgn);
    build_book("g.pgn", "g.bok", 5, 1);
    RawBook book;
    ASSERT_TRUE(read_raw_book("g.bok", &book));

    struct Expect {
        std::vector<const char*> line;
        uint32_t played, white, black, draws, flags;
    };
    const Expect expects[] = {
        {{"e4"}, 2, 1, 1, 0, 0},
        {{"e4", "e5", "Nf3"}, 2, 1, 1, 0, BOOK_MARK_VERY_GOOD},
        {{"e4", "e5", "Nf3", "Nc6"}, 2, 1, 1, 0, BOOK_MARK_DUBIOUS},
        {{"e4", "e5", "Nf3", "Nc6", "Bb5"}, 1, 1, 0, 0, 0},
        {{"e4", "e5", "Nf3", "Nc6", "Bc4"}, 1, 0, 1, 0, 0},
        {{"Nf3", "Nf6"}, 1, 0, 0, 1, 0},
    };
    for (const Expect& e : expects) {
        const RawEntry* got = find_raw(book, key_after(e.line));
        ASSERT_NE(got, nullptr) << e.line.back();
        EXPECT_EQ(got->played, e.played) << e.line.back();
        EXPECT_EQ(got->white_wins, e.white);
        EXPECT_EQ(got->black_wins, e.black);
        EXPECT_EQ(got->draws, e.draws);
        EXPECT_EQ(got->flags, e.flags) << e.line.back();
    }
    // Beyond the depth, a "*" game, a set-up game, the tail of a long tag,
    // variations, and the moves after an illegal one count nothing.
    EXPECT_EQ(find_raw(book, key_after({"e4", "e5", "Nf3", "Nc6", "Bb5", "a6"})), nullptr);
    EXPECT_EQ(find_raw(book, key_after({"d4"})), nullptr);
    EXPECT_EQ(find_raw(book, key_after({"c4"})), nullptr);
    EXPECT_EQ(find_raw(book, key_after({"Nc3"})), nullptr);
    EXPECT_EQ(find_raw(book, key_after({"h4"})), nullptr);
    EXPECT_EQ(find_raw(book, key_after({"e4", "e5", "Nc3"})), nullptr);
    EXPECT_EQ(find_raw(book, key_after({"Nf3", "Nf6", "g3"})), nullptr);
    EXPECT_EQ(book.entries.size(), 8u);   // e4 e5 Nf3 Nc6 Bb5 Bc4, Nf3 Nf6
}

TEST_F(BookBuild, EmptyGameFileGivesAnEmptyBook)
{
    ScratchDir dir;
    write_file("empty.pgn", "");
    build_book("empty.pgn", "e.bok", 60, 2);
    RawBook book;
    ASSERT_TRUE(read_raw_book("e.bok", &book));
    EXPECT_EQ(book.version, "0.3");
    EXPECT_EQ(book.entry_count, 0);
    EXPECT_TRUE(book.entries.empty());
    EXPECT_EQ(dir.files().size(), 2u);
}

TEST_F(BookBuild, ManyRunsMergeIntoOneSortedSum)
{
    ScratchDir dir;
    std::mt19937_64 rng(7);
    std::map<uint64_t, RawEntry> sum;
    book_run_count = 0;
    const int runs = 45;   // three merge passes: 44..25, 25..6, 6..0
    for (int r = 0; r < runs; r++) {
        std::vector<BookEntry> pool(1 + rng() % 40);
        std::vector<BookEntry*> pointers;
        for (BookEntry& e : pool) {
            uint64_t key = 1 + rng() % 300;   // many repeats, within and across runs
            e = BookEntry{uint32_t(key), uint32_t(key >> 32), 1, uint32_t(rng() % 2), 0,
                          uint32_t(rng() % 2), 50000, uint32_t(8u << (rng() % 4))};
            RawEntry& s = sum[key];
            s.key = key;
            s.played += 1;
            s.white_wins += e.white_wins;
            s.draws += e.draws;
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
    std::vector<RawEntry> wanted;
    for (const auto& [key, e] : sum)
        if (e.played >= 3)
            wanted.push_back(e);
    ASSERT_EQ(book.entries.size(), wanted.size());
    EXPECT_EQ(book.entry_count, int32_t(wanted.size()));
    for (size_t i = 0; i < wanted.size(); i++) {
        EXPECT_EQ(book.entries[i].key, wanted[i].key);
        EXPECT_EQ(book.entries[i].played, wanted[i].played);
        EXPECT_EQ(book.entries[i].white_wins, wanted[i].white_wins);
        EXPECT_EQ(book.entries[i].draws, wanted[i].draws);
        EXPECT_EQ(book.entries[i].flags, wanted[i].flags);
    }
}

TEST_F(BookBuild, FailuresExitWithCodeOneAndCleanUp)
{
    ScratchDir dir;
    write_file("bad.pgn", "[Event \"a\"]\n[Result \"1-0\"]\n\n1. e4 e5 1-0\n\n[Result \"2-0\"]\n");
    EXPECT_EXIT(build_book("bad.pgn", "x.bok", 10, 1), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(build_book("missing.pgn", "x.bok", 10, 1), testing::ExitedWithCode(1), "");
    for (const std::string& f : dir.files())
        EXPECT_EQ(f, "bad.pgn") << "left behind";

    // A run file whose keys are out of order is refused and the book removed.
    write_file("run", raw_book_bytes({{5}, {3}}));
    EXPECT_EXIT(filter_book("run", "y.bok", 1), testing::ExitedWithCode(1), "");
    write_file("run", raw_book_bytes({{0}}));
    EXPECT_EXIT(filter_book("run", "y.bok", 1), testing::ExitedWithCode(1), "");
    for (const std::string& f : dir.files())
        EXPECT_NE(f, "y.bok");
}

}  // namespace
