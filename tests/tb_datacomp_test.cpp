// The compressed-block reader against an encoder written from the format's
// description: round trips, every header and block check with its error
// code, and random damage that must never take the reader outside its buffers.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tablebases/datacomp.h"
#include "tests/tb_test_support.h"

using namespace tbtest;

namespace {

FILE* stream_of(const std::vector<uint8_t>& bytes)
{
    FILE* f = std::tmpfile();
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

int open_bytes(const std::vector<uint8_t>& bytes, DatacompIndex** index)
{
    FILE* f = stream_of(bytes);
    const int error = open_datacomp_index(index, f);
    std::fclose(f);
    return error;
}

struct Decoded {
    int error = 0;
    std::vector<uint8_t> bytes;
    int stored_blocks = 0;
};

// Opens the file and decodes every block in order, as the cache would.
Decoded decode_file(const std::vector<uint8_t>& file)
{
    Decoded out;
    FILE* f = stream_of(file);
    DatacompIndex* index = nullptr;
    out.error = open_datacomp_index(&index, f);
    if (out.error) {
        std::fclose(f);
        return out;
    }
    static DatacompBlock block;
    std::vector<uint8_t> area(DATACOMP_AREA_BYTES + 36);
    for (int i = 0; i < index->block_count && !out.error; ++i) {
        prepare_datacomp_block(&block, area.data());
        out.error = read_compressed_block(index, &block, f, i);
        if (!out.error) {
            out.stored_blocks += block.stored_length > 0;
            out.error = decode_block(block.block_decoded_size, &block, index);
        }
        if (!out.error)
            out.bytes.insert(out.bytes.end(), area.begin(), area.begin() + block.decoded_length);
    }
    free_datacomp_index(index);
    std::fclose(f);
    return out;
}

uint32_t header_length(const std::vector<uint8_t>& file)
{
    return uint32_t(file[64]) << 24 | uint32_t(file[65]) << 16 | uint32_t(file[66]) << 8 | file[67];
}

void put_bits(std::vector<uint8_t>& file, size_t bit, uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i, ++bit) {
        const uint8_t mask = uint8_t(0x80 >> (bit & 7));
        if ((value >> i) & 1)
            file[bit >> 3] |= mask;
        else
            file[bit >> 3] &= uint8_t(~mask);
    }
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(rng());
    return v;
}

TEST(DatacompCheck, ValueFollowsItsDefinition)
{
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(update_crc(0, 3, abc), 0xCADBBEC2u);
    EXPECT_EQ(update_crc(0, 0, abc), 0u);
    const std::vector<uint8_t> data = random_bytes(1000, 3);
    EXPECT_EQ(update_crc(0, data.size(), data.data()),
              tbenc::check_value(data.data(), data.size()));
    const uint32_t part = update_crc(0, 333, data.data());
    EXPECT_EQ(update_crc(part, 667, data.data() + 333), update_crc(0, 1000, data.data()));
}

TEST(DatacompHuffman, CodeChecksRefuseBadLengths)
{
    struct Case {
        std::vector<uint8_t> lengths;
        int error;
    } cases[] = {
        {{32, 1}, DC_ERR_LENGTH_ABOVE_31},
        {{0, 2, 0}, DC_ERR_SINGLE_LENGTH},
        {{1, 1, 1}, DC_ERR_ODD_COUNT},
        {{2, 2}, DC_ERR_ODD_COUNT},
        {{1, 1, 1, 1}, DC_ERR_INCOMPLETE},
        {{1, 2, 3, 3}, 0},
        {{0, 0, 0}, 0},
        {{0, 1, 0}, 0},
    };
    for (const Case& c : cases) {
        std::vector<int16_t> table((1 << 8) + 2 * c.lengths.size());
        EXPECT_EQ(build_huffman_table(int(c.lengths.size()), table.data(), c.lengths.data(), 8),
                  c.error);
    }
}

TEST(DatacompRoundTrip, EncodedDataDecodesToItself)
{
    GeneratedTables& t = generated_tables();
    std::vector<uint8_t> runs(3 * 8192 + 100), repeat(20000), deep;
    for (size_t i = 0; i < runs.size(); ++i)
        runs[i] = uint8_t((i / 700) % 3);
    for (size_t i = 0; i < repeat.size(); ++i)
        repeat[i] = uint8_t("table values"[i % 12]);
    // Symbol s occurs 2^s times: codes up to 18 bits, deeper than the first
    // level of the decoding table.
    for (int s = 0; s < 19; ++s)
        deep.insert(deep.end(), size_t(1) << s, uint8_t(s));
    std::vector<uint8_t> distance_one = {'x', 'y', 'z'};
    distance_one.insert(distance_one.end(), 20, 'z');

    tbenc::Options plain, literal;
    literal.matches = false;
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        tbenc::Options options;
        int stored; // 1 every block stored, 0 some coded, -1 either
    } cases[] = {
        {"kqk btm", t.side_bytes(5, 1), plain, 0},
        {"krk btm", t.side_bytes(4, 1), plain, 0},
        {"random", random_bytes(3 * 8192 + 5, 9), plain, -1},
        {"exact blocks", random_bytes(2 * 8192, 10), plain, -1},
        {"runs", runs, plain, 0},
        {"one literal", std::vector<uint8_t>(2 * 8192, 0x41), literal, 0},
        {"deep codes", deep, literal, 0},
        {"repeat", repeat, plain, 0},
        {"distance one", distance_one, plain, 0},
        {"single byte", {7}, plain, 1},
    };
    for (const Case& c : cases) {
        const Decoded d = decode_file(tbenc::encode(c.data, c.options));
        ASSERT_EQ(d.error, 0) << c.name;
        EXPECT_TRUE(d.bytes == c.data) << c.name;
        const int blocks = int((c.data.size() + 8191) / 8192);
        EXPECT_TRUE(c.stored == 1   ? d.stored_blocks == blocks
                    : c.stored == 0 ? d.stored_blocks < blocks
                                    : d.stored_blocks > 0)
            << c.name << ": " << d.stored_blocks << " of " << blocks << " blocks stored";
    }
}

