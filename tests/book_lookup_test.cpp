// Opening and looking up hand-made books, the weighted choice and its table,
// learning written back into the file, and broken files that must leave the
// engine without a book instead of crashing it.
#include <algorithm>
#include <map>
#include <random>
#include <sys/stat.h>

#include "book_support.h"
#include "tools/helpers/engine_process.h"

namespace {

// Runs f with standard output captured into *text; returns f's value.
template <class F>
auto quiet(F f, std::string* text = nullptr)
{
    testing::internal::CaptureStdout();
    const auto r = f();
    const std::string out = testing::internal::GetCapturedStdout();
    if (text)
        *text = out;
    return r;
}

// Each entry's key -> {learn, flags}, as the file holds them.
using LearnState = std::map<uint64_t, std::pair<uint32_t, uint32_t>>;
LearnState learn_state()
{
    RawBook book;
    EXPECT_TRUE(read_raw_book("t.bok", &book));
    LearnState out;
    for (const RawEntry& e : book.entries)
        out[e.key] = {e.learn, e.flags};
    return out;
}

struct BookLookup : BookTest {
    BookLookup() { output_enabled = 1, protocol_mode = 0, setup_new_game(pos); }
    ~BookLookup() override
    {
        destroy_position(pos);
        if (book_file)
            fclose(book_file);
        book_file = nullptr, book_enabled = 1, book_read_only = 0;
    }
    // Opens the book file "t.bok" made of these entries (sorted here), silently.
    int open_entries(std::vector<RawEntry> entries)
    {
        std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.key < b.key; });
        write_file("t.bok", raw_book_bytes(entries));
        return quiet([] { return open_book("t.bok"); }, &opened_text);
    }
    void play(const std::vector<const char*>& moves)
    {
        for (const char* san : moves) {
            Move m = parse_move(pos, san);
            ASSERT_NE(m, 0) << san;
            push_game_move(pos, m);
        }
    }
    std::string learn(int side, int result)
    {
        pos->engine_side = side, pos->game->result = result;
        testing::internal::CaptureStdout();
        learn_from_result(pos);
        return testing::internal::GetCapturedStdout();
    }
    Position* pos = create_position();
    std::string opened_text;
};

TEST_F(BookLookup, FindsEveryKeyAndNothingElse)
{
    auto find = [this](uint64_t key, int end) {
        return *pos->key_top = key, find_book_entry(pos, 0, end);
    };
    // Up to 512 entries: one linear scan; beyond: the binary search and its cache.
    for (int size : {0, 1, 512, 513, 5000, 9999}) {
        SCOPED_TRACE(size);
        std::mt19937_64 rng(size);
        std::set<uint64_t> keys;
        while (int(keys.size()) < size)
            keys.insert(rng() | 2); // never 0 and never the probe keys below
        std::vector<RawEntry> entries;
        for (uint64_t k : keys)
            entries.push_back({k, 1, 1});
        ASSERT_EQ(open_entries(entries), 0) << opened_text;
        const uint32_t probes = book_cache_probes;
        for (int i = 0; i < size; i += 1 + size / 300)
            ASSERT_EQ(find(entries[i].key, size), i);
        EXPECT_EQ(book_cache_probes == probes, size <= 512);
        for (uint64_t missing : {uint64_t(0), uint64_t(1), ~uint64_t(0) - 1})
            EXPECT_EQ(find(missing, size), -1);
        // A count beyond the file (a stale header) must not read past its end.
        EXPECT_EQ(find(5, size + 100000), -1);
        if (size > 512) { // a repeated lookup is answered by the cache alone
            find(entries[size / 3].key, size);
            const uint32_t probes_then = book_cache_probes, hits_then = book_cache_hits;
            EXPECT_EQ(find(entries[size / 3].key, size), size / 3);
            EXPECT_EQ(book_cache_hits - hits_then, book_cache_probes - probes_then);
            EXPECT_GT(book_cache_probes, probes_then);
        }
    }
}

