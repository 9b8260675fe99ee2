// Probing tables computed here by retrograde analysis: every legal position
// of kqk, krk and kpk, in both colours, answers the distance to mate found,
// from raw and compressed files and through caches of any size; a plain mate
// search agrees on short mates; files that vanish or break after
// registration make positions unavailable.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "tablebases/registry.h"
#include "tablebases/tbcache.h"
#include "tablebases/tbprobe.h"
#include "tests/search_support.h"
#include "tests/tb_test_support.h"

using namespace tbtest;

namespace {

const int KINDS[3] = {QUEEN, ROOK, PAWN};
const char* const KQK = "8/8/8/8/8/2k5/8/KQ6 w - - 0 1";

// The score the probe owes a position whose outcome is known: a win in m
// moves scores 32767 - 2m, a loss after m moves 2m - 32767, being mated
// now 254 - 32767 (the stored -127 of mated positions), a draw 0.
int owed_score(tbgen::Value v)
{
    if (v.outcome == tbgen::WIN)
        return 32767 - 2 * ((v.plies + 1) / 2);
    if (v.outcome == tbgen::LOSS)
        return v.plies == 0 ? 254 - 32767 : 2 * (v.plies / 2) - 32767;
    return 0;
}

// FEN of generator position n; with `swapped` the colours change places and
// the board is mirrored top to bottom, which keeps the value.
std::string fen_of(int kind, int n, bool swapped)
{
    const int turn = swapped ? 56 : 0;
    std::string fen = tbgen::make_fen(kind, (n >> 18) ^ swapped, ((n >> 12) & 63) ^ turn,
                                      ((n >> 6) & 63) ^ turn, (n & 63) ^ turn);
    for (size_t i = 0; swapped && fen[i] != ' '; ++i)
        fen[i] = char(std::isalpha(fen[i]) ? fen[i] ^ 0x20 : fen[i]);
    return fen;
}

struct ProbeFixture : ::testing::Test {
    std::string dir;
    std::vector<uint8_t> cache;
    Position* pos = nullptr;

