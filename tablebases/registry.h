// Registry of the endgame tables: the material rows with their per-run state
// (file names, open streams, block indexes, cache chains), the map from a
// material signature to a table id, and the search for table files in a
// list of directories.
#pragma once

#include <cstdint>
#include <cstdio>

#include "tablebases/datacomp.h"
#include "tablebases/material.h"
#include "tablebases/tbindex.h"

constexpr int TB_ROW_COUNT = 110;
constexpr int TB_BUCKETS_PER_SIDE = 32;
constexpr int TB_MAX_DIRECTORY = 1023;
constexpr int TB_MAX_FILE_NAME = 255;
constexpr int TB_DECODE_BLOCK_ERROR = 210693;

struct TableDesc {
    int id;
    TbIndexFn index_fn[2];
    char name[8];
    uint32_t length[2];
    char* path[2];
    FILE* file[2];
    DatacompIndex* datacomp[2];
    int32_t* buckets[2]; // 32 chain heads: cache entry number + 1, 0 = empty
    uint8_t* whole_table[2];
};

extern TableDesc MATERIAL_TABLE[TB_MATERIAL_ROW_COUNT];

// A level of the signature tree: element 0 is the level's maximum count m,
// elements 1 .. m + 1 the slots (next level, or a table id at the last).
extern intptr_t* signature_tree;
extern int signature_tree_ready;

extern long tb_decoder_bytes;
extern int tb_datacomp_count; // compressed table sides registered now
extern DatacompBlock* tb_decode_block;

int register_table(const char* directory, int id, int side);
int find_table_id(const int counts[10]);
int register_table_signature(TableDesc* row);
intptr_t* alloc_signature_level(int budget, int levels_below);
void init_signature_tree();
int is_table_present(int id, int side);
TbIndexFn get_index_function(int id, int side);
void* alloc_tb_memory(int bytes);
int find_table_id_by_name(const char* text);
int find_table_id_by_counts(const int* white_kinds, const int* black_kinds, int white_count,
                            int black_count);
