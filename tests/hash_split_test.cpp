// The hash budget split, its limits, the pawn hash's addressing and keys.
#include <gtest/gtest.h>

#include "tests/board_support.h"

namespace {

std::string split_output(int64_t total)
{
    protocol_mode = 0; // console
    ::testing::internal::CaptureStdout();
    set_hash_sizes(total);
    return ::testing::internal::GetCapturedStdout();
}

// The split sets the entry counts only; the tables allocated with the
// earlier counts stay, so the counts are put back for later tests.
struct HashSplit : ::testing::Test {
    int saved[3] = {hash_entry_count, pawn_hash_count, eval_cache_count};
    void TearDown() override
    {
        hash_entry_count = saved[0];
        pawn_hash_count = saved[1];
        eval_cache_count = saved[2];
    }
};

TEST_F(HashSplit, BudgetsSplitThreeWays)
{
    const int64_t M = 1048576;
    const struct {
        int64_t total;
        int main_entries, pawn_entries, cache_entries;
        const char* line;
    } splits[] = {
        {1 * M, 32768, 8192, 16384, "Total hash size 1M\n"},
        {16 * M, 524288, 131072, 262144, "Total hash size 16M\n"},
        {32 * M, 1048576, 262144, 524288, "Total hash size 32M\n"},
        {64 * M, 2097152, 524288, 1048576, "Total hash size 64M\n"},
        {128 * M, 4194304, 1048576, 2097152, "Total hash size 128M\n"},
        {2047 * M, 67108864, 16777216, 33554432, "Total hash size 2047M\n"},
        // Not a power of two: each table still takes a power of two.
        {3 * M + 1, 131072, 16384, 32768, "Total hash size 3M\n"},
    };
    for (const auto& s : splits) {
        // The arithmetic alone: the largest budget touches no memory.
        const ::HashSplit split = hash_split(s.total);
        EXPECT_EQ(split.main_count, s.main_entries) << s.total;
        EXPECT_EQ(split.pawn_count, s.pawn_entries) << s.total;
        EXPECT_EQ(split.eval_count, s.cache_entries) << s.total;
        // Nothing exceeds the budget.
        EXPECT_LE(int64_t(split.main_count) * 16 + int64_t(split.pawn_count) * 30 +
                      int64_t(split.eval_count) * 12,
                  s.total);
        // Setting the budget announces it and takes the same counts.
        EXPECT_EQ(split_output(s.total), s.line);
        EXPECT_EQ(std::vector<int>({hash_entry_count, pawn_hash_count, eval_cache_count}),
                  std::vector<int>({split.main_count, split.pawn_count, split.eval_count}))
            << s.total;
    }
    EXPECT_EQ(get_hash_entry_size(), 16);
    EXPECT_EQ(get_pawn_entry_size(), 30);
    EXPECT_EQ(get_eval_entry_size(), 12);
    // The default budget leaves 2621440 bytes over.
    split_output(32 * M);
    EXPECT_EQ(32 * M -
                  (int64_t(hash_entry_count) * 16 + pawn_hash_count * 30 + eval_cache_count * 12),
              2621440);
}

// Clamped budgets split as the limit itself does, with a complaint.
TEST_F(HashSplit, BudgetsOutsideTheRangeAreClamped)
{
    const int64_t M = 1048576;
    auto expect_clamped = [&](int64_t total, const char* complaint, int64_t limit) {
        split_output(limit);
        const int counts[] = {hash_entry_count, pawn_hash_count, eval_cache_count};
        const std::string out = split_output(total);
        EXPECT_NE(out.find(complaint), std::string::npos) << total << ": " << out;
        EXPECT_NE(out.find("Total hash size " + std::to_string(limit / M) + "M\n"),
                  std::string::npos)
            << out;
        EXPECT_EQ(std::vector<int>({hash_entry_count, pawn_hash_count, eval_cache_count}),
                  std::vector<int>(counts, counts + 3))
            << total;
    };
    // UCI sends megabytes; 4096 of them must not wrap when multiplied out.
    for (int64_t total : {2048 * M, 4096 * M, int64_t(1) << 40})
        expect_clamped(total, "too large", 2047 * M);
}

// The split as the prose gives it: each table the largest power of two of
// its share; the main table three quarters of the budget, the pawn hash three
// quarters of the rest, the evaluation cache what is left.
std::vector<int64_t> reference_split(int64_t total)
{
    auto floor_power = [](int64_t v) {
        int64_t p = v > 0 ? 1 : 0;
        while (p > 0 && p * 2 <= v)
            p *= 2;
        return p;
    };
    const int64_t main = floor_power(total / 4 * 3 / 16);
    const int64_t pawn = floor_power((total - 16 * main) / 4 * 3 / 30);
    return {main, pawn, floor_power((total - 16 * main - 30 * pawn) / 12)};
}

// Any budget is split as it stands down to the smallest from which on every
// table keeps its entries (a two-entry bucket for the main table); only
// below that is it raised, with the complaint.
TEST_F(HashSplit, SmallBudgetsSplitDownToTheMinimum)
{
    const int saved = output_enabled;
    output_enabled = 0;
    for (int64_t total = HASH_MIN_BYTES; total < (1 << 20); total += total < (1 << 16) ? 1 : 997) {
        set_hash_sizes(total);
        const std::vector<int64_t> counts = {hash_entry_count, pawn_hash_count, eval_cache_count};
        ASSERT_EQ(counts, reference_split(total)) << total;
        ASSERT_TRUE(counts[0] >= 2 && counts[1] >= 1 && counts[2] >= 1) << total;
    }
    output_enabled = saved;
    const std::vector<int64_t> below = reference_split(HASH_MIN_BYTES - 1);
    EXPECT_TRUE(below[0] < 2 || below[1] < 1 || below[2] < 1);

    EXPECT_EQ(split_output(100000), "Total hash size 97K\n");
    EXPECT_EQ(int64_t(hash_entry_count) * 16, 65536); // the end-of-search "Hash: 64K"
    EXPECT_EQ(split_output(1048575), "Total hash size 1023K\n");
    EXPECT_EQ(split_output(1000), "Total hash size 1000\n");
    for (int64_t total : {int64_t(0), int64_t(64), HASH_MIN_BYTES - 1, int64_t(-5)}) {
        EXPECT_EQ(split_output(total), "Hash size " + std::to_string(std::max<int64_t>(total, 0)) +
                                           " too small, using 106\nTotal hash size 106\n");
        EXPECT_EQ(std::vector<int>({hash_entry_count, pawn_hash_count, eval_cache_count}),
                  std::vector<int>({4, 1, 1}));
    }
}

struct PawnHashFixture : EvalTest {};

TEST_F(PawnHashFixture, EntriesLieThirtyBytesApart)
{
    load("4k3/pp6/8/8/8/8/5PP1/4K3 w - -");
    for (int phase = 0; phase < 4; phase++) {
        PawnHashEntry scratch;
        PawnHashEntry* entry = lookup_pawn_hash(pos, phase, &scratch);
        ASSERT_NE(entry, nullptr);
        u64 k = *pos->pawn_key_top ^ pawn_phase_key[phase];
        uint32_t index = uint32_t(k) & uint32_t(pawn_hash_count - 1);
        EXPECT_EQ(reinterpret_cast<const char*>(entry) -
                      reinterpret_cast<const char*>(pawn_hash_table),
                  ptrdiff_t(index) * 30);
        EXPECT_EQ(entry->key_low, uint32_t(k));
        EXPECT_EQ(entry->key_high, uint32_t(k >> 32));
        EXPECT_EQ(entry->white_files, 0x60);
        EXPECT_EQ(entry->black_files, 0x03);
    }
}

TEST_F(PawnHashFixture, PhasesKeepTheirOwnEntries)
{
    load("4k3/p7/8/8/8/8/5PP1/4K3 w - -");
    clear_pawn_and_eval_cache();
    reset_eval_counters();
    PawnHashEntry scratch;
    const PawnHashEntry e0 = *lookup_pawn_hash(pos, 0, &scratch);
    const PawnHashEntry* e3 = lookup_pawn_hash(pos, 3, &scratch);
    EXPECT_EQ(pawn_hash_hits, 0);
    EXPECT_NE(e0.key_low, e3->key_low);
    EXPECT_NE(e0.score, e3->score); // the ending scores the same pawns with its own tables
    lookup_pawn_hash(pos, 3, &scratch);
    EXPECT_EQ(pawn_hash_hits, 1);
    EXPECT_EQ(pawn_hash_probes, 3);
    // No pawns, no entry.
    load("4k3/8/8/8/8/8/8/R3K3 w - -");
    EXPECT_EQ(lookup_pawn_hash(pos, 3, &scratch), nullptr);
    EXPECT_EQ(pawn_hash_probes, 3);
}

TEST_F(PawnHashFixture, WithoutATableTheScratchEntryIsUsed)
{
    load("4k3/pp6/8/8/8/8/5PP1/4K3 w - -");
    PawnHashEntry* saved_table = pawn_hash_table;
    int saved_count = pawn_hash_count;
    clear_pawn_and_eval_cache();
    lazy_margin = 100;
    int with_table = evaluate(pos, -32767, 32767);
    pawn_hash_table = nullptr;
    pawn_hash_count = 0;
    PawnHashEntry scratch;
    EXPECT_EQ(lookup_pawn_hash(pos, 3, &scratch), &scratch);
    lazy_margin = 100;
    EXPECT_EQ(evaluate(pos, -32767, 32767), with_table);
    pawn_hash_table = saved_table;
    pawn_hash_count = saved_count;
}

TEST_F(PawnHashFixture, ReallocationDrawsNewPhaseKeys)
{
    const int saved[3] = {hash_entry_count, pawn_hash_count, eval_cache_count};
    uint64_t before[4];
    std::copy(pawn_phase_key, pawn_phase_key + 4, before);
    split_output(2 * 1048576);
    alloc_pawn_and_eval_cache();
    EXPECT_EQ(pawn_hash_count, 16384);
    for (int i = 0; i < 4; i++) {
        EXPECT_NE(pawn_phase_key[i], before[i]);
        for (int j = 0; j < i; j++)
            EXPECT_NE(pawn_phase_key[i], pawn_phase_key[j]);
    }
    free_pawn_and_eval_cache();
    EXPECT_EQ(pawn_hash_table, nullptr);
    EXPECT_EQ(eval_cache_table, nullptr);
    // Back to the counts the other tables were allocated with.
    hash_entry_count = saved[0];
    pawn_hash_count = saved[1];
    eval_cache_count = saved[2];
    alloc_pawn_and_eval_cache();
}

// The phase keys follow the Zobrist keys in the one random sequence: with
// nothing drawn in between, they are the 898th to 901st 64-bit draws.
TEST_F(PawnHashFixture, PhaseKeysFollowTheZobristKeys)
{
    restart_random_sequence();
    init_hash_keys();
    alloc_pawn_and_eval_cache();
    ReferenceRandom ref;
    uint64_t side_key = 0;
    for (int i = 0; i < 768 + 128 + 1; i++)
        side_key = ref.next64();
    ASSERT_EQ(side_key, zobrist_side);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(pawn_phase_key[i], ref.next64()) << i;
}

} // namespace
