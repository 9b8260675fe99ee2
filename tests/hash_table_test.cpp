// Transposition table: slot choice, age counters, mate-score conversion,
// the kept move, probe results, the fill figure and the principal-variation
// helpers.
#include <gtest/gtest.h>

#include "frontend/config.h"
#include "frontend/uci.h"
#include "frontend/uci_options.h"
#include "tests/board_support.h"

namespace {

constexpr int TABLE_ENTRIES = 16; // 8 buckets
constexpr u64 BUCKET_MASK = TABLE_ENTRIES / 2 - 1;

struct TableFixture : EvalTest {
    void SetUp() override
    {
        EvalTest::SetUp();
        load("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
        resize_hash(TABLE_ENTRIES);
        hash_age = 1;
        std::memset(pos->threat, 0, sizeof pos->threat);
        std::memset(pos->hash_move, 0, sizeof pos->hash_move);
    }
    void TearDown() override
    {
        resize_hash(TABLE_ENTRIES);
        hash_age = 1;
    }

    // Keys are planted directly: only the key and the bucket matter here.
    void use_key(u64 key) { *pos->key_top = key; }
    static u64 key_in_bucket(int bucket, u64 tag) { return (tag << 32) | (tag << 8) | u64(bucket); }
    static HashEntry& slot(u64 key_or_bucket, int s)
    {
        return hash_table[key_or_bucket & BUCKET_MASK].slot[s];
    }

    int probe(int depth, int ply, int alpha, int beta, int* out = nullptr)
    {
        int a = alpha, b = beta;
        int r = probe_hash(pos, depth, ply, &a, &b);
        if (out)
            *out = a;
        return r;
    }
};

TEST_F(TableFixture, EmptyTableProbeClearsPlySlots)
{
    use_key(key_in_bucket(3, 0x11));
    pos->hash_move[5] = 1234;
    pos->threat[5] = 1;
    EXPECT_EQ(probe(24, 5, -100, 100), HASH_NO_CUTOFF);
    EXPECT_EQ(pos->hash_move[5], 0);
    EXPECT_EQ(pos->threat[5], 0);
    EXPECT_EQ(hash_probes, 1);
    EXPECT_EQ(hash_hits, 0);
}

// Mate scores are stored relative to the storing node and converted back at
// the probing ply: only exact ones, beyond 30000 on a store, from 30000 on
// a probe.
TEST_F(TableFixture, MateScoresAreStoredRelativeToTheStoringNode)
{
    const struct {
        int score, bound, stored, probe_ply, probed;
    } cases[] = {
        {32762, HASH_EXACT, 32765, 1, 32764},
        {-32762, HASH_EXACT, -32765, 1, -32764},
        {32762, HASH_LOWER, 32762, -1, 0},
        {30000, HASH_EXACT, 30000, 2, 29998},
    };
    int bucket = 0;
    for (const auto& c : cases) {
        const u64 key = key_in_bucket(bucket++, 0x21);
        use_key(key);
        store_hash(pos, 0, 40, 3, c.score, c.bound);
        EXPECT_EQ(slot(key, 0).score, c.stored) << c.score;
        int score = 0;
        if (c.probe_ply < 0)
            continue;
        EXPECT_EQ(probe(40, c.probe_ply, -32767, 32767, &score), HASH_CUTOFF);
        EXPECT_EQ(score, c.probed) << c.score;
    }
}

TEST_F(TableFixture, MoveZeroKeepsTheStoredMoveOfTheSameKeyOnly)
{
    u64 a = key_in_bucket(4, 0x31), b = key_in_bucket(4, 0x32);
    use_key(a);
    store_hash(pos, 0x1111, 24, 0, 10, HASH_LOWER);
    store_hash(pos, 0, 36, 0, 20, HASH_LOWER);
    EXPECT_EQ(slot(a, 0).move, 0x1111u);
    EXPECT_EQ(entry_depth(slot(a, 0)), 36);

    use_key(b);
    store_hash(pos, 0, 48, 0, 5, HASH_UPPER);
    EXPECT_EQ(slot(b, 0).key_low, uint32_t(b));
    EXPECT_EQ(slot(b, 0).move, 0u);
    EXPECT_EQ(slot(b, 1).key_low, uint32_t(a)); // pushed down whole
    EXPECT_EQ(slot(b, 1).move, 0x1111u);
}

TEST_F(TableFixture, SlotChoiceFollowsDepthAndAge)
{
    const struct {
        int age, tag, depth, slot0, slot1; // stores into one bucket, then its two slots
    } steps[] = {
        {1, 0x41, 60, 0x41, 0},
        {1, 0x42, 24, 0x41, 0x42}, // slot 0 is deeper and current: slot 1
        {1, 0x43, 12, 0x41, 0x43}, // slot 1 is never searched on a store
        {1, 0x42, 60, 0x42, 0x41}, // an equally deep store moves slot 0 down
        {2, 0x43, 0, 0x43, 0x42},  // so does a deeper slot 0 of an older search
    };
    for (const auto& s : steps) {
        hash_age = s.age;
        use_key(key_in_bucket(5, s.tag));
        store_hash(pos, 1, s.depth, 0, 0, HASH_EXACT);
        EXPECT_EQ(slot(5, 0).key_low, uint32_t(key_in_bucket(5, s.slot0))) << s.tag;
        EXPECT_EQ(slot(5, 1).key_low, s.slot1 ? uint32_t(key_in_bucket(5, s.slot1)) : 0u) << s.tag;
    }
    EXPECT_EQ(entry_age(slot(5, 0)), 2);
    EXPECT_EQ(entry_age(slot(5, 1)), 1);
}

TEST_F(TableFixture, AgeCountsFollowEveryReplacement)
{
    // Recount the table by hand after a mixed series of stores.
    uint64_t seed = 12345;
    for (int i = 0; i < 400; i++) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        if (i % 50 == 0)
            hash_age = hash_age >= 7 ? 1 : hash_age + 1;
        use_key(key_in_bucket(int(seed >> 60) & 7, 1 + ((seed >> 33) & 0x3)));
        store_hash(pos, int(seed >> 40) & 0xFFF, int(seed >> 20) & 127, 0, 0,
                   1 + int(seed >> 50) % 3);
    }
    int counted[8] = {};
    for (int b = 0; b < hash_bucket_count; b++)
        for (const HashEntry& e : hash_table[b].slot)
            if (e.key_low != 0 || e.key_high != 0)
                counted[entry_age(e)]++;
    for (int age = 1; age <= 7; age++)
        EXPECT_EQ(hash_age_count[age], counted[age]) << "age " << age;
    int fill = get_hash_fill_permille();
    EXPECT_EQ(fill, int(double(counted[hash_age]) / TABLE_ENTRIES * 1000.0));
}

TEST_F(TableFixture, FillStaysInRangeAfterStatisticsReset)
{
    auto fill_buckets = [&](int tag) {
        for (int b = 0; b < 8; b++) {
            use_key(key_in_bucket(b, tag));
            store_hash(pos, 0, 12, 0, 0, HASH_EXACT);
        }
    };
    fill_buckets(0x51);
    fill_buckets(0x52);
    EXPECT_EQ(get_hash_fill_permille(), 1000);
    // A new search of the same age number overwrites entries it never counted.
    clear_hash_stats();
    fill_buckets(0x53);
    const int fill = get_hash_fill_permille();
    EXPECT_TRUE(fill >= 0 && fill <= 1000) << fill;
}

TEST_F(TableFixture, ProbeResultsByBoundAndDepth)
{
    const struct {
        int stored_depth, bound, stored_score;
        int depth, alpha, beta;
        int result, alpha_after;
    } cases[] = {
        // deep enough: cut-offs by bound
        {48, HASH_EXACT, 17, 48, -100, 100, HASH_CUTOFF, 17},
        {48, HASH_LOWER, 150, 48, -100, 100, HASH_CUTOFF, 150},
        {48, HASH_LOWER, 50, 48, -100, 100, HASH_NO_CUTOFF, -100},
        {48, HASH_UPPER, -150, 48, -100, 100, HASH_CUTOFF, -150},
        {48, HASH_UPPER, 50, 48, -100, 100, HASH_NULL_FAILS, -100},
        {48, HASH_UPPER, 150, 48, -100, 100, HASH_NO_CUTOFF, -100},
        {48, 0, 0, 48, -100, 100, HASH_NO_CUTOFF, -100},
        // too shallow: null-move hint only; R = 24 up to depth 72
        {36, HASH_UPPER, 0, 72, -100, 100, HASH_NULL_FAILS, -100},
        {35, HASH_UPPER, 0, 72, -100, 100, HASH_NO_CUTOFF, -100},
        {36, HASH_EXACT, 0, 72, -100, 100, HASH_NULL_FAILS, -100},
        {36, HASH_LOWER, 0, 72, -100, 100, HASH_NO_CUTOFF, -100},
        // R = 36 above depth 72: d >= depth - 48
        {36, HASH_UPPER, 0, 84, -100, 100, HASH_NULL_FAILS, -100},
        {35, HASH_UPPER, 0, 84, -100, 100, HASH_NO_CUTOFF, -100},
        {36, HASH_UPPER, 100, 84, -100, 100, HASH_NO_CUTOFF, -100},
        // the move-only entry of the principal variation never cuts
        {0, HASH_LOWER, -32766, 0, -32767, -32000, HASH_NO_CUTOFF, -32767},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n++);
        resize_hash(TABLE_ENTRIES);
        u64 key = key_in_bucket(6, 0x61);
        use_key(key);
        store_hash(pos, 0x4242, c.stored_depth, 0, c.stored_score, c.bound);
        pos->hash_move[7] = 0;
        int alpha = 0;
        EXPECT_EQ(probe(c.depth, 7, c.alpha, c.beta, &alpha), c.result);
        EXPECT_EQ(alpha, c.alpha_after);
        EXPECT_EQ(pos->hash_move[7], 0x4242);
        EXPECT_EQ(hash_hits, c.stored_depth >= c.depth ? 1 : 0);
    }
}

