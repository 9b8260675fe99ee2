// Process-wide values that the board code reads but later modules own
// (evaluation, levels, transposition table, search). Declared here so the
// board compiles on its own; each owner's header declares them too.
#pragma once

#include <cstdint>

struct HashBucket;

extern int piece_value[5];          // pawn, knight, bishop, rook, queen
extern int piece_value_by_code[40]; // by piece code, fixed
extern int default_contempt;

extern HashBucket* hash_table;
extern int hash_entry_count;
extern int hash_bucket_count;
extern int hash_age_count[8];
extern int hash_probes;
extern int hash_hits;

extern int64_t node_count;