    void SetUp() override
    {
        tbgen::init_engine_tables();
        dir = make_scratch_dir("probe");
        pos = create_position();
        setup_new_game(pos);
        tb_enabled = 1;
    }
    void TearDown() override
    {
        set_tb_cache(nullptr, 0);
        init_tablebases("");
        destroy_position(pos);
        remove_dir(dir);
    }
    void use_cache(int entries)
    {
        cache.assign(size_t(entries) * TB_ENTRY_BYTES + 17, 0);
        set_tb_cache(cache.data(), unsigned(cache.size()));
    }
    int score = 0;
    int probe(const std::string& fen)
    {
        EXPECT_TRUE(set_board(pos, fen.c_str())) << fen;
        score = 12345;
        return probe_tablebases(pos, &score);
    }
    // Probes every stride-th legal position of the table in both colours;
    // the number of disagreements with the generator.
    int check_table(int kind, int stride)
    {
        const tbgen::Table& table = generated_tables().table(kind);
        int wrong = 0, probed = 0;
        for (int n = 0; n < tbgen::POSITION_COUNT; n += stride)
            for (bool swapped : {false, true})
                if (table.values[n].outcome != tbgen::ILLEGAL && ++probed &&
                    (!probe(fen_of(kind, n, swapped)) || score != owed_score(table.values[n])) &&
                    wrong++ < 5)
                    ADD_FAILURE() << fen_of(kind, n, swapped) << " probe score " << score
                                  << " owed " << owed_score(table.values[n]);
        EXPECT_GT(probed, 1000);
        return wrong;
    }
};

// The suite runs this first, alone among the table tests: one process
// solves the tables, and the others read what it kept.
TEST(GeneratedTables, KeptTablesReadBackAsSolved)
{
    for (int kind : KINDS) {
        const tbgen::Table& solved = generated_tables().table(kind);
        tbgen::Table kept;
        ASSERT_TRUE(tbgen::load_cached_table(kind, &kept)) << "kind " << kind;
        int differ = 0;
        for (int n = 0; n < tbgen::POSITION_COUNT; n++)
            differ += kept.values[n].outcome != solved.values[n].outcome ||
                      kept.values[n].plies != solved.values[n].plies;
        EXPECT_EQ(differ, 0) << "kind " << kind;
    }
}

TEST_F(ProbeFixture, RawTablesAnswerEveryPositionInBothColours)
{
    write_tables(dir, true, false);
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    use_cache(8);
    for (int kind : KINDS) {
        EXPECT_EQ(check_table(kind, sanitized_run() ? 13 : 1), 0) << "kind " << kind;
        // Positions sharing an index (images of each other) share a value.
        EXPECT_EQ(generated_tables().table(kind).conflicts, 0) << "kind " << kind;
    }
    EXPECT_EQ(tb_datacomp_count, 0);
}

// Literal-only files too; read backwards so that every block change misses
// the small cache.
TEST_F(ProbeFixture, CompressedTablesReadLikeRawOnes)
{
    tbenc::Options literal;
    literal.matches = false;
    for (const tbenc::Options& options : {tbenc::Options(), literal}) {
        write_tables(dir, false, true, options);
        ASSERT_EQ(init_tablebases(dir.c_str()), 3);
        ASSERT_NE(tb_decode_block, nullptr);
        use_cache(options.matches ? 3 : 1);
        for (int id : {1, 4, 5})
            for (int side = 0; side < 2; ++side) {
                ASSERT_NE(MATERIAL_TABLE[id].datacomp[side], nullptr);
                const std::vector<uint8_t>& bytes = generated_tables().side_bytes(id, side);
                int wrong = 0;
                for (uint32_t i = uint32_t(bytes.size()); i-- > 0;)
                    wrong += read_tb_value(id, side, i) != int8_t(bytes[i]);
                EXPECT_EQ(wrong, 0) << MATERIAL_ROWS[id].name << " side " << side;
                EXPECT_EQ(read_tb_value(id, side, uint32_t(bytes.size())), TB_VALUE_UNKNOWN);
            }
    }
    EXPECT_EQ(check_table(PAWN, sanitized_run() ? 29 : 5), 0);
}

TEST_F(ProbeFixture, AnyCacheSizeGivesTheSameAnswers)
{
    write_tables(dir, true, false);
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    GeneratedTables& t = generated_tables();
    const std::vector<uint8_t>& a = t.side_bytes(1, 0);
    const std::vector<uint8_t>& b = t.side_bytes(4, 1);
    for (int entries : {1, 2, 5, 40}) {
        use_cache(entries);
        int wrong = 0;
        // Alternate two tables and jump between blocks to drive evictions.
        for (uint32_t i = 0; i < a.size(); i += 97) {
            wrong += read_tb_value(1, 0, i) != int8_t(a[i]);
            const uint32_t j = uint32_t((uint64_t(i) * 7919) % b.size());
            wrong += read_tb_value(4, 1, j) != int8_t(b[j]);
        }
        EXPECT_EQ(wrong, 0) << entries << " entries";
    }
    // Smaller than one entry: a cache without entries, nothing is available.
    for (unsigned bytes : {32u, 100u, unsigned(TB_ENTRY_BYTES - 1)}) {
        cache.assign(bytes, 0);
        EXPECT_EQ(set_tb_cache(cache.data(), bytes), 1);
        EXPECT_EQ(tb_cache_entries, 0);
        EXPECT_EQ(probe(KQK), 0);
    }
    EXPECT_EQ(set_tb_cache(cache.data(), 31), 0);
    EXPECT_EQ(probe(KQK), 0);
}

// Shortest mate by plain alpha-beta over the engine's moves: plies until
// mate, positive when the side to move mates, negative when it is mated.
int negamax(Position* p, int depth, int ply, int alpha, int beta)
{
    Move list[256];
    const int count = remove_illegal_moves(p, list, gen_all_moves(p, list));
    if (count == 0)
        return is_in_check(p, p->side_to_move) ? ply - 1000 : 0;
    if (depth == 0)
        return 0;
    for (int i = 0; i < count; ++i) {
        make_move(p, list[i]);
        const int s = -negamax(p, depth - 1, ply + 1, -beta, -alpha);
        unmake_move(p, list[i]);
        if (s > alpha) {
            alpha = s;
            if (alpha >= beta)
                break;
        }
    }
    return alpha;
}

int search_mate_plies(Position* p, int max_plies)
{
    for (int depth = 1; depth <= max_plies; ++depth) {
        const int s = negamax(p, depth, 0, -1001, 1001);
        if (s > 0)
            return 1000 - s;
        if (s < 0)
            return -(1000 + s);
    }
    return 0;
}

TEST_F(ProbeFixture, ShortMatesAgreeWithAPlainSearch)
{
    write_tables(dir, false, true);
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    use_cache(16);
    GeneratedTables& t = generated_tables();
    const int per_kind = sanitized_run() ? 4 : 12;
    for (int kind : KINDS) {
        const tbgen::Table& table = t.table(kind);
        int wins = 0, losses = 0;
        for (int n = 12345; n < tbgen::POSITION_COUNT && (wins < per_kind || losses < per_kind);
             n = (n + 7919) % tbgen::POSITION_COUNT) {
            const tbgen::Value v = table.values[n];
            const bool win = v.outcome == tbgen::WIN && v.plies <= 5 && wins < per_kind;
            const bool loss =
                v.outcome == tbgen::LOSS && v.plies >= 2 && v.plies <= 4 && losses < per_kind;
            if (!win && !loss)
                continue;
            (win ? wins : losses)++;
            const std::string fen = fen_of(kind, n, (n & 1) != 0);
            ASSERT_TRUE(probe(fen)) << fen;
            const int found = search_mate_plies(pos, v.plies);
            // Win in m moves = 2m - 1 plies, scored 32767 - 2m; loss after
            // m moves = 2m plies, scored 2m - 32767.
            if (win) {
                EXPECT_EQ(found, int(v.plies)) << fen;
                EXPECT_EQ(32767 - score, found + 1) << fen;
            } else {
                EXPECT_EQ(found, -int(v.plies)) << fen;
                EXPECT_EQ(score + 32767, -found) << fen;
            }
        }
        EXPECT_EQ(wins, per_kind);
        EXPECT_EQ(losses, per_kind);
    }
}

// The root resolves its moves by the tables; the score it reports must be
// the generator's distance from the root itself (mate at ply p scores
// 32767 - p, being mated at ply p scores p - 32767), and the move chosen
// must keep that distance. Mates in one are picked out: a mated child's
// stored value is no distance.
TEST_F(ProbeFixture, RootSearchReportsExactTableDistances)
{
    auto check_root = [](const std::string& fen, int owed) {
        OwnedPosition root = search_support::new_position(fen.c_str());
        output_enabled = 0;
        tb_enabled = 1;
        tb_max_men = 3;
        max_depth = ONE_PLY;
        think(root);
        EXPECT_EQ(root->root_score, owed) << fen;
        const Move best = root->pv[0][0];
        make_move(root, best);
        int child = 0;
        if (owed == 32766)
            EXPECT_TRUE(search_support::legal_moves(root).empty()) << fen;
        else if (probe_tablebases(root, &child))
            EXPECT_EQ(-tablebase_score_from_root(child, 1), owed) << fen;
        else
            ADD_FAILURE() << fen << ": the chosen move leaves the tables";
        unmake_move(root, best);
    };
    for (bool raw : {true, false}) {
        write_tables(dir, raw, !raw);
        ASSERT_EQ(init_tablebases(dir.c_str()), 3);
        use_cache(16);
        for (int kind : KINDS) {
            const tbgen::Table& table = generated_tables().table(kind);
            const int wanted = sanitized_run() ? 1 : 2;
            int found[3][2] = {}; // [mate in one, longer win, loss][side to move]
            for (int n = 4321 + raw; n < tbgen::POSITION_COUNT; n += 31) {
                const tbgen::Value v = table.values[n];
                const int group = v.outcome == tbgen::WIN ? v.plies > 1 : 2;
                if ((group == 2 && (v.outcome != tbgen::LOSS || v.plies == 0)))
                    continue;
                for (bool swapped : {false, true}) {
                    const std::string fen = fen_of(kind, n, swapped);
                    const bool black = fen.find(" b ") != std::string::npos;
                    if (found[group][black]++ < wanted)
                        check_root(fen, group < 2 ? 32767 - v.plies : v.plies - 32767);
                }
            }
            for (auto& by_side : found)
                for (int count : by_side)
                    EXPECT_GE(count, wanted) << "kind " << kind;
        }
        remove_dir(dir);
        dir = make_scratch_dir("probe");
    }
    tb_max_men = 0;
}

TEST_F(ProbeFixture, FileGoneOrReplacedMakesItsSideUnavailable)
{
    // A pipe in its place would block the reopening forever: each case runs
    // in a child that a generous alarm ends should it hang.
    const struct {
        const char* what;
        void (*replace)(const std::string& name);
    } cases[] = {
        {"deleted", [](const std::string&) {}},
        {"pipe", [](const std::string& name) { mkfifo(name.c_str(), 0644); }},
        {"folder", [](const std::string& name) { mkdir(name.c_str(), 0755); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        remove_dir(dir);
        dir = make_scratch_dir("probe");
        write_tables(dir, true, false);
        EXPECT_EXIT(
            {
                alarm(sanitized_run() ? 600 : 120);
                if (init_tablebases(dir.c_str()) != 3)
                    exit(3);
                use_cache(4);
                if (!probe(KQK))
                    exit(4);
                // A new cache closes the files; the next miss must reopen the file.
                use_cache(4);
                const std::string name = dir + "/kqk.nbw";
                if (std::remove(name.c_str()) != 0)
                    exit(5);
                c.replace(name);
                EXPECT_EQ(probe(KQK), 0);
                EXPECT_EQ(is_table_present(5, 0), 0);
                EXPECT_EQ(is_table_present(5, 1), 1);
                EXPECT_EQ(probe("8/8/8/8/8/2k5/8/KQ6 b - - 0 1"), 1);
                exit(::testing::Test::HasFailure() ? 2 : 0);
            },
            ::testing::ExitedWithCode(0), "");
    }
}

TEST_F(ProbeFixture, TruncatedRawFileAnswersOnlyWhatItHolds)
{
    write_tables(dir, true, false);
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    const std::vector<uint8_t>& bytes = generated_tables().side_bytes(1, 0);
    use_cache(4);
    // Fill the cache entries with other blocks first, so a stale entry
    // would show through a short read.
    for (uint32_t i = 0; i < 4 * 8192u; i += 8192)
        read_tb_value(1, 0, 40000 + i);
    use_cache(4);
    ASSERT_EQ(truncate((dir + "/kpk.nbw").c_str(), 10000), 0);
    int wrong = 0, unknown = 0;
    for (uint32_t i = 0; i < bytes.size(); i += 3) {
        const int v = read_tb_value(1, 0, i);
        if (i < 10000)
            wrong += v != int8_t(bytes[i]);
        else
            unknown += v == TB_VALUE_UNKNOWN;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(unknown, int((bytes.size() - 10000 + 2) / 3));
}

TEST_F(ProbeFixture, BrokenCompressedFileNeverCrashesAndTruncationUnregisters)
{
    write_tables(dir, false, true);
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    use_cache(2);
    const std::string name = dir + "/kpk.nbw.emd";
    std::vector<uint8_t> file = read_file(name);
    const size_t header =
        size_t(file[64]) << 24 | size_t(file[65]) << 16 | size_t(file[66]) << 8 | file[67];
    std::mt19937 rng(7);
    // Garbage inside the blocks: any answer, but memory stays safe.
    for (int round = 0; round < (sanitized_run() ? 10 : 40); ++round) {
        std::vector<uint8_t> broken = file;
        for (int k = 0; k < 20; ++k)
            broken[header + rng() % (broken.size() - header)] = uint8_t(rng());
        ASSERT_TRUE(tbgen::write_file(name, broken));
        use_cache(2);
        for (uint32_t i = 0; i < 81664; i += 1021)
            EXPECT_LE(std::abs(read_tb_value(1, 0, i)), 128);
        if (!is_table_present(1, 0)) {
            ASSERT_EQ(init_tablebases(dir.c_str()), 3);
        }
    }
    ASSERT_TRUE(tbgen::write_file(name, file));
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    use_cache(2);
    ASSERT_NE(read_tb_value(1, 0, 100), TB_VALUE_UNKNOWN);
    ASSERT_EQ(truncate(name.c_str(), off_t(file.size() - 3000)), 0);
    use_cache(2);
    EXPECT_EQ(read_tb_value(1, 0, 81663), TB_VALUE_UNKNOWN);
    EXPECT_EQ(is_table_present(1, 0), 0);
}

TEST_F(ProbeFixture, EnPassantSquareAndOrientationReachTheIndex)
{
    // kpkp is symmetric: either colour's pawn finds it colours-swapped, so
    // Black's men come first, flipped, and the side is the other one.
    std::vector<uint8_t> pattern[2];
    for (int side = 0; side < 2; ++side) {
        pattern[side].resize(MATERIAL_ROWS[6].length[side]);
        for (size_t i = 0; i < pattern[side].size(); ++i)
            pattern[side][i] = uint8_t(1 + (i * 2654435761u >> 7) % 120);
        tbgen::write_file(dir + "/kpkp" + (side ? ".nbb" : ".nbw"), pattern[side]);
    }
    ASSERT_EQ(init_tablebases(dir.c_str()), 4);
    use_cache(4);
    const std::pair<const char*, int> cases[] = {
        {"8/8/8/3pP3/8/8/2k5/K7 w - d6 0 1", 43},
        {"8/8/8/3pP3/8/8/2k5/K7 w - - 0 1", TB_NO_EP_SQUARE},
        {"k7/8/8/8/3Pp3/8/8/6K1 b - d3 0 1", 19},
        {"k7/8/8/8/3Pp3/8/8/6K1 b - - 0 1", TB_NO_EP_SQUARE},
    };
    for (auto [fen, ep] : cases) {
        ASSERT_TRUE(probe(fen)) << fen;
        int white[16] = {}, black[16] = {};
        white[TB_SLOT_KING] = pos->king_square[WHITE];
        black[TB_SLOT_KING] = pos->king_square[BLACK];
        white[TB_SLOT_PAWN] = std::countr_zero(pos->pawns[WHITE]);
        black[TB_SLOT_PAWN] = std::countr_zero(pos->pawns[BLACK]);
        const int side = pos->side_to_move == WHITE ? 1 : 0;
        const uint32_t index = TB_INDEX_FUNCTIONS[2 * 5 + side](black, white, ep, 1);
        ASSERT_LT(index, pattern[side].size());
        EXPECT_EQ(score, 32513 + 2 * int(pattern[side][index])) << fen;
    }
}

TEST_F(ProbeFixture, StatisticsCountProbesAndHits)
{
    write_tables(dir, true, false);
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    use_cache(2);
    reset_tb_stats();
    EXPECT_EQ(probe(KQK), 1);
    EXPECT_EQ(probe("8/8/8/8/8/2k5/8/KN6 w - - 0 1"), 0);
    EXPECT_EQ(probe("8/8/8/8/8/2k5/8/KQQQQ3 w - - 0 1"), 0);
    EXPECT_EQ(tb_probes, 3u);
    EXPECT_EQ(tb_hits, 1u);
    reset_tb_stats();
    EXPECT_EQ(tb_probes, 0u);
}

} // namespace