TEST_F(BookLookup, BrokenFilesLeaveNoBook)
{
    const std::string good = raw_book_bytes({{key_after({"e4"}), 9, 9}});
    const char* const invalid = "Invalid book file: b.bok";
    const struct {
        const char *what, *name; // the bytes go to b.bok
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty", "b.bok", "", invalid},
        {"half header", "b.bok", good.substr(0, 40), invalid},
        {"truncated entries", "b.bok", good.substr(0, 68 + 20), invalid},
        {"count too large", "b.bok", raw_book_bytes({{7}}, "0.3", 1000), invalid},
        {"negative count", "b.bok", raw_book_bytes({{7}}, "0.3", -4), invalid},
        {"other version", "b.bok", raw_book_bytes({{7}}, "0.2"),
         "Fatal: cannot use book version 0.2"},
        {"version, tail", "b.bok", raw_book_bytes({{7}}, "0.3x"),
         "Fatal: cannot use book version 0.3x"},
        {"absent", "absent.bok", good, "Cannot open opening book: absent.bok: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write_file("b.bok", c.bytes);
        book_enabled = 1;
        std::string text;
        EXPECT_EQ(quiet([&] { return open_book(c.name); }, &text), -1);
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_EQ(book_enabled, 0);
        EXPECT_EQ(book_file, nullptr);
        EXPECT_EQ(choose_book_move(pos), 0);
    }
    std::string text;
    EXPECT_EQ(quiet([] { return open_book(""); }, &text), -1);
    EXPECT_EQ(text, "Opening book disabled");
    // Trailing bytes beyond the entries do not spoil a book.
    write_file("b.bok", good + "xyz");
    EXPECT_EQ(quiet([] { return open_book("b.bok"); }), 0);
    EXPECT_EQ(quiet([&] { return choose_book_move(pos); }), parse_move(pos, "e4"));
}

TEST_F(BookLookup, ChoiceWeighsRecordsMarksAndLearning)
{
    ASSERT_EQ(open_entries({
                  {key_after({"e4"}), 10, 10, 0, 0, 50000, 0}, // 2*10 -> 19
                  {key_after({"d4"}), 30, 0, 30, 0, 50000, 0}, // no own wins -> 0
                  {key_after({"c4"}), 1, 0, 0, 1, 50000, 0},   // base 1 -> 0
                  {key_after({"Nf3"}), 5, 5, 0, 0, 55000, BOOK_MARK_GOOD | BOOK_MARK_DUBIOUS},
                  {key_after({"g3"}), 99, 99, 0, 0, 200000, BOOK_MARK_BAD},
                  {key_after({"b3"}), 5, 5, 0, 0, 50000, BOOK_LAST_LOST}, // 9 / 8 -> 1
                  {key_after({"a3"}), 3, 3, 0, 0, 50000, BOOK_LAST_WON},  // 5 * 2 -> 10
                  {key_after({"h3"}), 3, 3, 0, 0, 50000, 7},              // corrupted flags: 5
              }),
              0);
    std::string table;
    const Move m = quiet([&] { return choose_book_move(pos); }, &table);
    // Total 19 + 10 (Nf3: 10 * 2 / 2) + 1 + 10 + 5 = 45.
    for (const char* row :
         {" e4          10    42.22%   100.00%        1.00  100.00%    0.00%    0.00\n",
          " Nf3?         5    22.22%", " a3           3    22.22%   100.00%    +",
          " b3           5     2.22%   100.00%    -", "corrupted book file\n", "Book: cache "})
        EXPECT_NE(table.find(row), std::string::npos) << row << "\n" << table;
    for (const char* absent : {"d4", "c4 ", "g3"})
        EXPECT_EQ(table.find(absent), std::string::npos) << absent;
    // Rows come by falling weight, with the chosen one starred.
    EXPECT_LT(table.find(" e4 "), table.find(" a3 "));
    EXPECT_LT(table.find(" h3 "), table.find(" b3 "));
    EXPECT_NE(table.find(std::string("* ") + format_move_san(pos, m)), std::string::npos) << table;

    // Over many draws the moves come in proportion to their weights.
    std::map<std::string, int> seen;
    // Each choice skips a number of draws set by the clock, so the count is
    // random: 2000 draws put the margin more than five standard deviations
    // out (300 put it two out, and failed now and then).
    const int draws = 2000;
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
    // The only book move, Ng1, returns to a position the game already had.
    play({"Nf3", "Nf6", "Ng1", "Ng8", "Nf3", "Nf6"});
    ASSERT_EQ(open_entries({{key_after({"Nf3", "Nf6", "Ng1"}), 50, 50}}), 0);
    std::string text;
    EXPECT_EQ(quiet([&] { return choose_book_move(pos); }, &text), 0);
    EXPECT_EQ(text.find("Move"), std::string::npos);
    EXPECT_NE(text.find("Book: cache"), std::string::npos);
}

TEST_F(BookLookup, LearningWritesBackIntoTheFile)
{
    const uint64_t e4 = key_after({"e4"}), e5 = key_after({"e4", "e5"}),
                   nf3 = key_after({"e4", "e5", "Nf3"}),
                   nc6 = key_after({"e4", "e5", "Nf3", "Nc6"});
    ASSERT_EQ(open_entries({{e4, 4, 2, 1, 1, 50000, BOOK_MARK_GOOD},
                            {e5, 4, 2, 1, 1, 50000, 0},
                            {nf3, 4, 2, 1, 1, 195000, 0},
                            {nc6, 4, 2, 1, 1, 50000, 0}}),
              0);
    play({"e4", "e5", "Nf3", "Nc6", "Bb5"});
    const uint64_t final_key = *pos->key_top;
    EXPECT_EQ(learn(WHITE, RESULT_WHITE_WON),
              "Learning from result\nLearning: e4! (1.00==>1.10) e5 Nf3! (3.90==>4.00) Nc6\n");
    EXPECT_EQ(*pos->key_top, final_key);
    EXPECT_EQ(learn_state(), (LearnState{{e4, {55000, BOOK_MARK_GOOD | BOOK_LAST_WON}},
                                         {e5, {50000, 0}},
                                         {nf3, {200000, BOOK_LAST_WON}},
                                         {nc6, {50000, 0}}}));
    // A loss as Black touches Black's moves only; the result bits are replaced.
    learn(BLACK, RESULT_WHITE_WON);
    const LearnState after_loss = {{e4, {55000, BOOK_MARK_GOOD | BOOK_LAST_WON}},
                                   {e5, {45000, BOOK_LAST_LOST}},
                                   {nf3, {200000, BOOK_LAST_WON}},
                                   {nc6, {45000, BOOK_LAST_LOST}}};
    EXPECT_EQ(learn_state(), after_loss);
    // Rating gaps beyond 150 and draws learn nothing.
    pos->game->own_rating = 1651;
    pos->game->opponent_rating = 1500;
    EXPECT_NE(learn(BLACK, RESULT_BLACK_WON).find("Ignore learning weak opponent"),
              std::string::npos);
    EXPECT_NE(learn(BLACK, RESULT_DRAW).find("Ignoring draw"), std::string::npos);
    EXPECT_EQ(learn_state(), after_loss);
}

TEST_F(BookLookup, LearningStopsAfterThreeMissesAndClampsAtTheFloor)
{
    // White's first move is in the book, the next three miss it, and the
    // fifth would be found but comes after the third miss.
    const std::vector<const char*> game = {"a3", "a6", "b3", "b6", "c3", "c6", "d3", "d6", "e3"};
    const uint64_t late = key_after(game), first = key_after({"a3"});
    ASSERT_EQ(open_entries({{late, 3, 3, 0, 0, 50000, 0}, {first, 3, 3, 0, 0, 13000, 0}}), 0);
    play(game);
    EXPECT_EQ(learn(WHITE, RESULT_BLACK_WON),
              "Learning from result\nLearning: a3? (0.26==>0.25) a6 b6 c6\n");
    EXPECT_EQ(learn_state(), (LearnState{{late, {50000, 0}}, {first, {12500, BOOK_LAST_LOST}}}));
    // A read-only book is used but not trained.
    chmod("t.bok", 0444);
    if (geteuid() != 0) {
        ASSERT_EQ(quiet([] { return open_book("t.bok"); }, &opened_text), 0);
        EXPECT_NE(opened_text.find("Book open in read only mode"), std::string::npos)
            << opened_text;
        EXPECT_EQ(learn(WHITE, RESULT_BLACK_WON), "Book learning disabled\n");
    }
}

} // namespace
