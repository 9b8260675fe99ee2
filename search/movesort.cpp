// The move picker's sort: a selection sort whose handling of equal scores is
// part of the engine's move order, and a faster sort with the same result
// for the batch sizes most common in the search.
#include "search/movesort.h"

#include <cstdint>

#include "board/board.h"

namespace {

// The selection sort itself, for short lists and very long ones.
void selection_sort(Move* moves, int* scores, int count)
{
    for (int last = count - 1; last >= 1; --last) {
        // The lowest score goes last: the one at `last` when it is a lowest,
        // else the first holding the lowest. Finding the value first lets the
        // compiler vectorise the scan; the second scan stops at the match.
        int lowest = scores[0];
        for (int i = 1; i < last; ++i)
            lowest = scores[i] < lowest ? scores[i] : lowest;
        int candidate = last;
        if (lowest < scores[last]) {
            candidate = 0;
            while (scores[candidate] != lowest)
                ++candidate;
        }
        const Move move = moves[candidate];
        moves[candidate] = moves[last];
        moves[last] = move;
        scores[candidate] = scores[last];
    }
}

// Below this many moves the selection sort's scans cost less than the
// grouping below; from 64 the entries no longer fit a mask.
constexpr int GROUPED_SORT_MIN = 16;
constexpr int GROUPED_SORT_MAX = 64;

// Entries (bit i: entry i) by score, in ascending order of score: the
// groups[r] of each bit r of the result hold the scores with r lower ones.
// LANES covers count, padded with scores no entry counts as lower.
template <int LANES>
u64 group_by_score(const int* scores, int count, u64* groups)
{
    alignas(64) int padded[LANES];
    alignas(64) int lower[LANES];
    for (int i = 0; i < LANES; ++i) {
        padded[i] = i < count ? scores[i] : INT32_MAX;
        lower[i] = 0;
        groups[i] = 0;
    }
    for (int j = 0; j < count; ++j) {
        const int score = padded[j];
        for (int i = 0; i < LANES; ++i)
            lower[i] += padded[i] > score;
    }
    u64 used = 0;
    for (int i = 0; i < count; ++i) {
        groups[lower[i]] |= u64(1) << i;
        used |= u64(1) << lower[i];
    }
    return used;
}

// The selection sort's result without its quadratic scans. Each round takes
// a lowest score out of the unsorted front and puts the front's last entry
// in its place, so while one score value is being taken out, its entries
// stand still: knowing where they stand when its rounds begin, each round
// takes the front's last entry if it holds the value, else the first of
// them. The entries' places are followed as other values' rounds move them.
void grouped_sort(Move* moves, int* scores, int count)
{
    u64 groups[GROUPED_SORT_MAX];
    u64 values_left = count <= 32 ? group_by_score<32>(scores, count, groups)
                                  : group_by_score<GROUPED_SORT_MAX>(scores, count, groups);
    int entry_at[GROUPED_SORT_MAX], place_of[GROUPED_SORT_MAX];
    int score_of[GROUPED_SORT_MAX];
    Move move_of[GROUPED_SORT_MAX];
    for (int i = 0; i < count; ++i) {
        entry_at[i] = place_of[i] = i;
        score_of[i] = scores[i];
        move_of[i] = moves[i];
    }
    int last = count - 1;
    while (values_left) {
        u64 entries = groups[lowest_square(values_left)];
        values_left &= values_left - 1;
        u64 places = 0;
        do
            places |= u64(1) << place_of[lowest_square(entries)];
        while (entries &= entries - 1);
        while (places) {
            const int at_end = entry_at[last];
            // The end's entry if it holds the value, else the first; written
            // without a branch, which the search could not predict.
            const int first = lowest_square(places);
            const int taken = first + int((places >> last) & 1) * (last - first);
            places &= ~(u64(1) << taken);
            moves[last] = move_of[entry_at[taken]];
            scores[last] = score_of[at_end];
            entry_at[taken] = at_end;
            place_of[at_end] = taken;
            --last;
        }
    }
}

} // namespace

void sort_moves(Move* moves, int* scores, int count)
{
    if (count >= GROUPED_SORT_MIN && count <= GROUPED_SORT_MAX)
        grouped_sort(moves, scores, count);
    else
        selection_sort(moves, scores, count);
}
