// Arbitrary compressed table files, read from memory: the header and block
// index, then every block read and decoded. The index check value is
// recomputed from the bytes, so that broken files reach the decoder rather
// than stopping at the check.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tablebases/datacomp.h"

namespace {

uint32_t read_be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void write_be32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

uint8_t output[DATACOMP_AREA_BYTES + 64];
DatacompBlock block;

void decode_blocks(DatacompIndex* index, FILE* stream)
{
    const int count = index->block_count < 64 ? index->block_count : 64;
    for (int b = 0; b < count; b++) {
        prepare_datacomp_block(&block, output);
        if (read_compressed_block(index, &block, stream, b) != 0)
            continue;
        const int error = decode_block(block.block_decoded_size, &block, index);
        if (error == 0 && block.decoded_length != block.block_decoded_size)
            fuzz_fail("decoded length differs from the block size");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    init_crc_table();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 84)
        return 0;
    std::vector<uint8_t> file(data, data + size);
    const uint32_t header_length = read_be32(file.data() + 64);
    if (header_length >= 84 && header_length <= size)
        write_be32(file.data() + header_length - 4, update_crc(0, header_length - 4, file.data()));
    FILE* stream = fmemopen(file.data(), file.size(), "rb");
    if (stream == nullptr)
        fuzz_fail("fmemopen failed");
    DatacompIndex* index = nullptr;
    if (open_datacomp_index(&index, stream) == 0) {
        decode_blocks(index, stream);
        free_datacomp_index(index);
    }
    std::fclose(stream);
    return 0;
}