TEST(DatacompRoundTrip, IndexKeepsSizesAndOffsets)
{
    const std::vector<uint8_t> data = random_bytes(2 * 8192, 11);
    std::vector<uint8_t> file = tbenc::encode(data);
    DatacompIndex* index = nullptr;
    ASSERT_EQ(open_bytes(file, &index), 0);
    EXPECT_EQ(index->block_count, 2);
    EXPECT_EQ(index->block_size, 8192);
    EXPECT_EQ(index->last_block_size, 8192); // a size field of 0 is a full block
    EXPECT_EQ(index->block_offsets[0], int64_t(header_length(file)));
    EXPECT_EQ(index->block_offsets[2], int64_t(file.size()));
    EXPECT_EQ(-index->distances[0], 1);
    EXPECT_EQ(-index->distances[23], 8191);

    static DatacompBlock block;
    std::vector<uint8_t> area(8228);
    FILE* f = stream_of(file);
    prepare_datacomp_block(&block, area.data());
    EXPECT_EQ(read_compressed_block(index, &block, f, 2), DC_ERR_BLOCK_NUMBER);
    EXPECT_EQ(read_compressed_block(index, &block, f, -1), DC_ERR_BLOCK_NUMBER);
    block.tag = 0;
    EXPECT_EQ(read_compressed_block(index, &block, f, 0), DC_ERR_READ_RECORD);
    EXPECT_EQ(decode_block(8192, &block, index), DC_ERR_DECODE_RECORD);
    prepare_datacomp_block(&block, area.data());
    ASSERT_EQ(read_compressed_block(index, &block, f, 1), 0);
    EXPECT_EQ(decode_block(0, &block, index), DC_ERR_DECODE_LENGTH);
    EXPECT_EQ(decode_block(8193, &block, index), DC_ERR_DECODE_LENGTH);
    EXPECT_EQ(decode_block(8192, &block, index), 0);
    std::fclose(f);

    // The file loses its last bytes after the index was read.
    std::vector<uint8_t> cut(file.begin(), file.end() - 10);
    f = stream_of(cut);
    prepare_datacomp_block(&block, area.data());
    EXPECT_EQ(read_compressed_block(index, &block, f, 1), DC_ERR_SHORT_BLOCK);
    std::fclose(f);
    free_datacomp_index(index);
    EXPECT_EQ(open_datacomp_index(nullptr, nullptr), DC_ERR_NO_OUTPUT);
}

TEST(DatacompHeader, EveryCheckHasItsCode)
{
    const std::vector<uint8_t> good = tbenc::encode(generated_tables().side_bytes(5, 0));
    const uint32_t d = header_length(good);
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
        int error;
    } cases[] = {
        {"short", [](auto& f) { f.resize(79); }, DC_ERR_SHORT_HEADER},
        {"banner", [](auto& f) { f[62] = ' '; }, DC_ERR_BANNER},
        {"banner end", [](auto& f) { f[63] = 0; }, DC_ERR_BANNER},
        {"length 83", [](auto& f) { f[64] = f[65] = f[66] = 0, f[67] = 83; }, DC_ERR_HEADER_SIZE},
        {"exponent 17", [](auto& f) { f[70] = 17; }, DC_ERR_HEADER_SIZE},
        {"distances", [](auto& f) { f[71] = 23; }, DC_ERR_DISTANCE_COUNT},
        {"word", [](auto& f) { f[79] ^= 0x10; }, DC_ERR_HEADER_WORD},
        {"index cut", [d](auto& f) { f.resize(d - 1); }, DC_ERR_SHORT_INDEX},
        {"huge length", [](auto& f) { f[64] = 0x7F; }, DC_ERR_HEADER_SIZE},
        {"check value", [d](auto& f) { f[d - 6] ^= 4; }, DC_ERR_INDEX_CHECK},
        {"no blocks", [](auto& f) { f[72] = f[73] = f[74] = f[75] = 0, tbenc::reseal(f); },
         DC_ERR_HEADER_SIZE},
        {"blocks beyond index", [](auto& f) { f[72] = 0x10, tbenc::reseal(f); },
         DC_ERR_HEADER_SIZE},
        // The check value moved up over the code lengths.
        {"lengths cut short",
         [](auto& f) { f[64] = f[65] = 0, f[66] = 0, f[67] = 132, tbenc::reseal(f); },
         DC_ERR_CODE_LENGTHS},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = good;
        c.damage(file);
        DatacompIndex* index = reinterpret_cast<DatacompIndex*>(&file);
        EXPECT_EQ(open_bytes(file, &index), c.error) << c.name;
        EXPECT_EQ(index, nullptr) << c.name;
    }
    // The smallest length the block count leaves room for passes the size
    // test (and then fails a later one).
    std::vector<uint8_t> file = good;
    const uint32_t smallest = 84 + 8 * (uint32_t(good[74]) << 8 | good[75]);
    ASSERT_LT(smallest, 256u);
    file[64] = file[65] = file[66] = 0, file[67] = uint8_t(smallest);
    DatacompIndex* index = nullptr;
    EXPECT_NE(open_bytes(file, &index), DC_ERR_HEADER_SIZE);
    EXPECT_EQ(index, nullptr);
}

