// DATACOMP block decoder. A compressed table file carries a checked header
// with the block index, one canonical Huffman code of 1024 symbols (literal
// bytes and matches over 24 fixed distances) and independent blocks that
// each decode to one block of table bytes. Broken files are refused with an
// error code; nothing here reads or writes outside its buffers.
#include "tablebases/datacomp.h"

#include <cstdlib>
#include <cstring>

const char DATACOMP_BANNER[64] = {'Q', 'u', 'a', 'r', 'v', 'e', 'l', ' ', 'D', 'A', 'T',  'A', 'C',
                                  'O', 'M', 'P', ' ', 'b', 'l', 'o', 'c', 'k', ' ', 'f',  'i', 'l',
                                  'e', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',  ' ', ' ',
                                  ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',  ' ', ' ',
                                  ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', '\r', '\n'};

namespace {

uint32_t crc_table[256];
bool crc_table_ready = false;

constexpr int16_t UNSET_ENTRY = INT16_MIN;
constexpr int SMALL_TABLE_BITS = 8;
constexpr int SMALL_SYMBOLS = 64;
constexpr int SMALL_TABLE_SIZE = (1 << SMALL_TABLE_BITS) + 2 * SMALL_SYMBOLS;

uint32_t read_be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// One symbol through a decode table: a first-level entry of symbol * 32 +
// length, or a pointer into the tree that the following bits walk.
int decode_symbol(DatacompBits* bits, const int16_t* table, int table_bits, int table_size)
{
    int entry = table[peek_bits(bits, table_bits)];
    if (entry >= 0) {
        bits->bit_position += entry & 31;
        return entry >> 5;
    }
    bits->bit_position += table_bits;
    for (int step = 0; step < 32; ++step) {
        int slot = -entry + int(take_bits(bits, 1));
        if (slot < (1 << table_bits) || slot >= table_size)
            return -1;
        entry = table[slot];
        if (entry >= 0)
            return entry;
    }
    return -1;
}

} // namespace

uint32_t peek_bits(const DatacompBits* bits, int count)
{
    if (count == 0)
        return 0;
    const size_t available = size_t(bits->input_end - bits->input_start);
    const size_t first = size_t(bits->bit_position >> 3);
    uint64_t window = 0;
    for (size_t i = 0; i < 5; ++i) {
        const size_t at = first + i;
        window = (window << 8) | (at < available ? bits->input_start[at] : 0u);
    }
    const int skip = int(bits->bit_position & 7);
    window >>= 40 - skip - count;
    return uint32_t(window & ((uint64_t(1) << count) - 1));
}

uint32_t take_bits(DatacompBits* bits, int count)
{
    uint32_t value = peek_bits(bits, count);
    bits->bit_position += uint64_t(count);
    return value;
}

void init_crc_table()
{
    if (crc_table_ready)
        return;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t a = i;
        for (int step = 0; step < 8; ++step)
            a = (a & 1) ? (a >> 1) : ((a >> 1) ^ 0xEDB88320u);
        crc_table[i] = a;
    }
    crc_table_ready = true;
}

uint32_t update_crc(uint32_t crc, size_t length, const uint8_t* bytes)
{
    init_crc_table();
    for (size_t i = 0; i < length; ++i)
        crc = (crc >> 8) ^ crc_table[(bytes[i] ^ crc) & 0xFF];
    return crc;
}

