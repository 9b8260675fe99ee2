// Block cache and value reads. The front end hands over one memory block;
// its front holds the entry headers, the rest their data areas. A miss loads
// one block of a raw file or decodes one compressed block into the entry.
// A side whose file cannot be opened or read drops out of the registry, and
// every read that cannot be served answers TB_VALUE_UNKNOWN.
#include "tablebases/tbcache.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/fileopen.h"
#include "tablebases/registry.h"

uint8_t* tb_cache_base = nullptr;
int tb_cache_entries = 0;
int32_t tb_free_entries = 0;
int32_t tb_lru_newest = 0;
int32_t tb_lru_oldest = 0;

namespace {

TbCacheEntry& entry_at(int32_t link)
{
    return reinterpret_cast<TbCacheEntry*>(tb_cache_base)[link - 1];
}

uint8_t* entry_data(const TbCacheEntry& entry)
{
    return tb_cache_base + entry.data_offset;
}

void lru_unlink(int32_t link)
{
    TbCacheEntry& entry = entry_at(link);
    if (entry.lru_newer)
        entry_at(entry.lru_newer).lru_older = entry.lru_older;
    else
        tb_lru_newest = entry.lru_older;
    if (entry.lru_older)
        entry_at(entry.lru_older).lru_newer = entry.lru_newer;
    else
        tb_lru_oldest = entry.lru_newer;
    entry.lru_older = entry.lru_newer = 0;
}

void lru_push_newest(int32_t link)
{
    TbCacheEntry& entry = entry_at(link);
    entry.lru_newer = 0;
    entry.lru_older = tb_lru_newest;
    if (tb_lru_newest)
        entry_at(tb_lru_newest).lru_newer = link;
    tb_lru_newest = link;
    if (!tb_lru_oldest)
        tb_lru_oldest = link;
}

int32_t* chain_head(const TbCacheEntry& entry)
{
    int32_t* buckets = MATERIAL_TABLE[entry.table_id].buckets[entry.side];
    if (!buckets)
        return nullptr;
    return &buckets[(entry.first_index >> TB_BLOCK_SHIFT) & (TB_BUCKETS_PER_SIDE - 1)];
}

void chain_unlink(int32_t link)
{
    TbCacheEntry& entry = entry_at(link);
    if (entry.bucket_prev) {
        entry_at(entry.bucket_prev).bucket_next = entry.bucket_next;
    } else if (int32_t* head = chain_head(entry)) {
        if (*head == link)
            *head = entry.bucket_next;
    }
    if (entry.bucket_next)
        entry_at(entry.bucket_next).bucket_prev = entry.bucket_prev;
    entry.bucket_next = entry.bucket_prev = 0;
}

void chain_push_head(int32_t link)
{
    TbCacheEntry& entry = entry_at(link);
    int32_t* head = chain_head(entry);
    entry.bucket_prev = 0;
    entry.bucket_next = *head;
    if (*head)
        entry_at(*head).bucket_prev = link;
    *head = link;
}

bool open_table_file(TableDesc& row, int side)
{
    if (row.file[side])
        return true;
    row.file[side] = open_regular_file(row.path[side], "rb");
    if (row.file[side])
        return true;
    // Perhaps too many files are open: give them all back and try once more.
    close_table_files();
    row.file[side] = open_regular_file(row.path[side], "rb");
    return row.file[side] != nullptr;
}

bool load_block(TableDesc& row, int side, uint32_t first_index, uint8_t* data)
{
    FILE* stream = row.file[side];
    if (DatacompIndex* index = row.datacomp[side]) {
        DatacompBlock* block = tb_decode_block;
        if (!block)
            return false;
        prepare_datacomp_block(block, data);
        if (read_compressed_block(index, block, stream, int(first_index >> TB_BLOCK_SHIFT)) != 0)
            return false;
        return decode_block(block->block_decoded_size, block, index) == 0;
    }
    if (std::fseek(stream, long(first_index), SEEK_SET) != 0)
        return false;
    const size_t got = std::fread(data, 1, TB_BLOCK_POSITIONS, stream);
    if (got < size_t(TB_BLOCK_POSITIONS)) {
        if (std::ferror(stream)) {
            std::clearerr(stream);
            return false;
        }
        // The last block of a table is short. Whatever the file did not hold
        // is unknown, never what an earlier block left in this entry.
        std::memset(data + got, TB_VALUE_UNKNOWN, size_t(TB_BLOCK_POSITIONS) - got);
    }
    return true;
}

} // namespace

void close_table_files()
{
    for (int id = 1; id <= TB_ROW_COUNT; ++id) {
        for (int side = 0; side < 2; ++side) {
            if (MATERIAL_TABLE[id].file[side]) {
                std::fclose(MATERIAL_TABLE[id].file[side]);
                MATERIAL_TABLE[id].file[side] = nullptr;
            }
        }
    }
}

