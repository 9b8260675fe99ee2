// Registration of table files from directory lists: which men count the
// search may probe, which directory wins, both compressed name forms, the
// material lookups in either colour, lists and names too long for any
// buffer, and the fatal messages for files that contradict their table.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tablebases/registry.h"
#include "tablebases/tbcache.h"
#include "tablebases/tbprobe.h"
#include "tests/tb_test_support.h"

using namespace tbtest;

namespace {

struct RegistryFixture : ::testing::Test {
    std::string dir, other;
    void SetUp() override
    {
        dir = make_scratch_dir("reg");
        other = make_scratch_dir("reg2");
    }
    void TearDown() override
    {
        init_tablebases("");
        remove_dir(dir);
        remove_dir(other);
    }
    // A raw table side of the right length, without data on disk.
    void raw(const std::string& in, const char* name, int side)
    {
        int id = 1;
        while (std::string(MATERIAL_ROWS[id].name) != name)
            ++id;
        ASSERT_TRUE(make_sparse_file(in + "/" + name + (side ? ".nbb" : ".nbw"),
                                     off_t(MATERIAL_ROWS[id].length[side])));
    }
};

TEST_F(RegistryFixture, LargestTableDecidesTheMen)
{
    EXPECT_EQ(init_tablebases(dir.c_str()), 0);
    EXPECT_EQ(init_tablebases(""), 0);
    raw(dir, "kpk", 1);
    EXPECT_EQ(init_tablebases(dir.c_str()), 3);
    EXPECT_EQ(is_table_present(1, 1), 1);
    EXPECT_EQ(is_table_present(1, 0), 0);
    raw(other, "krkn", 0);
    EXPECT_EQ(init_tablebases((dir + ";" + other).c_str()), 4);
    raw(other, "kppkp", 0);
    raw(other, "kqqkq", 1);
    EXPECT_EQ(init_tablebases(other.c_str()), 5);
    EXPECT_EQ(is_table_present(1, 1), 0); // re-initialisation forgets the first list
    EXPECT_EQ(is_table_present(110, 1), 1);
    // Nothing but five-man tables still answers five.
    remove_dir(other);
    other = make_scratch_dir("reg2");
    raw(other, "kbnkn", 0);
    EXPECT_EQ(init_tablebases(other.c_str()), 5);
}

TEST_F(RegistryFixture, FirstDirectoryOfTheListWins)
{
    raw(dir, "kqk", 0);
    raw(other, "kqk", 0);
    raw(other, "kqk", 1);
    const std::string list = ",," + other + "," + dir + ";" + other;
    ASSERT_EQ(init_tablebases(list.c_str()), 3);
    EXPECT_EQ(std::string(MATERIAL_TABLE[5].path[0]), other + "/kqk.nbw");
    ASSERT_EQ(init_tablebases((dir + ";" + other).c_str()), 3);
    EXPECT_EQ(std::string(MATERIAL_TABLE[5].path[0]), dir + "/kqk.nbw");
    EXPECT_EQ(std::string(MATERIAL_TABLE[5].path[1]), other + "/kqk.nbb");
}

TEST_F(RegistryFixture, BothCompressedNameFormsAreFound)
{
    GeneratedTables& t = generated_tables();
    tbgen::write_file(dir + "/krk.nbw.emd", tbenc::encode(t.side_bytes(4, 0)));
    tbgen::write_file(dir + "/krknbb.emd", tbenc::encode(t.side_bytes(4, 1)));
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    EXPECT_EQ(tb_datacomp_count, 2);
    ASSERT_NE(MATERIAL_TABLE[4].datacomp[0], nullptr);
    ASSERT_NE(MATERIAL_TABLE[4].datacomp[1], nullptr);
    EXPECT_EQ(std::string(MATERIAL_TABLE[4].path[1]), dir + "/krknbb.emd");
    EXPECT_NE(tb_decode_block, nullptr);
    EXPECT_GT(tb_decoder_bytes, 2 * long(sizeof(DatacompIndex)));
    // A raw file beside a compressed one is preferred.
    tbgen::write_file(dir + "/krk.nbw", t.side_bytes(4, 0));
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    EXPECT_EQ(MATERIAL_TABLE[4].datacomp[0], nullptr);
}

// The totals describe the tables registered now: registering again changes
// neither, and forgetting the tables takes off their chains and indexes.
TEST_F(RegistryFixture, RepeatedRegistrationKeepsMemoryTotalAndCompressedCount)
{
    GeneratedTables& t = generated_tables();
    tbgen::write_file(dir + "/krk.nbw.emd", tbenc::encode(t.side_bytes(4, 0)));
    tbgen::write_file(dir + "/krk.nbb.emd", tbenc::encode(t.side_bytes(4, 1)));
    raw(dir, "kqk", 0);
    ASSERT_EQ(init_tablebases(""), 0);
    const int bare = tb_memory_total;
    EXPECT_GT(bare, 0); // the index tables and the signature tree stay
    EXPECT_EQ(tb_datacomp_count, 0);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(init_tablebases(dir.c_str()), 3);
        EXPECT_EQ(tb_memory_total, bare + 3 * TB_BUCKETS_PER_SIDE * int(sizeof(int32_t)));
        EXPECT_EQ(tb_datacomp_count, 2);
    }
    ASSERT_EQ(init_tablebases(""), 0);
    EXPECT_EQ(tb_memory_total, bare);
    EXPECT_EQ(tb_datacomp_count, 0);
    EXPECT_EQ(tb_decode_block, nullptr);
}