TEST(DatacompHeader, LengthTheBlockCountCannotGiveIsRefusedUnread)
{
    // Random bytes do not compress: the blocks stand well beyond the index.
    const std::vector<uint8_t> good = tbenc::encode(random_bytes(100000, 3));
    const uint32_t d = header_length(good);
    const struct {
        uint32_t length;
        int error;
        long read_to; // where the stream stands after the refusal
    } cases[] = {
        {d + 8192, DC_ERR_HEADER_SIZE, 80},              // beyond any code-length stream
        {uint32_t(good.size()), DC_ERR_HEADER_SIZE, 80}, // the whole file
        {d + 100, DC_ERR_INDEX_CHECK, long(d) + 100},    // possible: read and checked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<uint8_t> file = good;
        for (int i = 0; i < 4; i++)
            file[64 + i] = uint8_t(c.length >> (24 - 8 * i));
        FILE* f = stream_of(file);
        DatacompIndex* index = nullptr;
        EXPECT_EQ(open_datacomp_index(&index, f), c.error);
        EXPECT_EQ(std::ftell(f), c.read_to);
        std::fclose(f);
    }
}

TEST(DatacompHeader, ExponentSixteenOpensButBlocksBeyondTheAreaAreRefused)
{
    tbenc::Options big;
    big.block_bits = 16;
    const std::vector<uint8_t> file = tbenc::encode(random_bytes(70000, 12), big);
    DatacompIndex* index = nullptr;
    ASSERT_EQ(open_bytes(file, &index), 0);
    EXPECT_EQ(index->block_size, 65536);
    static DatacompBlock block;
    std::vector<uint8_t> area(8228);
    FILE* f = stream_of(file);
    prepare_datacomp_block(&block, area.data());
    EXPECT_EQ(read_compressed_block(index, &block, f, 0), DC_ERR_BLOCK_TOO_LARGE);
    std::fclose(f);
    free_datacomp_index(index);
}

TEST(DatacompBlocks, MatchReachingBeforeTheBlockIsRefused)
{
    std::vector<uint8_t> file = tbenc::encode(std::vector<uint8_t>(8192 * 2, 0));
    ASSERT_EQ(decode_file(file).error, 0);
    // Distance 0 of the index (after N + 1 size fields) becomes 8000, so the
    // first match, at position 1, reaches far before the block; or 0, which
    // never copies anything sensible either.
    for (uint32_t distance : {8000u, 0u}) {
        put_bits(file, (80 + 8 * 2) * 8 + 3 * 13, distance, 13);
        tbenc::reseal(file);
        EXPECT_EQ(decode_file(file).error, DC_ERR_MATCH_SOURCE) << distance;
    }
}

TEST(DatacompBlocks, RandomDamageStaysInsideTheBuffers)
{
    const std::vector<uint8_t> good = tbenc::encode(generated_tables().side_bytes(4, 0));
    const uint32_t d = header_length(good);
    std::mt19937 rng(5);
    int refused = 0, decoded = 0;
    for (int round = 0; round < (sanitized_run() ? 300 : 2000); ++round) {
        std::vector<uint8_t> file = good;
        const bool in_header = round % 2 == 0;
        for (int k = 0, flips = 1 + int(rng() % 8); k < flips; ++k)
            file[in_header ? 64 + rng() % (d - 68) : d + rng() % (file.size() - d)] ^=
                uint8_t(1 + rng() % 255);
        if (in_header && round % 4 == 0)
            tbenc::reseal(file);
        if (round % 7 == 0)
            file.resize(file.size() - rng() % 500);
        // Any refusal is a header, block-read or decoding error.
        const int error = decode_file(file).error, category = error & 0xff;
        ++(error ? refused : decoded);
        EXPECT_TRUE(!error || category == 2 || category == 5 || category == 6) << error;
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(decoded, 0);
}

} // namespace