int build_huffman_table(int symbol_count, int16_t* table, const uint8_t* lengths,
                        int first_level_bits)
{
    const int first_level = 1 << first_level_bits;
    int used = 0;
    int single = 0;
    int per_length[32] = {};
    for (int s = 0; s < symbol_count; ++s) {
        if (lengths[s] > 31)
            return DC_ERR_LENGTH_ABOVE_31;
        if (lengths[s]) {
            ++used;
            single = s;
            ++per_length[lengths[s]];
        }
    }
    if (used == 0) {
        std::memset(table, 0, sizeof(int16_t) * size_t(first_level));
        return 0;
    }
    if (used == 1) {
        if (lengths[single] != 1)
            return DC_ERR_SINGLE_LENGTH;
        for (int i = 0; i < first_level; ++i)
            table[i] = int16_t(single * 32);
        return 0;
    }
    uint32_t sum = 0;
    for (int length = 31; length >= 1; --length) {
        sum += uint32_t(per_length[length]);
        if (sum & 1)
            return DC_ERR_ODD_COUNT;
        sum >>= 1;
    }
    if (sum != 1)
        return DC_ERR_INCOMPLETE;

    // Canonical code values: shorter codes first, then by symbol number.
    uint32_t next_code[33] = {};
    uint32_t code = 0;
    for (int length = 1; length <= 31; ++length) {
        code = (code + uint32_t(per_length[length - 1])) << 1;
        next_code[length] = code;
    }
    const int table_size = first_level + 2 * symbol_count;
    for (int i = 0; i < table_size; ++i)
        table[i] = UNSET_ENTRY;
    int next_pair = first_level;
    for (int s = 0; s < symbol_count; ++s) {
        const int length = lengths[s];
        if (!length)
            continue;
        const uint32_t value = next_code[length]++;
        if (length <= first_level_bits) {
            const int shift = first_level_bits - length;
            const uint32_t begin = value << shift;
            const uint32_t end = (value + 1) << shift;
            for (uint32_t i = begin; i < end; ++i)
                table[i] = int16_t(s * 32 + length);
            continue;
        }
        int16_t* slot = &table[value >> (length - first_level_bits)];
        for (int bit = length - first_level_bits - 1; bit >= 0; --bit) {
            if (*slot == UNSET_ENTRY) {
                if (next_pair + 2 > table_size)
                    return DC_ERR_INCOMPLETE;
                *slot = int16_t(-next_pair);
                table[next_pair] = table[next_pair + 1] = UNSET_ENTRY;
                next_pair += 2;
            }
            if (*slot >= 0)
                return DC_ERR_INCOMPLETE;
            slot = &table[-*slot + int((value >> bit) & 1)];
        }
        *slot = int16_t(s);
    }
    return 0;
}

int read_code_lengths(DatacompBits* bits, uint8_t* lengths, int count)
{
    if (take_bits(bits, 1)) {
        std::memset(lengths, 0, size_t(count));
        return 0;
    }
    if (count <= 2 * SMALL_SYMBOLS) {
        const int width = int(take_bits(bits, 5));
        int i = 0;
        while (i < count) {
            const uint32_t length = take_bits(bits, width);
            lengths[i++] = uint8_t(length > 255 ? 255 : length);
            if (length == 0) {
                const int zeros = int(take_bits(bits, 4));
                if (i + zeros > count)
                    return DC_ERR_ZERO_RUN;
                std::memset(lengths + i, 0, size_t(zeros));
                i += zeros;
            }
            if (bits_overrun(bits))
                return DC_ERR_CODE_LENGTHS;
        }
        return 0;
    }

    uint8_t small[2 * SMALL_SYMBOLS];
    int error = read_code_lengths(bits, small, 2 * SMALL_SYMBOLS);
    if (error)
        return error;
    int16_t length_code[SMALL_TABLE_SIZE];
    int16_t run_code[SMALL_TABLE_SIZE];
    error = build_huffman_table(SMALL_SYMBOLS, length_code, small, SMALL_TABLE_BITS);
    if (error)
        return error;
    error = build_huffman_table(SMALL_SYMBOLS, run_code, small + SMALL_SYMBOLS, SMALL_TABLE_BITS);
    if (error)
        return error;

    int i = 0;
    while (i < count) {
        const int a = decode_symbol(bits, length_code, SMALL_TABLE_BITS, SMALL_TABLE_SIZE);
        if (a < 0 || bits_overrun(bits))
            return DC_ERR_CODE_LENGTHS;
        if (a < 32) {
            lengths[i++] = uint8_t(a);
            continue;
        }
        const int b = decode_symbol(bits, run_code, SMALL_TABLE_BITS, SMALL_TABLE_SIZE);
        if (b < 0)
            return DC_ERR_CODE_LENGTHS;
        int64_t run;
        if (b < 32) {
            run = b + 2;
        } else {
            const int extra = b - 32;
            if (extra > 30)
                return DC_ERR_LENGTH_RUN;
            run = (int64_t(1) << extra) + int64_t(take_bits(bits, extra)) + 33;
        }
        if (bits_overrun(bits))
            return DC_ERR_CODE_LENGTHS;
        if (i + run > count)
            return DC_ERR_LENGTH_RUN;
        std::memset(lengths + i, a - 32, size_t(run));
        i += int(run);
    }
    return 0;
}

void prepare_datacomp_block(DatacompBlock* block, uint8_t* output)
{
    block->output_start = nullptr;
    block->stored_length = -1;
    block->decoded_length = -1;
    block->block_number = -1;
    block->check_block_number = -1;
    block->output_area = output;
    block->compressed = block->compressed_area;
    block->tag = DATACOMP_TAG;
    block->error = 0;
}