int set_tb_cache(void* buffer, unsigned bytes)
{
    close_table_files();
    tb_cache_entries = 0;
    tb_lru_newest = tb_lru_oldest = tb_free_entries = 0;
    if (bytes < 32 || buffer == nullptr)
        return 0;
    tb_cache_base = static_cast<uint8_t*>(buffer);
    tb_cache_entries = int(bytes / unsigned(TB_ENTRY_BYTES));
    reset_tb_cache();
    return 1;
}

void reset_tb_cache()
{
    if (tb_cache_entries <= 0)
        return;
    close_table_files();
    TbCacheEntry* entries = reinterpret_cast<TbCacheEntry*>(tb_cache_base);
    const uint32_t data_start = uint32_t(sizeof(TbCacheEntry)) * uint32_t(tb_cache_entries);
    for (int i = 0; i < tb_cache_entries; ++i) {
        TbCacheEntry& entry = entries[i];
        entry.table_id = 0;
        entry.side = 0;
        entry.first_index = 0;
        entry.lru_newer = entry.bucket_next = entry.bucket_prev = 0;
        entry.lru_older = i + 1 < tb_cache_entries ? i + 2 : 0;
        entry.data_offset = data_start + uint32_t(TB_ENTRY_DATA_BYTES) * uint32_t(i);
    }
    tb_free_entries = 1;
    for (int id = 1; id <= TB_ROW_COUNT; ++id)
        for (int side = 0; side < 2; ++side)
            if (int32_t* buckets = MATERIAL_TABLE[id].buckets[side])
                std::memset(buckets, 0, sizeof(int32_t) * TB_BUCKETS_PER_SIDE);
    tb_lru_newest = tb_lru_oldest = 0;
}

int read_tb_value(int id, int side, uint32_t index)
{
    if (id < 1 || id > TB_ROW_COUNT || side < 0 || side > 1)
        return TB_VALUE_UNKNOWN;
    TableDesc& row = MATERIAL_TABLE[id];
    // Index functions answer out-of-range values for impossible input; the
    // table length bounds every read.
    if (index >= row.length[side])
        return TB_VALUE_UNKNOWN;
    if (row.whole_table[side])
        return int8_t(row.whole_table[side][index]);
    if (tb_cache_entries <= 0 || !row.buckets[side] || !row.path[side])
        return TB_VALUE_UNKNOWN;

    const uint32_t first_index = index & ~uint32_t(TB_BLOCK_POSITIONS - 1);
    int32_t* head = &row.buckets[side][(index >> TB_BLOCK_SHIFT) & (TB_BUCKETS_PER_SIDE - 1)];
    for (int32_t link = *head; link; link = entry_at(link).bucket_next) {
        TbCacheEntry& entry = entry_at(link);
        if (entry.table_id != id || entry.side != side || entry.first_index != first_index)
            continue;
        if (tb_lru_newest != link) {
            lru_unlink(link);
            lru_push_newest(link);
        }
        if (*head != link) {
            chain_unlink(link);
            chain_push_head(link);
        }
        return int8_t(entry_data(entry)[index - first_index]);
    }

    int32_t link = tb_free_entries;
    if (link) {
        tb_free_entries = entry_at(link).lru_older;
    } else {
        link = tb_lru_oldest;
        lru_unlink(link);
        chain_unlink(link);
    }
    TbCacheEntry& entry = entry_at(link);
    entry.table_id = id;
    entry.side = side;
    entry.first_index = first_index;
    entry.lru_older = entry.lru_newer = entry.bucket_next = entry.bucket_prev = 0;

    if (open_table_file(row, side) && load_block(row, side, first_index, entry_data(entry))) {
        lru_push_newest(link);
        chain_push_head(link);
        return int8_t(entry_data(entry)[index - first_index]);
    }

    // The side is gone for this run: its file vanished or broke.
    if (row.file[side]) {
        std::fclose(row.file[side]);
        row.file[side] = nullptr;
    }
    std::free(row.path[side]);
    row.path[side] = nullptr;
    entry.table_id = 0;
    entry.lru_older = tb_free_entries;
    tb_free_entries = link;
    return TB_VALUE_UNKNOWN;
}

int probe_table_score(int id, int side, uint32_t index)
{
    // Seven positions of the kppkp black-to-move table are answered as a
    // fixed loss without consulting the file's bytes for them.
    static constexpr uint32_t KPPKP_BAD[] = {56802428, 56811076, 56849992, 56858640,
                                             59592489, 67775659, 71071628};
    if (id == 36 && side == 1) {
        for (uint32_t bad : KPPKP_BAD)
            if (bad == index)
                return -32639;
    }
    const int value = read_tb_value(id, side, index);
    if (value == 0)
        return 0;
    if (value == TB_VALUE_UNKNOWN)
        return TB_SCORE_UNKNOWN;
    if (value > 0)
        return 32640 + value;
    if (value >= -126)
        return value - 32640;
    if (value == -127)
        return -32640;
    return 32640;
}
