// Pawn structure (run on pawn-hash misses), the pawn race of pawn endings and
// king safety. Each colour's evaluator is one template seen from that colour's
// side: "ahead" is towards the enemy's back rank, rank 0 is the own back rank.
#include "search/pawns.h"

#include <cstdlib>

#include "board/bitboard.h"
#include "board/position.h"
#include "search/evaltables.h"
#include "search/levels.h"
#include "search/searchstate.h"

PawnHashEntry* pawn_hash_table = nullptr;
int pawn_hash_count = 0;
uint64_t pawn_phase_key[4] = {};
int pawn_hash_probes = 0;
int pawn_hash_hits = 0;

const int PASSED_PAWN[4][8] = {
    {0, 10, 10, 30, 50, 80, 120, 0},
    {0, 10, 10, 30, 50, 80, 120, 0},
    {0, 20, 20, 30, 50, 90, 140, 0},
    {0, 20, 20, 30, 60, 100, 140, 0},
};
const int CONNECTED_PASSER[8] = {0, 0, 0, 10, 20, 30, 40, 0};
const int ISOLATED_FILE[8] = {10, 12, 14, 16, 16, 14, 12, 10};
const int ISOLATED_COUNT[9] = {0, 0, 2, 8, 22, 36, 41, 46, 0};

