// Table registry: which material rows have files, where they are, and how a
// position's material finds its row. Registration checks every file it
// accepts (length, compressed index), so the probe can trust what it finds
// here; a file that contradicts what is known about its table is fatal.
#include "tablebases/registry.h"

#include <cstdlib>
#include <cstring>

#include "board/fileopen.h"
#include "tablebases/tbcache.h"
#include "tablebases/tbprobe.h"

TableDesc MATERIAL_TABLE[TB_MATERIAL_ROW_COUNT];
intptr_t* signature_tree = nullptr;
int signature_tree_ready = 0;
long tb_decoder_bytes = 0;
int tb_datacomp_count = 0;
DatacompBlock* tb_decode_block = nullptr;

namespace {

bool material_rows_loaded = false;

[[noreturn]] void fail_with(const char* format, const char* text)
{
    std::printf(format, text);
    std::fflush(stdout);
    std::exit(1);
}

void load_material_rows()
{
    if (material_rows_loaded)
        return;
    material_rows_loaded = true;
    for (int id = 0; id < TB_MATERIAL_ROW_COUNT; ++id) {
        TableDesc& row = MATERIAL_TABLE[id];
        const MaterialRow& source = MATERIAL_ROWS[id];
        row.id = id;
        std::memcpy(row.name, source.name, sizeof row.name);
        for (int side = 0; side < 2; ++side) {
            row.index_fn[side] = source.index_fn[side];
            row.length[side] = source.length[side];
        }
    }
}

// Writes "<directory>/<name><suffix>" (or "<name><suffix>" for an empty
// directory); false when it would not fit a file name.
bool compose_file_name(char* out, const char* directory, const char* name, const char* suffix)
{
    const size_t dir_length = std::strlen(directory);
    const size_t needed =
        dir_length + (dir_length ? 1 : 0) + std::strlen(name) + std::strlen(suffix);
    if (dir_length > size_t(TB_MAX_DIRECTORY) || needed > size_t(TB_MAX_FILE_NAME))
        return false;
    char* at = out;
    if (dir_length) {
        std::memcpy(at, directory, dir_length);
        at += dir_length;
        *at++ = '/';
    }
    const size_t name_length = std::strlen(name);
    std::memcpy(at, name, name_length);
    std::strcpy(at + name_length, suffix);
    return true;
}

const char* datacomp_error_text(int code)
{
    switch (code & 0xff) {
        case 2: return "read error\n";
        case 5: return "out of memory\n";
        case 6: return "file broken\n";
        default: return nullptr;
    }
}

// Walks the tree with the two sides' counts; the leaf slot, or null when a
// count exceeds what the tree holds.
intptr_t* signature_leaf(const int white[5], const int black[5])
{
    if (!signature_tree)
        return nullptr;
    intptr_t* level = signature_tree;
    for (int depth = 0; depth < 10; ++depth) {
        const int count = depth < 5 ? white[depth] : black[depth - 5];
        if (count < 0 || count > level[0])
            return nullptr;
        if (depth == 9)
            return &level[1 + count];
        level = reinterpret_cast<intptr_t*>(level[1 + count]);
    }
    return nullptr;
}

// The totals follow what is freed, so that they always describe the tables
// registered now, however often the registration is repeated.
void free_row_side(TableDesc& row, int side)
{
    if (row.buckets[side])
        tb_memory_total -= int(sizeof(int32_t)) * TB_BUCKETS_PER_SIDE;
    std::free(row.buckets[side]);
    row.buckets[side] = nullptr;
    std::free(row.path[side]);
    row.path[side] = nullptr;
    if (row.datacomp[side]) {
        free_datacomp_index(row.datacomp[side]);
        --tb_datacomp_count;
    }
    row.datacomp[side] = nullptr;
}

} // namespace

void* alloc_tb_memory(int bytes)
{
    void* block = std::malloc(size_t(bytes > 0 ? bytes : 1));
    if (block == nullptr) {
        std::printf("*** Cannot allocate %d bytes of memory\n", bytes);
        std::fflush(stdout);
        std::exit(1);
    }
    tb_memory_total += bytes;
    return block;
}

