// Opening and looking up hand-made books, the weighted choice and its table,
// learning written back into the file, and broken files that must leave the
// engine without a book instead of crashing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <map>
#include <set>
#include <sys/stat.h>

#include "book_support.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class BookLookup : public ::testing::Test {
protected:
    void SetUp() override
    {
        book_tests_init();
        output_enabled = 1;
        protocol_mode = 0;
        pos = create_position();
        setup_new_game(pos);
    }
    void TearDown() override
    {
        destroy_position(pos);
        if (book_file)
            fclose(book_file);
        book_file = nullptr;
        book_enabled = 1;
        book_read_only = 0;
    }
    // Opens a book file made of these entries (sorted here), silently.
    int open_entries(std::vector<RawEntry> entries, const char* name = "t.bok")
    {
        std::sort(entries.begin(), entries.end(),
                  [](const RawEntry& a, const RawEntry& b) { return a.key < b.key; });
        write_file(name, raw_book_bytes(entries));
        CaptureStdout();
        int r = open_book(name);
        opened_text = GetCapturedStdout();
        return r;
    }
    void play(const char* san)
    {
        Move m = parse_move(pos, san);
        ASSERT_NE(m, 0) << san;
        push_game_move(pos, m);
    }
    Position* pos = nullptr;
    std::string opened_text;
};

TEST_F(BookLookup, FindsEveryKeyAndNothingElse)
{
    ScratchDir dir;
    // Small books are one linear scan; large ones go through the binary
    // search and its cache.
    for (int size : {0, 1, 512, 513, 5000, 9999}) {
        SCOPED_TRACE(size);
        std::mt19937_64 rng(size);
        std::set<uint64_t> keys;
        while (int(keys.size()) < size)
            keys.insert(rng() | 2);   // never 0 and never the probe keys below
        std::vector<RawEntry> entries;
        for (uint64_t k : keys)
            entries.push_back({k, 1, 1, 0, 0, 50000, 0});
        ASSERT_EQ(open_entries(entries), 0) << opened_text;
        std::vector<uint64_t> sorted(keys.begin(), keys.end());
        const uint32_t probes_before = book_cache_probes;
        for (size_t i = 0; i < sorted.size(); i += 1 + sorted.size() / 300) {
            *pos->key_top = sorted[i];
            ASSERT_EQ(find_book_entry(pos, 0, size), int(i));
        }
        if (size <= 512) {
            EXPECT_EQ(book_cache_probes, probes_before);
        }
        for (uint64_t missing : {uint64_t(0), uint64_t(1), ~uint64_t(0) - 1}) {
            *pos->key_top = missing;
            EXPECT_EQ(find_book_entry(pos, 0, size), -1);
        }
        // A count beyond the file (a stale header) must not read past its end.
        *pos->key_top = 5;
        EXPECT_EQ(find_book_entry(pos, 0, size + 100000), -1);
        if (size > 512) {
            *pos->key_top = sorted[size / 3];
            find_book_entry(pos, 0, size);
            const uint32_t probes = book_cache_probes, hits = book_cache_hits;
            EXPECT_EQ(find_book_entry(pos, 0, size), size / 3);
            EXPECT_EQ(book_cache_hits - hits, book_cache_probes - probes);
            EXPECT_GT(book_cache_probes, probes);
        }
    }
}

TEST_F(BookLookup, BrokenFilesLeaveNoBook)
{
    ScratchDir dir;
    const std::string good = raw_book_bytes({{key_after({"e4"}), 9, 9, 0, 0, 50000, 0}});
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty", "", "Invalid book file: b.bok"},
        {"half header", good.substr(0, 40), "Invalid book file: b.bok"},
        {"truncated entries", good.substr(0, 68 + 20), "Invalid book file: b.bok"},
        {"count too large", raw_book_bytes({{7}}, "0.3", 1000), "Invalid book file: b.bok"},
        {"negative count", raw_book_bytes({{7}}, "0.3", -4), "Invalid book file: b.bok"},
        {"other version", raw_book_bytes({{7}}, "0.2"), "Fatal: cannot use book version 0.2"},
        {"version with a tail", raw_book_bytes({{7}}, "0.3x"), "Fatal: cannot use book version 0.3x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write_file("b.bok", c.bytes);
        book_enabled = 1;
        CaptureStdout();
        EXPECT_EQ(open_book("b.bok"), -1);
        std::string text = GetCapturedStdout();
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_EQ(book_enabled, 0);
        EXPECT_EQ(book_file, nullptr);
        EXPECT_EQ(choose_book_move(pos), 0);
    }
    CaptureStdout();
    EXPECT_EQ(open_book("absent.bok"), -1);
    EXPECT_NE(GetCapturedStdout().find("Cannot open opening book: absent.bok: "), std::string::npos);
    CaptureStdout();
    EXPECT_EQ(open_book(""), -1);
    EXPECT_EQ(GetCapturedStdout(), "Opening book disabled");
    // Trailing bytes beyond the entries do not spoil a book.
    write_file("b.bok", good + "xyz");
    CaptureStdout();
    EXPECT_EQ(open_book("b.bok"), 0);
    GetCapturedStdout();
    CaptureStdout();
    Move m = choose_book_move(pos);
    GetCapturedStdout();
    EXPECT_EQ(m, parse_move(pos, "e4"));
}

