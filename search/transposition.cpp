// Transposition table: two-slot buckets, slot 0 kept for the deeper or newer
// result, slot 1 for whatever slot 0 pushes out or cannot take.
#include "search/transposition.h"

#include <cstring>

#include "board/attacks.h"
#include "board/clock.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/output.h"
#include "board/position.h"
#include "board/prefetch.h"
#include "board/tablemem.h"
#include "search/searchstate.h"

HashBucket* hash_table = nullptr;
int hash_entry_count = 0;
int hash_bucket_count = 0;
int hash_age = 1;
int hash_age_count[8] = {};
int hash_probes = 0;
int hash_hits = 0;
int show_hash_usage = 0;

namespace {

constexpr int PV_STORE_SCORE = -32766;
// From this size on a cleared table is new memory (the allocator maps blocks
// this large freshly), not a clearing pass.
constexpr size_t FRESH_PAGES_BYTES = size_t(64) << 20;

// Whether anything was stored since the table was allocated or cleared: a
// new game on a clean table then costs nothing (and touches no page).
bool table_written = false;

inline bool entry_empty(const HashEntry& e)
{
    return e.key_low == 0 && e.key_high == 0;
}

inline bool table_usable()
{
    return hash_table != nullptr && hash_bucket_count > 0;
}

inline HashBucket* bucket_of(u64 key)
{
    return &hash_table[uint32_t(key) & uint32_t(hash_bucket_count - 1)];
}

inline int clamp_int(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// The state stacks bound how deep a line may be played out.
inline bool can_make_move(const Position* pos)
{
    return state_stack_has_room(pos);
}

} // namespace

int get_hash_entry_size()
{
    return int(sizeof(HashEntry));
}

void clear_hash_stats()
{
    hash_probes = 0;
    hash_hits = 0;
    for (int& c : hash_age_count)
        c = 0;
}

void clear_hash()
{
    if (hash_table != nullptr && hash_entry_count > 0 && table_written) {
        const size_t bytes = size_t(hash_entry_count) * sizeof(HashEntry);
        // A large table is swapped for fresh zero pages from the system:
        // only the pages the next search touches cost anything.
        if (bytes >= FRESH_PAGES_BYTES) {
            free_table_mem(hash_table);
            hash_table = static_cast<HashBucket*>(alloc_table_mem(bytes));
            register_tt_prefetch();
        } else {
            std::memset(static_cast<void*>(hash_table), 0, bytes);
        }
    }
    table_written = false;
    clear_hash_stats();
}

void resize_hash(int entry_count)
{
    // A bucket holds two entries: anything below that would leave no bucket.
    hash_entry_count = entry_count < 2 ? 2 : entry_count;
    alloc_hash_table();
}

void alloc_hash_table()
{
    free_hash();
    hash_bucket_count = hash_entry_count / 2;
    if (hash_entry_count > 0)
        hash_table =
            static_cast<HashBucket*>(alloc_table_mem(size_t(hash_entry_count) * sizeof(HashEntry)));
    table_written = false;
    clear_hash_stats();
    register_tt_prefetch();
}

void register_tt_prefetch()
{
    prefetch_register_tt(hash_table, hash_table != nullptr ? hash_bucket_count : 0,
                         sizeof(HashBucket));
}

void free_hash()
{
    if (hash_table != nullptr)
        free_table_mem(hash_table);
    hash_table = nullptr;
    register_tt_prefetch();
}

int get_hash_fill_permille()
{
    if (hash_entry_count <= 0)
        return 0;
    int age = hash_age & 7;
    int permille = int(double(hash_age_count[age]) / double(hash_entry_count) * 1000.0);
    // The counts are zeroed per search while older entries of the same age
    // may still be overwritten, so they can drift below zero.
    return clamp_int(permille, 0, 1000);
}

void store_hash(Position* pos, int move, int depth, int ply, int score, int bound)
{
    if (!table_usable())
        return;

    if (bound == HASH_EXACT) {
        if (score > MATE_THRESHOLD)
            score += ply;
        else if (score < -MATE_THRESHOLD)
            score -= ply;
    }
    // The entry holds 16 bits of score and 10 of depth; wider values would wrap.
    score = clamp_score(score);
    depth = clamp_int(depth, 0, HASH_MAX_DEPTH);

    table_written = true;
    u64 key = *pos->key_top;
    uint32_t key_low = uint32_t(key);
    uint32_t key_high = uint32_t(key >> 32);
    HashBucket* bucket = bucket_of(key);
    HashEntry* slot0 = &bucket->slot[0];
    HashEntry* slot1 = &bucket->slot[1];
    HashEntry* chosen;

    if (slot0->key_low == key_low && slot0->key_high == key_high) {
        chosen = slot0;
    } else if (entry_depth(*slot0) > depth && entry_age(*slot0) == hash_age) {
        chosen = slot1;
    } else {
        if (!entry_empty(*slot1))
            hash_age_count[entry_age(*slot1)]--;
        hash_age_count[entry_age(*slot0)]++;
        *slot1 = *slot0;
        chosen = slot0;
    }

    if (move == 0 && chosen->key_low == key_low && chosen->key_high == key_high &&
        chosen->move != 0)
        move = int(chosen->move);

    if (!entry_empty(*chosen))
        hash_age_count[entry_age(*chosen)]--;
    hash_age_count[hash_age & 7]++;

    int threat = (ply >= 0 && ply < MAX_PLY) ? (pos->threat[ply] & 1) : 0;
    chosen->move = uint32_t(move);
    chosen->score = int16_t(score);
    chosen->key_low = key_low;
    chosen->key_high = key_high;
    chosen->info = entry_info(threat, bound, depth, hash_age);
}

int probe_hash(Position* pos, int depth, int ply, int* alpha, int* beta)
{
    hash_probes++;
    HashEntry* found = nullptr;
    if (table_usable()) {
        u64 key = *pos->key_top;
        uint32_t key_low = uint32_t(key);
        uint32_t key_high = uint32_t(key >> 32);
        HashBucket* bucket = bucket_of(key);
        for (HashEntry& e : bucket->slot) {
            if (e.key_low == key_low && e.key_high == key_high) {
                found = &e;
                break;
            }
        }
    }
    // The ply selects the per-ply slots; a ply beyond them gets no slot.
    const bool has_slot = ply >= 0 && ply < MAX_PLY;
    if (found == nullptr) {
        if (has_slot) {
            pos->hash_move[ply] = 0;
            pos->threat[ply] = 0;
        }
        return HASH_NO_CUTOFF;
    }

    if (has_slot) {
        pos->hash_move[ply] = int(found->move);
        pos->threat[ply] = entry_threat(*found);
    }

    int d = entry_depth(*found);
    int b = entry_bound(*found);
    int s = found->score;
    int provisional = HASH_NO_CUTOFF;
    if (d >= depth - null_move_reduction(depth) - ONE_PLY && s < *beta &&
        (b == HASH_UPPER || b == HASH_EXACT))
        provisional = HASH_NULL_FAILS;

    if (d < depth)
        return provisional;
    hash_hits++;

    switch (b) {
        case HASH_EXACT:
            if (s >= MATE_THRESHOLD)
                s -= ply;
            else if (s <= -MATE_THRESHOLD)
                s += ply;
            *alpha = s;
            return HASH_CUTOFF;
        case HASH_LOWER:
            if (s >= *beta) {
                *alpha = s;
                return HASH_CUTOFF;
            }
            return provisional;
        case HASH_UPPER:
            if (s <= *alpha) {
                *alpha = s;
                return HASH_CUTOFF;
            }
            return provisional;
        default: return provisional;
    }
}

void extend_pv_from_hash(Position* pos)
{
    int* line = pos->pv[0];
    int n = pos->pv_length[0];
    if (n < 0)
        n = 0;
    if (n > MAX_PLY)
        n = MAX_PLY;

    for (int i = 0; i < n; i++) {
        if (!is_move_valid(pos, line[i]))
            exit_with_message("Invalid pv move");
        make_move(pos, line[i]);
    }

    int scratch = 0;
    int i = n;
    if (i < MAX_PLY) {
        probe_hash(pos, 0, i, &scratch, &scratch);
        // Ply slots and the root line both end at MAX_PLY; the next probe
        // needs slot i + 1.
        while (i + 1 < MAX_PLY && can_make_move(pos)) {
            int move = pos->hash_move[i];
            if (move == 0 || !is_move_valid(pos, move))
                break;
            line[i] = move;
            bool repeated = false;
            for (int j = 0; j < i; j++) {
                if (line[j] == move) {
                    repeated = true;
                    break;
                }
            }
            if (repeated)
                break;
            // A colliding key can hand back a move that is pseudo-legal here
            // but leaves the own king in check; such a line must not be shown
            // or pondered on.
            int mover = pos->side_to_move;
            make_move(pos, move);
            if (is_in_check(pos, mover)) {
                unmake_move(pos, move);
                line[i] = 0;
                break;
            }
            pos->pv_length[0] = i + 1;
            probe_hash(pos, 0, i + 1, &scratch, &scratch);
            i++;
        }
    }

    int length = pos->pv_length[0];
    if (length > MAX_PLY)
        length = MAX_PLY;
    for (int k = length - 1; k >= 0; k--)
        unmake_move(pos, line[k]);
}

void store_pv_in_hash(Position* pos)
{
    int* line = pos->pv[0];
    int n = pos->pv_length[0];
    if (n < 0)
        n = 0;
    if (n > MAX_PLY)
        n = MAX_PLY;
    int made = 0;
    int scratch = 0;
    for (int i = 0; i < n; i++) {
        probe_hash(pos, 0, i, &scratch, &scratch);
        if (pos->hash_move[i] != line[i])
            store_hash(pos, line[i], 0, i, PV_STORE_SCORE, HASH_LOWER);
        if (!can_make_move(pos))
            break;
        make_move(pos, line[i]);
        made++;
    }
    for (int k = made - 1; k >= 0; k--)
        unmake_move(pos, line[k]);
}

void print_hash_usage()
{
    if (show_hash_usage && table_usable()) {
        unsigned used[2] = {0, 0};
        int age = hash_age & 7;
        for (int b = 0; b < hash_bucket_count; b++)
            for (int s = 0; s < 2; s++)
                if (!entry_empty(hash_table[b].slot[s]) && entry_age(hash_table[b].slot[s]) == age)
                    used[s]++;
        emit_text("Hash usage: used1 %2.2f%%, used2 %2.2f%%\n",
                  compute_percent(used[0], unsigned(hash_bucket_count)),
                  compute_percent(used[1], unsigned(hash_bucket_count)));
    }
    char size_text[32];
    format_size(size_text, int64_t(hash_entry_count) * int64_t(sizeof(HashEntry)));
    emit_text("Hash: %s, used %d%%, hits %2.0f%%\n", size_text, get_hash_fill_permille() / 10,
              compute_percent(unsigned(hash_hits), unsigned(hash_probes)));
}