void free_datacomp_index(DatacompIndex* index)
{
    std::free(index);
}

size_t datacomp_index_bytes(const DatacompIndex* index)
{
    return sizeof(DatacompIndex) + sizeof(int64_t) * size_t(index->block_count + 1);
}

namespace {

// The longest code-length stream a valid index can hold is about 5 KB (the
// two small codes, then 1024 lengths of at most 71 bits a run of two).
constexpr uint64_t CODE_LENGTHS_MAX_BYTES = 8192;

// Whether the block count can give this header length: 8 check bytes a
// block, the packed sizes and distances, the code lengths and the check
// value. A damaged length is refused before any of it is read or allocated.
bool header_length_fits(uint32_t header_length, uint32_t block_count, int size_bits)
{
    if (block_count == 0 || uint64_t(block_count) * 8 + 84 > header_length)
        return false;
    const uint64_t packed = (uint64_t(size_bits) * (uint64_t(block_count) + 25) + 7) / 8;
    return header_length <= 80 + uint64_t(block_count) * 8 + packed + CODE_LENGTHS_MAX_BYTES + 4;
}

// The fixed 80 bytes at the head of a compressed table: 0 when they can
// start one whose whole header fits its block count and the file, else the
// error.
int check_datacomp_head(const uint8_t* head, FILE* stream)
{
    // The banner's wording differs between compressor releases and no real
    // file is at hand to fix it, so only its line ending is required; the
    // header word and the check value below still reject foreign files.
    if (head[62] != '\r' || head[63] != '\n')
        return DC_ERR_BANNER;
    const uint32_t header_length = read_be32(head + 64);
    const int size_bits = head[70];
    if (size_bits > 16 || header_length < uint32_t(DATACOMP_HEADER_MIN))
        return DC_ERR_HEADER_SIZE;
    if (head[71] != DATACOMP_DISTANCES)
        return DC_ERR_DISTANCE_COUNT;
    if (read_be32(head + 76) != DATACOMP_HEADER_WORD)
        return DC_ERR_HEADER_WORD;
    if (!header_length_fits(header_length, read_be32(head + 72), size_bits))
        return DC_ERR_HEADER_SIZE;

    // A header longer than the file cannot be read whole: refuse it before
    // allocating what a broken length field asks for.
    const long here = std::ftell(stream);
    if (here >= 0 && std::fseek(stream, 0, SEEK_END) == 0) {
        const long file_length = std::ftell(stream);
        if (std::fseek(stream, here, SEEK_SET) != 0 || file_length < 0 ||
            uint64_t(file_length) < header_length)
            return DC_ERR_SHORT_INDEX;
    }
    return 0;
}

// The whole header (head included) into *out, its check value verified;
// 0 or the error, with nothing left allocated on an error.
int read_datacomp_header(const uint8_t* head, uint32_t header_length, FILE* stream, uint8_t** out)
{
    uint8_t* header = static_cast<uint8_t*>(std::malloc(header_length));
    if (header == nullptr)
        return DC_ERR_HEADER_MEMORY;
    std::memcpy(header, head, 80);
    int error = 0;
    if (std::fread(header + 80, 1, header_length - 80, stream) != header_length - 80)
        error = DC_ERR_SHORT_INDEX;
    else if (update_crc(0, header_length - 4, header) != read_be32(header + header_length - 4))
        error = DC_ERR_INDEX_CHECK;
    if (error) {
        std::free(header);
        return error;
    }
    *out = header;
    return 0;
}

// The block sizes, the distances and the main code that follow the offsets
// field of the header; 0 or the error.
int read_datacomp_codes(DatacompIndex* index, const uint8_t* header, uint32_t header_length,
                        int size_bits)
{
    const uint32_t block_count = uint32_t(index->block_count);
    DatacompBits bits{header + 80 + 8 * size_t(block_count), header + header_length - 4, 0};
    int64_t* offsets = index->block_offsets;
    const uint32_t full = uint32_t(1) << size_bits;
    for (uint32_t i = 0; i <= block_count; ++i) {
        const uint32_t field = take_bits(&bits, size_bits);
        offsets[i] = field ? field : full; // sizes for now
    }
    for (int i = 0; i < DATACOMP_DISTANCES; ++i)
        index->distances[i] = -int(take_bits(&bits, size_bits));
    bits.bit_position = (bits.bit_position + 7) & ~uint64_t(7);

    uint8_t lengths[DATACOMP_SYMBOLS];
    if (bits_overrun(&bits))
        return DC_ERR_CODE_LENGTHS;
    if (read_code_lengths(&bits, lengths, DATACOMP_SYMBOLS) != 0 || bits_overrun(&bits))
        return DC_ERR_CODE_LENGTHS;
    if (build_huffman_table(DATACOMP_SYMBOLS, index->decode_table, lengths, DATACOMP_TABLE_BITS) !=
        0)
        return DC_ERR_MAIN_CODE;
    return 0;
}

} // namespace

