// The hash budget split, and the pawn hash and evaluation cache allocated.
#include "search/hashmem.h"

#include <cstring>

#include "board/clock.h"
#include "board/output.h"
#include "board/position.h"
#include "board/prefetch.h"
#include "board/tablemem.h"
#include "board/zobrist.h"
#include "search/pawns.h"
#include "search/transposition.h"

EvalCacheEntry* eval_cache_table = nullptr;
int eval_cache_count = 0;

namespace {

int64_t largest_power_of_two(int64_t v)
{
    if (v <= 0)
        return 0;
    int64_t p = 1;
    while (p <= v / 2)
        p *= 2;
    return p;
}

} // namespace

void set_hash_sizes(int64_t total)
{
    char text[32];
    char limit[32];
    // Below the minimum some table would get no entry at all; above the
    // maximum the entry counts outgrow int.
    if (total < HASH_MIN_BYTES) {
        emit_text("Hash size %s too small, using %s\n", format_size(text, total < 0 ? 0 : total),
                  format_size(limit, HASH_MIN_BYTES));
        total = HASH_MIN_BYTES;
    } else if (total > HASH_MAX_BYTES) {
        emit_text("Hash size %s too large, using %s\n", format_size(text, total),
                  format_size(limit, HASH_MAX_BYTES));
        total = HASH_MAX_BYTES;
    }
    emit_text("Total hash size %s\n", format_size(text, total));

    const HashSplit split = hash_split(total);
    hash_entry_count = split.main_count;
    pawn_hash_count = split.pawn_count;
    eval_cache_count = split.eval_count;
}

HashSplit hash_split(int64_t total)
{
    const int64_t main_size = get_hash_entry_size();
    const int64_t pawn_size = get_pawn_entry_size();
    const int64_t eval_size = get_eval_entry_size();

    int64_t main_count = largest_power_of_two(((total / 4) * 3) / main_size);
    int64_t rest = total - main_size * main_count;
    int64_t pawn_count = largest_power_of_two(((rest / 4) * 3) / pawn_size);
    int64_t rest2 = rest - pawn_size * pawn_count;
    int64_t eval_count = largest_power_of_two(rest2 / eval_size);
    return {int(main_count), int(pawn_count), int(eval_count)};
}

void alloc_pawn_and_eval_cache()
{
    free_pawn_and_eval_cache();
    if (pawn_hash_count < 1)
        pawn_hash_count = 1;
    if (eval_cache_count < 1)
        eval_cache_count = 1;
    pawn_hash_table = static_cast<PawnHashEntry*>(
        alloc_table_mem(size_t(pawn_hash_count) * sizeof(PawnHashEntry)));
    eval_cache_table = static_cast<EvalCacheEntry*>(
        alloc_table_mem(size_t(eval_cache_count) * sizeof(EvalCacheEntry)));
    for (int phase = 0; phase < 4; phase++)
        pawn_phase_key[phase] = draw_random64();
    register_table_prefetch();
}

void clear_pawn_and_eval_cache()
{
    if (pawn_hash_table != nullptr)
        std::memset(static_cast<void*>(pawn_hash_table), 0,
                    size_t(pawn_hash_count) * sizeof(PawnHashEntry));
    if (eval_cache_table != nullptr)
        std::memset(static_cast<void*>(eval_cache_table), 0,
                    size_t(eval_cache_count) * sizeof(EvalCacheEntry));
}

void free_pawn_and_eval_cache()
{
    if (pawn_hash_table != nullptr)
        free_table_mem(pawn_hash_table);
    if (eval_cache_table != nullptr)
        free_table_mem(eval_cache_table);
    pawn_hash_table = nullptr;
    eval_cache_table = nullptr;
    register_table_prefetch();
}

void register_table_prefetch()
{
    register_tt_prefetch();
    prefetch_register_pawn(pawn_hash_table, pawn_hash_table != nullptr ? pawn_hash_count : 0,
                           sizeof(PawnHashEntry), pawn_phase_key);
}

int get_pawn_entry_size()
{
    return int(sizeof(PawnHashEntry));
}

int get_eval_entry_size()
{
    return int(sizeof(EvalCacheEntry));
}
