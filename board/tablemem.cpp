// Huge-page-aligned anonymous mappings for the large tables, with a small
// record of the live ones so that a block is given back the way it was got.
#include "board/tablemem.h"

#include <cstdint>

#include "board/output.h"

#if defined(__linux__)
#include <sys/mman.h>
#define QUARVEL_TABLE_MAPPINGS 1
#endif

#ifdef QUARVEL_TABLE_MAPPINGS

namespace {

constexpr size_t HUGE_PAGE_BYTES = size_t(2) << 20;

struct TableMapping {
    char* base; // what mmap returned; null when the record is free
    size_t length;
    char* block; // what the caller was given
};

// The engine holds three tables, one more while a table is swapped for a
// fresh one; a block beyond these records comes from calloc instead.
constexpr int MAX_MAPPINGS = 8;
TableMapping mappings[MAX_MAPPINGS];

TableMapping* free_record()
{
    for (TableMapping& m : mappings)
        if (m.base == nullptr)
            return &m;
    return nullptr;
}

} // namespace

void* alloc_table_mem(size_t bytes)
{
    TableMapping* record = bytes >= HUGE_PAGE_BYTES ? free_record() : nullptr;
    if (record == nullptr)
        return alloc_zeroed_mem(bytes);
    // One huge page extra so that the block can start on a boundary.
    const size_t length = bytes + HUGE_PAGE_BYTES;
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return alloc_zeroed_mem(bytes);
    const uintptr_t start =
        (uintptr_t(base) + HUGE_PAGE_BYTES - 1) & ~uintptr_t(HUGE_PAGE_BYTES - 1);
    char* block = reinterpret_cast<char*>(start);
#ifdef MADV_HUGEPAGE
    madvise(block, bytes, MADV_HUGEPAGE); // advice only: small pages still work
#endif
    *record = {static_cast<char*>(base), length, block};
    return block;
}

void free_table_mem(void* block)
{
    if (block == nullptr)
        return;
    for (TableMapping& m : mappings) {
        if (m.base != nullptr && m.block == block) {
            munmap(m.base, m.length);
            m = {nullptr, 0, nullptr};
            return;
        }
    }
    free_mem(block);
}

#else

void* alloc_table_mem(size_t bytes)
{
    return alloc_zeroed_mem(bytes);
}

void free_table_mem(void* block)
{
    if (block != nullptr)
        free_mem(block);
}

#endif