int open_datacomp_index(DatacompIndex** out, FILE* stream)
{
    if (out == nullptr)
        return DC_ERR_NO_OUTPUT;
    init_crc_table();
    *out = nullptr;

    uint8_t head[80];
    if (stream == nullptr || std::fread(head, 1, sizeof head, stream) != sizeof head)
        return DC_ERR_SHORT_HEADER;
    int error = check_datacomp_head(head, stream);
    if (error)
        return error;
    const uint32_t header_length = read_be32(head + 64);
    const int size_bits = head[70];
    const uint32_t block_count = read_be32(head + 72);
    uint8_t* header = nullptr;
    error = read_datacomp_header(head, header_length, stream, &header);
    if (error)
        return error;

    const size_t bytes = sizeof(DatacompIndex) + sizeof(int64_t) * (size_t(block_count) + 1);
    DatacompIndex* index = static_cast<DatacompIndex*>(std::malloc(bytes));
    if (index == nullptr) {
        std::free(header);
        return DC_ERR_INDEX_MEMORY;
    }
    index->block_offsets = reinterpret_cast<int64_t*>(index + 1);
    index->block_size = 1 << size_bits;
    index->block_count = int(block_count);
    error = read_datacomp_codes(index, header, header_length, size_bits);
    std::free(header);
    if (error) {
        std::free(index);
        return error;
    }

    // The sizes become offsets, the first block right behind the header.
    int64_t* offsets = index->block_offsets;
    index->last_block_size = int(offsets[block_count]);
    int64_t offset = header_length;
    for (uint32_t i = 0; i < block_count; ++i) {
        const int64_t size = offsets[i];
        offsets[i] = offset;
        offset += size;
    }
    offsets[block_count] = offset;
    *out = index;
    return 0;
}

int read_compressed_block(DatacompIndex* index, DatacompBlock* block, FILE* stream,
                          int block_number)
{
    if (block == nullptr || block->tag != DATACOMP_TAG || index == nullptr)
        return DC_ERR_READ_RECORD;
    if (block_number < 0 || block_number >= index->block_count)
        return DC_ERR_BLOCK_NUMBER;
    block->block_number = block_number;
    block->check_block_number = block_number;
    block->block_decoded_size =
        block_number == index->block_count - 1 ? index->last_block_size : index->block_size;
    const int64_t size =
        index->block_offsets[block_number + 1] - index->block_offsets[block_number];
    // The output area and the compressed-data area each hold one block of
    // the table block size; a larger one only comes from a broken file.
    if (size > DATACOMP_AREA_BYTES || block->block_decoded_size > DATACOMP_AREA_BYTES)
        return DC_ERR_BLOCK_TOO_LARGE;
    block->compressed_size = int(size);
    if (block->output_area == nullptr)
        return DC_ERR_READ_RECORD;
    if (std::fseek(stream, long(index->block_offsets[block_number]), SEEK_SET) != 0)
        return DC_ERR_SEEK;
    if (std::fread(block->compressed, 1, size_t(size), stream) != size_t(size))
        return DC_ERR_SHORT_BLOCK;
    std::memset(block->compressed + size, 0, 8);

    block->pending_source = nullptr;
    block->pending_count = 0;
    block->bit_window = 0;
    block->bit_count = 0;
    block->input_pos = block->compressed;
    block->error = 0;
    if (size == block->block_decoded_size) {
        std::memcpy(block->output_area, block->compressed, size_t(size));
        block->output_pos = block->output_area + size;
        block->stored_length = int(size);
    } else {
        block->output_pos = block->output_area;
        block->stored_length = 0;
    }
    block->output_start = block->output_area;
    block->decoded_length = block->block_decoded_size;
    return 0;
}

