// Block cache of the endgame tables: fixed-size entries carved out of one
// memory block given by the front end, kept in an LRU list and in 32 chains
// per table side, each holding one 8192-position block of table values.
#pragma once

#include <cstdint>

constexpr int TB_BLOCK_POSITIONS = 8192;
constexpr int TB_BLOCK_SHIFT = 13;
constexpr int TB_ENTRY_DATA_BYTES = 8228; // one block and decoder slack
constexpr int TB_ENTRY_BYTES = 32 + TB_ENTRY_DATA_BYTES;
constexpr int TB_VALUE_UNKNOWN = 127;
constexpr int TB_SCORE_UNKNOWN = 32767;

// Links are entry numbers + 1 (0 = none), so a header stays 32 bytes on
// every platform and a cleared chain head means an empty chain.
struct TbCacheEntry {
    int32_t table_id;
    int32_t side;
    uint32_t first_index;
    int32_t lru_older; // toward the least recently used end; free-list link
    int32_t lru_newer;
    int32_t bucket_next;
    int32_t bucket_prev;
    uint32_t data_offset; // from the start of the memory block
};
static_assert(sizeof(TbCacheEntry) == 32);

extern uint8_t* tb_cache_base;
extern int tb_cache_entries;
extern int32_t tb_free_entries;
extern int32_t tb_lru_newest;
extern int32_t tb_lru_oldest;

int set_tb_cache(void* buffer, unsigned bytes);
void reset_tb_cache();
void close_table_files();
int read_tb_value(int id, int side, uint32_t index);
int probe_table_score(int id, int side, uint32_t index);