intptr_t* alloc_signature_level(int budget, int levels_below)
{
    intptr_t* level = static_cast<intptr_t*>(alloc_tb_memory(int(sizeof(intptr_t)) * (budget + 2)));
    level[0] = budget;
    for (int i = 0; i <= budget; ++i)
        level[1 + i] =
            levels_below == 0
                ? 0
                : reinterpret_cast<intptr_t>(alloc_signature_level(budget - i, levels_below - 1));
    return level;
}

void init_signature_tree()
{
    if (signature_tree_ready)
        return;
    signature_tree_ready = 1;
    signature_tree = static_cast<intptr_t*>(alloc_tb_memory(int(sizeof(intptr_t)) * 5));
    signature_tree[0] = 3;
    for (int j = 0; j <= 3; ++j) {
        const int budget = 3 - j;
        intptr_t* level =
            static_cast<intptr_t*>(alloc_tb_memory(int(sizeof(intptr_t)) * (budget + 2)));
        level[0] = budget;
        for (int k = 0; k <= budget; ++k)
            level[1 + k] = reinterpret_cast<intptr_t>(alloc_signature_level(budget - k, 7));
        signature_tree[1 + j] = reinterpret_cast<intptr_t>(level);
    }
}

int register_table_signature(TableDesc* row)
{
    int first[5];
    int second[5];
    const char* rest = parse_piece_letters(row->name + 1, first);
    if (*rest != 'k')
        return 0;
    parse_piece_letters(rest + 1, second);
    intptr_t* leaf = signature_leaf(first, second);
    if (!leaf)
        return 0;
    *leaf = row->id;
    leaf = signature_leaf(second, first);
    if (!leaf)
        return 0;
    *leaf = -row->id;
    return 1;
}

int find_table_id(const int counts[10])
{
    const intptr_t* leaf = signature_leaf(counts, counts + 5);
    return leaf ? int(*leaf) : 0;
}

int find_table_id_by_name(const char* text)
{
    int counts[10];
    if (*text == 'k')
        ++text;
    const char* rest = parse_piece_letters(text, counts);
    if (*rest == 'k')
        ++rest;
    parse_piece_letters(rest, counts + 5);
    return find_table_id(counts);
}

int find_table_id_by_counts(const int* white_kinds, const int* black_kinds, int white_count,
                            int black_count)
{
    int counts[10] = {};
    for (int i = 0; i < white_count; ++i) {
        if (white_kinds[i] < 1 || white_kinds[i] > 5)
            return 0;
        ++counts[white_kinds[i] - 1];
    }
    for (int i = 0; i < black_count; ++i) {
        if (black_kinds[i] < 1 || black_kinds[i] > 5)
            return 0;
        ++counts[5 + black_kinds[i] - 1];
    }
    return find_table_id(counts);
}

int is_table_present(int id, int side)
{
    if (id < 1 || id > TB_ROW_COUNT || side < 0 || side > 1)
        return 0;
    return MATERIAL_TABLE[id].path[side] != nullptr;
}

TbIndexFn get_index_function(int id, int side)
{
    return MATERIAL_TABLE[id].index_fn[side];
}