TEST_F(TableFixture, DepthAndScoreAreClampedToTheirFields)
{
    u64 a = key_in_bucket(1, 0x81), b = key_in_bucket(2, 0x82), c = key_in_bucket(3, 0x83);
    use_key(a);
    pos->threat[4] = 1;
    hash_age = 5;
    store_hash(pos, 1, 5000, 4, 40000, HASH_LOWER);
    EXPECT_EQ(entry_threat(slot(a, 0)), 1);
    EXPECT_EQ(entry_bound(slot(a, 0)), HASH_LOWER);
    EXPECT_EQ(entry_depth(slot(a, 0)), HASH_MAX_DEPTH);
    EXPECT_EQ(entry_age(slot(a, 0)), 5);
    EXPECT_EQ(slot(a, 0).score, 32767);
    // The threat flag travels with the entry to the probing ply.
    pos->threat[6] = 0;
    probe(12, 6, -10, 10);
    EXPECT_EQ(pos->threat[6], 1);
    use_key(b);
    store_hash(pos, 1, -7, 0, -40000, HASH_UPPER);
    EXPECT_EQ(entry_depth(slot(b, 0)), 0);
    EXPECT_EQ(slot(b, 0).score, -32767);
    // A mate score pushed past the field by the ply conversion stays a mate.
    use_key(c);
    store_hash(pos, 1, 12, 20, 32760, HASH_EXACT);
    EXPECT_EQ(slot(c, 0).score, 32767);
    // A window wider than the score range still compares correctly.
    int score = 0;
    EXPECT_EQ(probe(12, 0, -40000, 40000, &score), HASH_CUTOFF);
    EXPECT_EQ(score, 32767);
}

