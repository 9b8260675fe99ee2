// Memory for the large in-memory tables (transposition table, pawn hash,
// evaluation cache). A table of megabytes probed at random costs a page walk
// on nearly every probe with small pages; blocks of a huge page or more are
// therefore mapped on huge-page boundaries and advised for huge pages where
// the system has them. Every block comes zeroed: fresh pages from the system,
// or calloc where mapping is not available.
#pragma once

#include <cstddef>

// Exits with a message when the memory cannot be had, as alloc_zeroed_mem.
void* alloc_table_mem(size_t bytes);
// Takes any block alloc_table_mem returned (null is ignored).
void free_table_mem(void* block);