namespace {

inline u64 bit(int sq)
{
    return u64(1) << sq;
}
inline int file_distance(int a, int b)
{
    return std::abs((a & 7) - (b & 7));
}

template <int C>
inline int rel_rank(int sq)
{
    return C == WHITE ? (sq >> 3) : 7 - (sq >> 3);
}
// Square at a rank counted from C's side, on the given file (0 = a).
template <int C>
inline int rel_square_at(int file, int rank)
{
    return (C == WHITE ? rank : 7 - rank) * 8 + file;
}
template <int C>
inline int step_ahead(int sq)
{
    return C == WHITE ? sq + 8 : sq - 8;
}
template <int C>
inline u64 ray_ahead(int sq)
{
    return C == WHITE ? ray_north[sq] : ray_south[sq];
}
template <int C>
inline u64 pawn_attacks_of(int sq)
{
    return C == WHITE ? pawn_attacks_white[sq] : pawn_attacks_black[sq];
}
template <int C>
inline u64 passed_mask_of(int sq)
{
    return C == WHITE ? passed_mask_white[sq] : passed_mask_black[sq];
}
// Pawns of C that attack sq stand where a pawn of the other colour on sq would attack.
template <int C>
inline u64 pawns_attacking(const Position* pos, int sq)
{
    return pawn_attacks_of<1 - C>(sq) & pos->pawns[C];
}

template <int C>
int eval_pawns_side(Position* pos, int phase, PawnHashEntry* entry)
{
    constexpr int O = 1 - C;
    const u64 own = pos->pawns[C];
    const u64 all = pos->pawns[WHITE] | pos->pawns[BLACK];
    int score = 0;
    if (search_side == C && pos->pawn_count[C] == 8)
        score = -20;

    // Squares the pawns attack now or after a safe advance.
    u64 covered = 0;
    for (u64 set = own; set;) {
        int sq = pop_lowest(set);
        covered |= pawn_attacks_of<C>(sq);
        if (rel_rank<C>(sq) == 7)
            continue; // nothing in front of a pawn on the last rank
        int front = step_ahead<C>(sq);
        if ((all & bit(front)) ||
            count_bits(pawns_attacking<O>(pos, front)) > count_bits(pawns_attacking<C>(pos, front)))
            continue;
        covered |= pawn_attacks_of<C>(front);
        score += 1;
        if (rel_rank<C>(sq) == 1) {
            int two = step_ahead<C>(front);
            if (!(all & bit(two)) && count_bits(pawns_attacking<O>(pos, two)) <=
                                         count_bits(pawns_attacking<C>(pos, two)))
                covered |= pawn_attacks_of<C>(two);
        }
    }

    int files = 0, weak = 0, isolated_count = 0, doubled_count = 0;
    u64 passers = 0;
    for (u64 set = own; set;) {
        int sq = pop_lowest(set);
        int f = sq & 7, r = rel_rank<C>(sq);
        files |= 1 << f;
        score += pst_by_square[C][PST_KIND_PAWN][phase][sq];
        if (side_neighbours_mask[sq] & own)
            score += 1;

        bool isolated = !(adjacent_files_mask[sq] & own);
        if (isolated) {
            isolated_count++;
            weak |= 1 << f;
        }
        if (file_mask[sq] & own & ~bit(sq)) {
            score -= isolated ? 9 : 5;
            doubled_count++;
        }
        const bool enemy_ahead = (ray_ahead<C>(sq) & pos->pawns[O]) != 0;
        if (!(passed_mask_of<C>(sq) & pos->pawns[O]) && !(ray_ahead<C>(sq) & own)) {
            score += PASSED_PAWN[phase][r];
            passers |= bit(sq);
            if (pawns_attacking<C>(pos, sq))
                score += 5;
        }
        if (isolated) {
            score -= enemy_ahead ? ISOLATED_FILE[f] / 2 : ISOLATED_FILE[f];
        } else if (!(covered & bit(sq)) && r <= 5 && !enemy_ahead) {
            int front = step_ahead<C>(sq);
            int attackers = count_bits(pawns_attacking<O>(pos, front));
            int diff = attackers - count_bits(pawns_attacking<C>(pos, front));
            bool backward = true;
            if (attackers == 0 || diff < 0) {
                if (covered & bit(front)) {
                    backward = false;
                } else if (r == 1) {
                    int two = step_ahead<C>(front);
                    int attackers2 = count_bits(pawns_attacking<O>(pos, two));
                    int defenders2 = count_bits(pawns_attacking<C>(pos, two));
                    if ((covered & bit(two)) && !(all & bit(two)) &&
                        (attackers2 == 0 || attackers2 < defenders2))
                        backward = false;
                    else
                        diff = attackers2 - defenders2;
                }
            }
            if (backward) {
                weak |= 1 << f;
                if (diff == 2)
                    score -= 13;
                else if (diff == 1)
                    score -= 12;
                else if (diff == 0)
                    score -= 6;
            }
        }
    }

    if (phase == 3 && (passers & files_f_to_h) && (passers & files_a_to_c))
        score += 50;

    if (C == WHITE) {
        entry->white_files = uint8_t(files);
        entry->white_passers = passers;
        entry->white_byte = uint8_t(weak);
    } else {
        entry->black_files = uint8_t(files);
        entry->black_passers = passers;
        entry->black_byte = uint8_t(weak);
    }

    for (u64 set = passers; set;) {
        int sq = pop_lowest(set);
        if (king_attacks[sq] & adjacent_files_mask[sq] & passers)
            score += CONNECTED_PASSER[rel_rank<C>(sq)];
    }

    // More than eight pawns of a colour only come from a hand-made position.
    score -= ISOLATED_COUNT[isolated_count > 8 ? 8 : isolated_count];
    if (doubled_count > 2)
        score -= 5;
    return score;
}

// Best passer of C that the enemy king cannot catch (or that its own king
// escorts), valued by how soon it queens; 0 without one.
template <int C>
int best_runner(const Position* pos, const PawnHashEntry* entry, int own_king, int enemy_king)
{
    const u64 passers = C == WHITE ? entry->white_passers : entry->black_passers;
    const bool own_move = pos->side_to_move == C;
    bool found = false;
    int best = 0;
    for (u64 set = passers; set;) {
        int sq = pop_lowest(set);
        int r = rel_rank<C>(sq);
        const u64 outside = outside_square<C>(sq, own_move);
        bool runner = (outside & bit(enemy_king)) != 0;
        if (!runner && file_distance(own_king, sq) <= 1) {
            int kr = rel_rank<C>(own_king);
            runner = (r == 5 && kr == 6) || (r == 6 && (kr == 6 || kr == 7));
        }
        if (!runner)
            continue;
        int moves = r == 1 ? 5 : 7 - r;
        if (ray_ahead<C>(sq) & bit(own_king))
            moves += 1;
        int value = piece_value[QUEEN - 1] - 100 * moves;
        if (!found || value > best)
            best = value;
        found = true;
    }
    return best;
}

template <int C>
int king_danger(const Position* pos, int own_king, int enemy_king)
{
    constexpr int O = 1 - C;
    const u64 own = pos->pawns[C];
    const u64 enemy = pos->pawns[O];
    const int kf = own_king & 7, ef = enemy_king & 7;
    int danger = single_by_square[C][SINGLE_KING_DANGER][own_king];

    // King left in the centre while the enemy king has castled.
    if ((kf == 3 || kf == 4) && (ef <= 2 || ef >= 5)) {
        for (int f = 3; f <= 4; f++) {
            if (own & bit(rel_square_at<C>(f, 1)))
                danger += 0;
            else if (own & bit(rel_square_at<C>(f, 2)))
                danger += 4;
            else
                danger += 8;
        }
        for (int f = 3; f <= 4; f++)
            if (!(enemy & file_mask[f]))
                danger += 8;
    }

    // Kings on opposite wings: open files in front of the own king.
    int first = -1;
    if (kf <= 2 && ef >= 5)
        first = 0;
    if (kf >= 5 && ef <= 2)
        first = 5;
    if (first >= 0) {
        for (int f = first; f < first + 3; f++) {
            if (!(enemy & file_mask[f]))
                danger += 4;
            if (!(own & file_mask[f]))
                danger += 4;
        }
    }

    // Pawn shelter of a king on its first two ranks.
    if (rel_rank<C>(own_king) <= 1 && (kf <= 2 || kf >= 5)) {
        int start = kf <= 2 ? 0 : 5;
        for (int f = start; f < start + 3; f++) {
            const bool knight_file = f == 1 || f == 6;
            if (own & bit(rel_square_at<C>(f, 1)))
                danger += 0;
            else if (own & bit(rel_square_at<C>(f, 2)))
                danger += 4;
            else if (own & file_mask[f])
                danger += knight_file ? 12 : 8;
            else
                danger += knight_file ? 20 : 12;
        }
    }
    return danger;
}

} // namespace

