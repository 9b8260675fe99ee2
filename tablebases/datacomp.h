// Reader of DATACOMP-compressed table files: header and block index checks,
// and the decoder that turns one compressed block back into table bytes.
// The decoder only reads; every failure is an error code whose low byte is
// its category (2 read failure, 5 no memory, 6 broken data, 7 misuse).
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int DATACOMP_DISTANCES = 24;
constexpr int DATACOMP_SYMBOLS = 1024;
constexpr int DATACOMP_TABLE_BITS = 13;
constexpr int DATACOMP_AREA_BYTES = 8192; // largest compressed block accepted
constexpr int DATACOMP_HEADER_MIN = 84;
constexpr uint32_t DATACOMP_HEADER_WORD = 0x004001F5u;
constexpr uint32_t DATACOMP_TAG = 0x79A3F29Du;

// The banner line the encoder in the tests writes; readers accept any
// banner that ends in CR LF.
extern const char DATACOMP_BANNER[64];

enum DatacompError : int {
    DC_ERR_NO_OUTPUT = 171271,
    DC_ERR_SHORT_HEADER = 173058,
    DC_ERR_BANNER = 173826,
    DC_ERR_HEADER_SIZE = 176134,
    DC_ERR_DISTANCE_COUNT = 176902,
    DC_ERR_HEADER_WORD = 177670,
    DC_ERR_HEADER_MEMORY = 178437,
    DC_ERR_SHORT_INDEX = 179717,
    DC_ERR_INDEX_CHECK = 181510,
    DC_ERR_INDEX_MEMORY = 183557,
    DC_ERR_CODE_LENGTHS = 196102,
    DC_ERR_MAIN_CODE = 197894,
    DC_ERR_LENGTH_ABOVE_31 = 83718,
    DC_ERR_SINGLE_LENGTH = 87046,
    DC_ERR_ODD_COUNT = 91142,
    DC_ERR_INCOMPLETE = 92166,
    DC_ERR_ZERO_RUN = 113670,
    DC_ERR_LENGTH_RUN = 125446,
    DC_ERR_READ_RECORD = 215047,
    DC_ERR_BLOCK_NUMBER = 215815,
    DC_ERR_SEEK = 218114,
    DC_ERR_SHORT_BLOCK = 218626,
    DC_ERR_DECODE_RECORD = 225031,
    DC_ERR_DECODE_LENGTH = 225799,
    DC_ERR_STORED_LENGTH = 227846,
    DC_ERR_STORED_PENDING = 228358,
    // Broken files the format cannot produce; refused before any memory
    // outside the buffers is touched.
    DC_ERR_BLOCK_TOO_LARGE = 217350, // compressed block above the data area
    DC_ERR_MATCH_SOURCE = 230406,    // match reaching before the block's output
    DC_ERR_INPUT_OVERRUN = 230662,   // block decoding needed bits past its end
    DC_ERR_OFFSETS = 230918,         // block offsets beyond what a file can hold
};

struct DatacompIndex {
    int16_t decode_table[8192 + 2 * DATACOMP_SYMBOLS];
    int distances[DATACOMP_DISTANCES]; // negated: offsets back from the output position
    int64_t* block_offsets;            // N + 1 file offsets
    int block_size;
    int last_block_size;
    int block_count;
};

struct DatacompBlock {
    uint8_t* output_start;
    int stored_length;
    int decoded_length;
    int block_number;
    uint8_t* output_area;
    int block_decoded_size;
    uint8_t* compressed;
    int compressed_size;
    uint8_t* output_pos;
    const uint8_t* pending_source;
    int pending_count;
    uint32_t bit_window;
    int bit_count;
    const uint8_t* input_pos;
    int check_block_number;
    uint32_t tag;
    int error;                                        // first decoding error, 0 when none
    uint8_t compressed_area[DATACOMP_AREA_BYTES + 8]; // spare bytes stay zero
};

// Bit reader over a bounded byte range, most significant bit first. Bits
// past the end read as zero; using any of them makes the reader overrun.
struct DatacompBits {
    const uint8_t* input_start;
    const uint8_t* input_end;
    uint64_t bit_position;
};

uint32_t peek_bits(const DatacompBits* bits, int count); // count <= 32
uint32_t take_bits(DatacompBits* bits, int count);
inline bool bits_overrun(const DatacompBits* bits)
{
    return bits->bit_position > uint64_t(bits->input_end - bits->input_start) * 8;
}

void init_crc_table();
uint32_t update_crc(uint32_t crc, size_t length, const uint8_t* bytes);
int build_huffman_table(int symbol_count, int16_t* table, const uint8_t* lengths,
                        int first_level_bits);
int read_code_lengths(DatacompBits* bits, uint8_t* lengths, int count);
void decode_block_data(DatacompIndex* index, DatacompBlock* block, uint8_t* output_end);
int open_datacomp_index(DatacompIndex** out, FILE* stream);
int read_compressed_block(DatacompIndex* index, DatacompBlock* block, FILE* stream,
                          int block_number);
int decode_block(int length, DatacompBlock* block, DatacompIndex* index);

// Prepares the shared record before a block is read into output.
void prepare_datacomp_block(DatacompBlock* block, uint8_t* output);
void free_datacomp_index(DatacompIndex* index);
size_t datacomp_index_bytes(const DatacompIndex* index);