TEST_F(TableFixture, NoTableMeansNoIndexing)
{
    free_hash();
    int saved_entries = hash_entry_count, saved_buckets = hash_bucket_count;
    use_key(0xDEADBEEFULL);
    store_hash(pos, 5, 12, 0, 0, HASH_EXACT);
    EXPECT_EQ(probe(12, 0, -10, 10), HASH_NO_CUTOFF);
    clear_hash();
    EXPECT_EQ(get_hash_fill_permille() >= 0, true);
    hash_entry_count = saved_entries;
    hash_bucket_count = saved_buckets;
    // A request for fewer than one bucket still gets one; an odd count is
    // cleared within what was allocated.
    resize_hash(0);
    EXPECT_EQ(hash_bucket_count, 1);
    store_hash(pos, 5, 12, 0, 0, HASH_EXACT);
    EXPECT_EQ(probe(12, 0, -10, 10), HASH_CUTOFF);
    resize_hash(3);
    EXPECT_EQ(hash_bucket_count, 1);
    store_hash(pos, 5, 12, 0, 0, HASH_EXACT);
    clear_hash();
    EXPECT_EQ(probe(12, 0, -10, 10), HASH_NO_CUTOFF);
    // A ply past the per-ply slots is looked up without touching them.
    store_hash(pos, 5, 12, MAX_PLY + 3, 0, HASH_EXACT);
    EXPECT_EQ(probe(12, MAX_PLY, -10, 10), HASH_CUTOFF);
}