namespace {

constexpr int MAIN_TABLE_SIZE = (1 << DATACOMP_TABLE_BITS) + 2 * DATACOMP_SYMBOLS;

// The decoder's input: a 64-bit window filled a byte at a time; bits beyond
// the compressed bytes are zero and may be looked at but never decide a
// symbol.
struct BitWindow {
    uint64_t window;
    int count;
    const uint8_t* in;
    const uint8_t* limit;
};

inline void window_refill(BitWindow& w)
{
    while (w.count <= 56) {
        w.window = (w.window << 8) | (w.in < w.limit ? *w.in++ : 0u);
        w.count += 8;
    }
}

inline uint32_t window_take(BitWindow& w, int n)
{
    if (n == 0)
        return 0;
    w.count -= n;
    return uint32_t((w.window >> w.count) & ((uint64_t(1) << n) - 1));
}

// The next symbol of the main code, or -1 when the bits lead nowhere.
inline int window_symbol(BitWindow& w, const int16_t* table)
{
    int entry =
        table[(w.window >> (w.count - DATACOMP_TABLE_BITS)) & ((1u << DATACOMP_TABLE_BITS) - 1)];
    if (entry >= 0) {
        w.count -= entry & 31;
        return entry >> 5;
    }
    w.count -= DATACOMP_TABLE_BITS;
    for (int step = 0; step < 32; ++step) {
        const int slot = -entry + int(window_take(w, 1));
        if (slot < (1 << DATACOMP_TABLE_BITS) || slot >= MAIN_TABLE_SIZE)
            return -1;
        entry = table[slot];
        if (entry >= 0) {
            window_refill(w);
            return entry;
        }
    }
    return -1;
}

// Copies a match of `length` bytes from `distance` back, as far as
// output_end allows; what is left of it waits in the block for the next
// call. False when the distance reaches before the block's start.
inline bool copy_match(DatacompBlock* block, uint8_t*& out, uint8_t* output_end, int length,
                       int distance)
{
    if (distance <= 0 || distance > out - block->output_area)
        return false;
    const int room = int(output_end - out);
    const int copy = length < room ? length : room;
    const uint8_t* source = out - distance;
    if (distance >= copy) {
        std::memcpy(out, source, size_t(copy));
    } else {
        for (int i = 0; i < copy; ++i)
            out[i] = source[i];
    }
    out += copy;
    if (copy < length) {
        block->pending_source = source + copy;
        block->pending_count = length - copy;
    }
    return true;
}

} // namespace

void decode_block_data(DatacompIndex* index, DatacompBlock* block, uint8_t* output_end)
{
    uint8_t* out = block->output_pos;
    if (out >= output_end)
        return;
    const uint8_t* const in_start = block->compressed;
    const uint64_t available_bits = uint64_t(block->compressed_size) * 8;
    const int16_t* table = index->decode_table;
    BitWindow w{0, 0, block->input_pos, block->compressed + block->compressed_size + 8};
    window_refill(w);
    window_take(w, block->bit_count);

    while (out < output_end) {
        window_refill(w);
        const int symbol = window_symbol(w, table);
        if (symbol < 0) {
            block->error = DC_ERR_INPUT_OVERRUN;
            break;
        }
        if (symbol < 256) {
            *out++ = uint8_t(symbol);
            continue;
        }
        const int length_class = symbol & 31;
        int length;
        if (length_class < 15) {
            length = length_class + 1;
        } else {
            const int extra = length_class - 14;
            length = (1 << extra) + int(window_take(w, extra)) + 14;
        }
        const int distance = -index->distances[(symbol >> 5) - 8];
        if (!copy_match(block, out, output_end, length, distance)) {
            block->error = DC_ERR_MATCH_SOURCE;
            break;
        }
    }

    const uint64_t used_bits = uint64_t(w.in - in_start) * 8 - uint64_t(w.count);
    if (!block->error && used_bits > available_bits)
        block->error = DC_ERR_INPUT_OVERRUN;
    block->input_pos = in_start + (used_bits >> 3);
    block->bit_count = int(used_bits & 7);
    block->bit_window = 0;
    block->output_pos = block->error ? output_end : out;
}

int decode_block(int length, DatacompBlock* block, DatacompIndex* index)
{
    if (block == nullptr || block->tag != DATACOMP_TAG || index == nullptr)
        return DC_ERR_DECODE_RECORD;
    if (length <= 0 || length > block->block_decoded_size)
        return DC_ERR_DECODE_LENGTH;
    decode_block_data(index, block, block->output_area + block->block_decoded_size);
    block->output_start = block->output_area;
    block->decoded_length = block->block_decoded_size;
    if (block->stored_length > 0) {
        if (block->stored_length > block->decoded_length)
            return DC_ERR_STORED_LENGTH;
        if (block->pending_count > 0)
            return DC_ERR_STORED_PENDING;
    }
    return block->error;
}