TEST_F(RegistryFixture, MaterialFindsItsTableInEitherColour)
{
    raw(dir, "kqkr", 0);
    raw(dir, "kpkp", 1);
    raw(dir, "kbnk", 0);
    ASSERT_EQ(init_tablebases(dir.c_str()), 4);
    struct Case {
        const char* name;
        int id;
    } cases[] = {
        {"kqkr", 19},  {"krkq", -19}, {"kpkp", -6},  {"kbnk", 25},  {"knbk", 25},
        {"kkbn", -25}, {"kbkn", 0},   {"kqqqkq", 0}, {"kpppkp", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_table_id_by_name(c.name), c.id) << c.name;
    const int rook[] = {4}, queen[] = {5}, pawn[] = {1}, bishop_knight[] = {3, 2};
    EXPECT_EQ(find_table_id_by_counts(rook, queen, 1, 1), -19);
    EXPECT_EQ(find_table_id_by_counts(queen, rook, 1, 1), 19);
    EXPECT_EQ(find_table_id_by_counts(pawn, pawn, 1, 1), -6);
    EXPECT_EQ(find_table_id_by_counts(nullptr, bishop_knight, 0, 2), -25);
    int counts[5];
    const char* rest = parse_piece_letters("qrbnxk", counts);
    EXPECT_EQ(*rest, 'k');
    EXPECT_EQ(counts[0], 1); // any other letter is a pawn
    EXPECT_EQ(counts[4], 1);
}

TEST_F(RegistryFixture, OverlongDirectoriesAndNamesAreSkipped)
{
    raw(dir, "kqk", 0);
    const std::string long_dir(5000, 'x');
    const std::string near_limit(1000, 'y');
    std::string list = long_dir + ";" + near_limit + "," + dir;
    for (int i = 0; i < 50; ++i)
        list += ";" + long_dir;
    EXPECT_EQ(init_tablebases(list.c_str()), 3);
    EXPECT_EQ(is_table_present(5, 0), 1);
}

void init_and_exit(const std::string& list)
{
    stdout_to_stderr();
    init_tablebases(list.c_str());
    std::exit(0);
}

TEST_F(RegistryFixture, FilesThatContradictTheirTableAreFatal)
{
    GeneratedTables& t = generated_tables();
    // Raw file of the wrong length.
    ASSERT_TRUE(make_sparse_file(dir + "/kqk.nbw", 100));
    EXPECT_EXIT(init_and_exit(dir), ::testing::ExitedWithCode(1), "\\*\\*\\* .*/kqk.nbw corrupted");
    std::remove((dir + "/kqk.nbw").c_str());

    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        const char* message;
    };
    const std::vector<uint8_t>& kqk = t.side_bytes(5, 0);
    std::vector<uint8_t> banner = tbenc::encode(kqk), check = tbenc::encode(kqk);
    banner[63] = ' ';
    check[90] ^= 1;
    tbenc::Options big;
    big.block_bits = 14;
    const Case cases[] = {
        {"banner", banner, "\\*\\*\\* Unable to read .*/kqk.nbw.emd - read error"},
        {"check", check, "\\*\\*\\* Unable to read .*/kqk.nbw.emd - file broken"},
        {"length", tbenc::encode({kqk.begin(), kqk.end() - 1}),
         "\\*\\*\\* .*/kqk.nbw.emd corrupted"},
        {"block size", tbenc::encode(kqk, big),
         "\\*\\*\\* .*/kqk.nbw.emd: Unsupported block size 16384"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(tbgen::write_file(dir + "/kqk.nbw.emd", c.file));
        EXPECT_EXIT(init_and_exit(dir), ::testing::ExitedWithCode(1), c.message) << c.what;
    }
    // The healthy file registers and leaves the process alone.
    ASSERT_TRUE(tbgen::write_file(dir + "/kqk.nbw.emd", tbenc::encode(kqk)));
    EXPECT_EXIT(init_and_exit(dir), ::testing::ExitedWithCode(0), "");
}

TEST_F(RegistryFixture, PipesAndFoldersNamedLikeTablesAreSkipped)
{
    // Opening a pipe would wait for a writer: a generous alarm ends a hang.
    GeneratedTables& t = generated_tables();
    ASSERT_EQ(mkfifo((dir + "/kqk.nbw.emd").c_str(), 0444), 0);
    ASSERT_EQ(mkdir((dir + "/kqk.nbb").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((dir + "/krk.nbw").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((dir + "/krknbb.emd").c_str(), 0755), 0);
    ASSERT_TRUE(tbgen::write_file(other + "/krk.nbw", t.side_bytes(4, 0)));
    const std::string list = dir + ";" + other;
    EXPECT_EXIT(
        {
            alarm(sanitized_run() ? 600 : 120);
            const int men = init_tablebases(list.c_str());
            exit(men == 3 && !is_table_present(5, 0) && !is_table_present(5, 1) &&
                         is_table_present(4, 0) && !is_table_present(4, 1)
                     ? 0
                     : 2);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(RegistryFixture, ReinitialisationKeepsAWorkingCache)
{
    GeneratedTables& t = generated_tables();
    tbgen::write_file(dir + "/kqk.nbw", t.side_bytes(5, 0));
    ASSERT_EQ(init_tablebases(dir.c_str()), 3);
    std::vector<uint8_t> cache(4 * TB_ENTRY_BYTES);
    ASSERT_EQ(set_tb_cache(cache.data(), unsigned(cache.size())), 1);
    for (uint32_t i = 0; i < t.side_bytes(5, 0).size(); i += 8192)
        ASSERT_EQ(read_tb_value(5, 0, i), int8_t(t.side_bytes(5, 0)[i]));
    // New registration, same cache block: the old entries must not reach
    // the freed chains, and reads go on.
    tbgen::write_file(other + "/krk.nbw", t.side_bytes(4, 0));
    ASSERT_EQ(init_tablebases((other + ";" + dir).c_str()), 3);
    for (int round = 0; round < 3; ++round) {
        for (uint32_t i = 0; i < t.side_bytes(4, 0).size(); i += 4000) {
            ASSERT_EQ(read_tb_value(4, 0, i), int8_t(t.side_bytes(4, 0)[i]));
            ASSERT_EQ(read_tb_value(5, 0, i), int8_t(t.side_bytes(5, 0)[i]));
        }
    }
    set_tb_cache(nullptr, 0);
}

} // namespace