TEST_F(BookLookup, ChoiceWeighsRecordsMarksAndLearning)
{
    ScratchDir dir;
    ASSERT_EQ(open_entries({
                  {key_after({"e4"}), 10, 10, 0, 0, 50000, 0},             // 2*10 -> 19
                  {key_after({"d4"}), 30, 0, 30, 0, 50000, 0},             // no own wins -> 0
                  {key_after({"c4"}), 1, 0, 0, 1, 50000, 0},               // base 1 -> 0
                  {key_after({"Nf3"}), 5, 5, 0, 0, 55000, BOOK_MARK_GOOD | BOOK_MARK_DUBIOUS},
                  {key_after({"g3"}), 99, 99, 0, 0, 200000, BOOK_MARK_BAD},
                  {key_after({"b3"}), 5, 5, 0, 0, 50000, BOOK_LAST_LOST},  // 9 / 8 -> 1
                  {key_after({"a3"}), 3, 3, 0, 0, 50000, BOOK_LAST_WON},   // 5 * 2 -> 10
                  {key_after({"h3"}), 3, 3, 0, 0, 50000, 7},               // corrupted flags: 5
              }),
              0);
    CaptureStdout();
    Move m = choose_book_move(pos);
    std::string table = GetCapturedStdout();
    // Total 19 + 10 (Nf3: 10 * 2 / 2) + 1 + 10 + 5 = 45.
    EXPECT_NE(table.find(" e4          10    42.22%   100.00%        1.00  100.00%    0.00%    0.00\n"),
              std::string::npos) << table;
    EXPECT_NE(table.find(" Nf3?         5    22.22%"), std::string::npos) << table;
    EXPECT_NE(table.find(" a3           3    22.22%   100.00%    +"), std::string::npos) << table;
    EXPECT_NE(table.find(" b3           5     2.22%   100.00%    -"), std::string::npos) << table;
    EXPECT_NE(table.find("corrupted book file\n"), std::string::npos);
    EXPECT_EQ(table.find("d4"), std::string::npos);
    EXPECT_EQ(table.find("c4 "), std::string::npos);
    EXPECT_EQ(table.find("g3"), std::string::npos);
    EXPECT_NE(table.find("Book: cache "), std::string::npos);
    // Rows come by falling weight, with the chosen one starred.
    EXPECT_LT(table.find(" e4 "), table.find(" a3 "));
    EXPECT_LT(table.find(" h3 "), table.find(" b3 "));
    std::string chosen = format_move_san(pos, m);
    EXPECT_NE(table.find("* " + chosen), std::string::npos) << chosen;

    // Over many draws the moves come in proportion to their weights.
    std::map<std::string, int> seen;
    const int draws = book_tests_sanitized() ? 300 : 2000;
    output_enabled = 0;
    for (int i = 0; i < draws; i++)
        seen[format_move_san(pos, choose_book_move(pos))]++;
    EXPECT_EQ(seen.count("g3") + seen.count("d4") + seen.count("c4"), 0u);
    EXPECT_NEAR(seen["e4"] / double(draws), 19.0 / 45, 0.06);
    EXPECT_NEAR(seen["a3"] / double(draws), 10.0 / 45, 0.06);
    EXPECT_GT(seen["b3"], 0);
}

TEST_F(BookLookup, PositionsThatRepeatWeighNothing)
{
    ScratchDir dir;
    // The only book move, Ng1, returns to a position the game already had.
    play("Nf3");
    play("Nf6");
    play("Ng1");
    play("Ng8");
    play("Nf3");
    play("Nf6");
    ASSERT_EQ(open_entries({{key_after({"Nf3", "Nf6", "Ng1"}), 50, 50, 0, 0, 50000, 0}}), 0);
    CaptureStdout();
    EXPECT_EQ(choose_book_move(pos), 0);
    std::string text = GetCapturedStdout();
    EXPECT_EQ(text.find("Move"), std::string::npos);
    EXPECT_NE(text.find("Book: cache"), std::string::npos);
}