int register_table(const char* directory, int id, int side)
{
    TableDesc& row = MATERIAL_TABLE[id];
    if (row.path[side] || row.whole_table[side])
        return 1;

    const char* suffix = side == 0 ? ".nbw" : ".nbb";
    const char* packed_suffix = side == 0 ? "nbw.emd" : "nbb.emd";
    char raw_name[TB_MAX_FILE_NAME + 1];
    if (!compose_file_name(raw_name, directory, row.name, suffix))
        return 0;

    char name[TB_MAX_FILE_NAME + 1];
    std::strcpy(name, raw_name);
    uint64_t length = 0;
    DatacompIndex* index = nullptr;
    // Only regular files: a pipe or a folder of a table's name is skipped.
    FILE* stream = open_regular_file(name, "rb");
    if (stream) {
        if (std::fseek(stream, 0, SEEK_END) != 0)
            fail_with("*** Seek in %s failed\n", name);
        const long end = std::ftell(stream);
        if (end < 0)
            fail_with("*** Seek in %s failed\n", name);
        length = uint64_t(end);
        if (row.length[side] != 0 && length != row.length[side])
            fail_with("*** %s corrupted\n", name);
    } else {
        bool opened = false;
        if (compose_file_name(name, directory, row.name, side == 0 ? ".nbw.emd" : ".nbb.emd"))
            opened = (stream = open_regular_file(name, "rb")) != nullptr;
        if (!opened && compose_file_name(name, directory, row.name, packed_suffix))
            opened = (stream = open_regular_file(name, "rb")) != nullptr;
        if (!opened)
            return 0;
        ++tb_datacomp_count;
        const int error = open_datacomp_index(&index, stream);
        if (error) {
            std::printf("*** Unable to read %s - ", name);
            const char* text = datacomp_error_text(error);
            if (text)
                std::printf("%s", text);
            else
                std::printf("error %d\n", error);
            std::fflush(stdout);
            std::exit(1);
        }
        if (index->block_size != TB_BLOCK_POSITIONS) {
            std::printf("*** %s: Unsupported block size %d\n", name, index->block_size);
            std::fflush(stdout);
            std::exit(1);
        }
        length = uint64_t(index->block_count - 1) * TB_BLOCK_POSITIONS +
                 uint64_t(index->last_block_size);
        if (length > UINT32_MAX || (row.length[side] != 0 && length != row.length[side]))
            fail_with("*** %s corrupted\n", name);
    }
    row.length[side] = uint32_t(length);
    std::fclose(stream);

    if (!register_table_signature(&row))
        fail_with("*** Unable to register %s\n", name);

    row.path[side] = static_cast<char*>(std::malloc(std::strlen(name) + 1));
    if (!row.path[side]) {
        std::printf("*** Cannot allocate %d bytes of memory\n", int(std::strlen(name) + 1));
        std::fflush(stdout);
        std::exit(1);
    }
    std::strcpy(row.path[side], name);
    row.buckets[side] =
        static_cast<int32_t*>(alloc_tb_memory(int(sizeof(int32_t)) * TB_BUCKETS_PER_SIDE));
    std::memset(row.buckets[side], 0, sizeof(int32_t) * TB_BUCKETS_PER_SIDE);
    row.datacomp[side] = index;
    if (index)
        tb_decoder_bytes += long(datacomp_index_bytes(index));
    return 1;
}

int init_tablebases(const char* path_list)
{
    tb_decoder_bytes = 0;
    close_table_files();
    load_material_rows();
    init_index_tables();
    init_signature_tree();

    for (int id = 1; id <= TB_ROW_COUNT; ++id)
        for (int side = 0; side < 2; ++side)
            free_row_side(MATERIAL_TABLE[id], side);
    std::free(tb_decode_block);
    tb_decode_block = nullptr;

    // The list is walked in place, one directory at a time, so its length
    // is not bounded by any buffer; a directory too long for a file name
    // finds no file.
    int highest = 0;
    const char* cursor = path_list ? path_list : "";
    for (;;) {
        const size_t span = std::strcspn(cursor, ",;");
        char directory[TB_MAX_DIRECTORY + 1];
        if (span <= size_t(TB_MAX_DIRECTORY)) {
            std::memcpy(directory, cursor, span);
            directory[span] = '\0';
            for (int id = 1; id <= TB_ROW_COUNT; ++id) {
                if (register_table(directory, id, 0) && id > highest)
                    highest = id;
                if (register_table(directory, id, 1) && id > highest)
                    highest = id;
            }
        }
        if (cursor[span] == '\0')
            break;
        cursor += span + 1;
    }

    if (tb_datacomp_count > 0) {
        tb_decode_block = static_cast<DatacompBlock*>(std::calloc(1, sizeof(DatacompBlock)));
        if (!tb_decode_block) {
            std::printf("*** Cannot allocate decode block: error code %d\n", TB_DECODE_BLOCK_ERROR);
            std::fflush(stdout);
            std::exit(1);
        }
        prepare_datacomp_block(tb_decode_block, nullptr);
        tb_decoder_bytes += long(sizeof(DatacompBlock));
    }

    // Cache entries of the previous registration name rows whose chains were
    // just freed: start the cache afresh on the new chains.
    reset_tb_cache();

    if (highest >= 36)
        return 5;
    if (highest >= 6)
        return 4;
    if (highest >= 1)
        return 3;
    return 0;
}
