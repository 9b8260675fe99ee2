// The material rows of the endgame tables as constant data: name, stored
// length of each table side and the index function that serves each side.
// The registry builds its per-run row records (paths, open files, caches)
// from these rows.
#pragma once

#include <cstdint>

#include "tablebases/tbindex.h"

// Row 0, "kk", is empty and never registered; rows 1-5 hold three men,
// 6-35 four men, 36-110 five men.
constexpr int TB_MATERIAL_ROW_COUNT = 111;

struct MaterialRow {
    int id;                // equal to the row number
    TbIndexFn index_fn[2]; // side 0: the side named first to move; side 1: the other
    char name[8];          // "k", first side's men, "k", second side's men (q, r, b, n, p)
    uint32_t length[2];    // positions (value bytes) in the table file of each side
};

extern const MaterialRow MATERIAL_ROWS[TB_MATERIAL_ROW_COUNT];