TEST_F(TableFixture, UsageLines)
{
    for (int b = 0; b < 4; b++) {
        use_key(key_in_bucket(b, 0xA1));
        store_hash(pos, 0, 12, 0, 0, HASH_EXACT);
    }
    use_key(key_in_bucket(0, 0xA2));
    store_hash(pos, 0, 12, 0, 0, HASH_EXACT); // moves slot 0 of bucket 0 down
    probe(12, 0, 0, 0);
    auto usage = [] {
        protocol_mode = 0; // console
        ::testing::internal::CaptureStdout();
        show_hash_usage = 1;
        print_hash_usage();
        show_hash_usage = 0;
        return ::testing::internal::GetCapturedStdout();
    };
    // 4 of 8 slot-0 entries, 1 of 8 slot-1 entries; 5 of 16 entries filled.
    EXPECT_EQ(usage(), "Hash usage: used1 50.00%, used2 12.50%\nHash: 256, used 31%, hits 100%\n");
    resize_hash(TABLE_ENTRIES);
    EXPECT_EQ(get_hash_fill_permille(), 0);
    EXPECT_EQ(usage(), "Hash usage: used1 0.00%, used2 0.00%\nHash: 256, used 0%, hits  0%\n");
}

// The principal-variation helpers work on a real position.
TEST_F(TableFixture, StorePvReplacesADeepEntryWithAnotherMove)
{
    load(START_POSITION_FEN);
    resize_hash(1 << 12);
    const Move e4 = parse_move(pos, "e2e4"), d4 = parse_move(pos, "d2d4");
    make_move(pos, e4);
    const Move e5 = parse_move(pos, "e7e5");
    unmake_move(pos, e4);
    store_hash(pos, d4, 200, 0, 55, HASH_EXACT);
    pos->pv[0][0] = e4;
    pos->pv[0][1] = e5;
    pos->pv_length[0] = 2;
    const u64 before = *pos->key_top;
    store_pv_in_hash(pos);
    EXPECT_EQ(*pos->key_top, before);
    const HashEntry& e = hash_table[uint32_t(before) & uint32_t(hash_bucket_count - 1)].slot[0];
    EXPECT_EQ(e.key_low, uint32_t(before));
    EXPECT_EQ(int(e.move), e4);
    EXPECT_EQ(entry_depth(e), 0);
    EXPECT_EQ(entry_bound(e), HASH_LOWER);
    EXPECT_EQ(e.score, -32766);
    // The stored line comes back through the hash: a one-move line grows.
    pos->pv_length[0] = 1;
    pos->pv[0][1] = 0;
    extend_pv_from_hash(pos);
    EXPECT_EQ(pos->pv_length[0], 2);
    EXPECT_EQ(pos->pv[0][1], e5);
    EXPECT_EQ(*pos->key_top, before);
}