TEST_F(BookLookup, LearningWritesBackIntoTheFile)
{
    ScratchDir dir;
    const uint64_t e4 = key_after({"e4"}), e5 = key_after({"e4", "e5"}),
                   nf3 = key_after({"e4", "e5", "Nf3"}), nc6 = key_after({"e4", "e5", "Nf3", "Nc6"});
    ASSERT_EQ(open_entries({{e4, 4, 2, 1, 1, 50000, BOOK_MARK_GOOD},
                            {e5, 4, 2, 1, 1, 50000, 0},
                            {nf3, 4, 2, 1, 1, 195000, 0},
                            {nc6, 4, 2, 1, 1, 50000, 0}}),
              0);
    for (const char* san : {"e4", "e5", "Nf3", "Nc6", "Bb5"})
        play(san);
    const uint64_t final_key = *pos->key_top;
    pos->engine_side = WHITE;
    pos->game->result = RESULT_WHITE_WON;
    CaptureStdout();
    learn_from_result(pos);
    std::string text = GetCapturedStdout();
    EXPECT_NE(text.find("Learning: e4! (1.00==>1.10) e5 Nf3! (3.90==>4.00) Nc6\n"), std::string::npos)
        << text;
    EXPECT_EQ(*pos->key_top, final_key);
    RawBook book;
    ASSERT_TRUE(read_raw_book("t.bok", &book));
    for (const RawEntry& e : book.entries) {
        if (e.key == e4) {
            EXPECT_EQ(e.learn, 55000u);
            EXPECT_EQ(e.flags, BOOK_MARK_GOOD | BOOK_LAST_WON);
        }
        if (e.key == nf3) {
            EXPECT_EQ(e.learn, 200000u);
            EXPECT_EQ(e.flags, BOOK_LAST_WON);
        }
        if (e.key == e5 || e.key == nc6) {
            EXPECT_EQ(e.learn, 50000u);
            EXPECT_EQ(e.flags, 0u);
        }
    }

    // A loss as Black touches Black's moves only; the result bits are replaced.
    pos->engine_side = BLACK;
    pos->game->result = RESULT_WHITE_WON;
    CaptureStdout();
    learn_from_result(pos);
    GetCapturedStdout();
    ASSERT_TRUE(read_raw_book("t.bok", &book));
    for (const RawEntry& e : book.entries) {
        if (e.key == e5 || e.key == nc6) {
            EXPECT_EQ(e.learn, 45000u);
            EXPECT_EQ(e.flags, BOOK_LAST_LOST);
        }
        if (e.key == e4) {
            EXPECT_EQ(e.learn, 55000u);
        }
    }

    // Rating gaps beyond 150 and draws learn nothing.
    pos->game->own_rating = 1651;
    pos->game->opponent_rating = 1500;
    pos->game->result = RESULT_BLACK_WON;
    CaptureStdout();
    learn_from_result(pos);
    EXPECT_NE(GetCapturedStdout().find("Ignore learning weak opponent"), std::string::npos);
    pos->game->result = RESULT_DRAW;
    CaptureStdout();
    learn_from_result(pos);
    EXPECT_NE(GetCapturedStdout().find("Ignoring draw"), std::string::npos);
    RawBook after;
    ASSERT_TRUE(read_raw_book("t.bok", &after));
    for (size_t i = 0; i < book.entries.size(); i++)
        EXPECT_EQ(after.entries[i].learn, book.entries[i].learn);
}

TEST_F(BookLookup, LearningStopsAfterThreeMissesAndClampsAtTheFloor)
{
    ScratchDir dir;
    // White's first move is in the book, the next three miss it, and the
    // fifth would be found but comes after the third miss.
    const std::vector<const char*> game = {"a3", "a6", "b3", "b6", "c3", "c6", "d3", "d6", "e3"};
    const uint64_t late = key_after(game);
    const uint64_t first = key_after({"a3"});
    ASSERT_EQ(open_entries({{late, 3, 3, 0, 0, 50000, 0}, {first, 3, 3, 0, 0, 13000, 0}}), 0);
    for (const char* san : game)
        play(san);
    pos->engine_side = WHITE;
    pos->game->result = RESULT_BLACK_WON;
    CaptureStdout();
    learn_from_result(pos);
    std::string text = GetCapturedStdout();
    EXPECT_NE(text.find("Learning: a3? (0.26==>0.25) a6 b6 c6\n"), std::string::npos) << text;
    RawBook book;
    ASSERT_TRUE(read_raw_book("t.bok", &book));
    for (const RawEntry& e : book.entries)
        EXPECT_EQ(e.learn, e.key == first ? 12500u : 50000u);

    // A read-only book is used but not trained.
    chmod("t.bok", 0444);
    if (geteuid() != 0) {
        CaptureStdout();
        ASSERT_EQ(open_book("t.bok"), 0);
        EXPECT_NE(GetCapturedStdout().find("Book open in read only mode"), std::string::npos);
        CaptureStdout();
        learn_from_result(pos);
        EXPECT_EQ(GetCapturedStdout(), "Book learning disabled\n");
    }
}

}  // namespace
