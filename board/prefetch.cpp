// Where the prefetches in make_move point.
#include "board/prefetch.h"

namespace {

// Stands in for an unallocated table, so that make_move needs no test.
alignas(64) char dummy_line[64];

} // namespace

PrefetchTables prefetch_tables = {dummy_line, 0, 0, dummy_line, 0, 0, {0, 0, 0, 0}};

void prefetch_register_tt(const void* base, int64_t bucket_count, size_t stride)
{
    const bool usable = base != nullptr && bucket_count >= 1;
    prefetch_tables.tt = usable ? static_cast<const char*>(base) : dummy_line;
    prefetch_tables.tt_mask = usable ? uint32_t(bucket_count - 1) : 0;
    prefetch_tables.tt_stride = usable ? uint32_t(stride) : 0;
}

void prefetch_register_pawn(const void* base, int64_t entry_count, size_t stride,
                            const uint64_t phase_key[4])
{
    const bool usable = base != nullptr && entry_count >= 1;
    prefetch_tables.pawn = usable ? static_cast<const char*>(base) : dummy_line;
    prefetch_tables.pawn_mask = usable ? uint32_t(entry_count - 1) : 0;
    prefetch_tables.pawn_stride = usable ? uint32_t(stride) : 1;
    for (int i = 0; i < 4; i++)
        prefetch_tables.pawn_phase_key[i] = phase_key[i];
}