TEST_F(TableFixture, ExtensionSkipsAHashMoveThatLeavesTheKingInCheck)
{
    load("4k3/8/8/8/8/8/4r3/4K3 b - - 0 1");
    const u64 start_key = *pos->key_top;
    resize_hash(1 << 12);
    const Move kf8 = parse_move(pos, "e8f8");
    pos->pv[0][0] = kf8;
    pos->pv_length[0] = 1;
    // Kd2 passes the board's validity test but walks into the rook; the
    // legal capture in the same place is appended.
    const Move kd2 = make_move_code(SQ_E1, 11, W_KING, 0, 0),
               kxe2 = make_move_code(SQ_E1, 12, W_KING, B_ROOK, 0);
    for (Move reply : {kd2, kxe2}) {
        make_move(pos, kf8);
        ASSERT_TRUE(is_move_valid(pos, reply));
        store_hash(pos, reply, 12, 0, 0, HASH_LOWER);
        unmake_move(pos, kf8);
        extend_pv_from_hash(pos);
        EXPECT_EQ(*pos->key_top, start_key);
        EXPECT_EQ(pos->pv_length[0], reply == kd2 ? 1 : 2);
    }
    EXPECT_EQ(pos->pv[0][1], kxe2);
}

// Small tables are cleared in place, large ones swapped for fresh pages; a
// clear after a clear that found nothing stored must still clear.
TEST_F(TableFixture, ClearEmptiesTablesOfEverySize)
{
    for (int entries : {TABLE_ENTRIES, 1 << 22}) {
        SCOPED_TRACE(entries);
        resize_hash(entries);
        use_key(0x123456789ULL);
        EXPECT_EQ(probe(12, 0, -10, 10), HASH_NO_CUTOFF);
        for (int round = 0; round < 2; round++) {
            store_hash(pos, 5, 12, 0, 0, HASH_EXACT);
            EXPECT_EQ(probe(12, 0, -10, 10), HASH_CUTOFF);
            clear_hash();
            clear_hash();
            EXPECT_EQ(probe(12, 0, -10, 10), HASH_NO_CUTOFF);
        }
    }
}

// Interfaces repeat the Hash option before every game: the size in use keeps
// the table and what it holds; another size starts afresh.
TEST_F(TableFixture, HashOptionOfTheSizeInUseKeepsTheTable)
{
    const int saved_total = hash_total_bytes;
    const char* same[] = {"setoption", "name", "Hash", "value", "1"};
    const char* other[] = {"setoption", "name", "Hash", "value", "2"};
    uci_command_setoption(pos, 5, other);
    uci_command_setoption(pos, 5, same);
    use_key(0xABCDEF12345ULL);
    store_hash(pos, 5, 12, 0, 0, HASH_EXACT);
    const HashBucket* table = hash_table;
    uci_command_setoption(pos, 5, same);
    EXPECT_EQ(hash_table, table);
    EXPECT_EQ(probe(12, 0, -10, 10), HASH_CUTOFF);
    uci_command_setoption(pos, 5, other);
    EXPECT_EQ(probe(12, 0, -10, 10), HASH_NO_CUTOFF);
    hash_total_bytes = saved_total;
}

} // namespace