int eval_pawns_white(Position* pos, int phase, PawnHashEntry* entry)
{
    return eval_pawns_side<WHITE>(pos, phase, entry);
}

int eval_pawns_black(Position* pos, int phase, PawnHashEntry* entry)
{
    return eval_pawns_side<BLACK>(pos, phase, entry);
}

int eval_pawn_race(Position* pos, PawnHashEntry* entry)
{
    const int wk = eval_king_square(pos, WHITE);
    const int bk = eval_king_square(pos, BLACK);
    const int w = best_runner<WHITE>(pos, entry, wk, bk);
    const int b = best_runner<BLACK>(pos, entry, bk, wk);
    if (pos->side_to_move == WHITE) {
        if (w + 100 == b)
            return -50;
        if (w != 0 && w == b)
            return 50;
    } else {
        if (b + 100 == w)
            return 50;
        if (w != 0 && w == b)
            return -50;
    }
    if (w > b)
        return w / 2;
    if (w < b)
        return -(b / 2);
    return 0;
}

int eval_king_safety(Position* pos, KingDangers* dangers)
{
    const int wk = eval_king_square(pos, WHITE);
    const int bk = eval_king_square(pos, BLACK);
    const int w = king_danger<WHITE>(pos, wk, bk);
    const int b = king_danger<BLACK>(pos, bk, wk);
    dangers->white_king_danger = int8_t(w);
    dangers->black_king_danger = int8_t(b);
    return (b - w) * level_weight;
}

PawnHashEntry* lookup_pawn_hash(Position* pos, int phase, PawnHashEntry* scratch)
{
    u64 pawn_key = *pos->pawn_key_top;
    if (pawn_key == 0)
        return nullptr;
    u64 k = pawn_key ^ pawn_phase_key[phase & 3];
    uint32_t key_low = uint32_t(k);
    uint32_t key_high = uint32_t(k >> 32);

    pawn_hash_probes++;
    PawnHashEntry* entry = scratch;
    if (pawn_hash_table != nullptr && pawn_hash_count > 0) {
        entry = &pawn_hash_table[key_low & uint32_t(pawn_hash_count - 1)];
        if (entry->key_low == key_low && entry->key_high == key_high) {
            pawn_hash_hits++;
            return entry;
        }
    }
    int white = eval_pawns_white(pos, phase, entry);
    int black = eval_pawns_black(pos, phase, entry);
    entry->key_high = key_high;
    entry->key_low = key_low;
    entry->score = int16_t(white - black);
    return entry;
}
