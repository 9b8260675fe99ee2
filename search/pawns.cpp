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

namespace {

// Square at a rank counted from C's side, on the given file (0 = a).
template <int C>
inline int rel_square_at(int file, int rank)
{
    return (C == WHITE ? rank : 7 - rank) * 8 + file;
}

constexpr int LAST_RANK = 7;         // counted from the own side
constexpr int START_RANK = 1;        // where a pawn may step two squares
constexpr int BACKWARD_MAX_RANK = 5; // a pawn further up is never called backward

// What one colour's pawn loop gathers besides the score.
struct PawnFacts {
    int files = 0; // bit per file holding a pawn
    int weak = 0;  // bit per file holding an isolated or backward pawn
    int isolated_count = 0;
    int doubled_count = 0;
    u64 passers = 0;
};

// A pawn of C may step onto sq when it is empty and not attacked by more
// enemy pawns than own pawns guard it.
template <int C>
inline bool safe_pawn_square(const Position* pos, u64 all, int sq)
{
    return !(all & bit(sq)) &&
           count_bits(pawns_attacking<1 - C>(pos, sq)) <= count_bits(pawns_attacking<C>(pos, sq));
}

// Squares the pawns of C attack now or after a safe advance; *advances
// counts the pawns that can advance safely.
template <int C>
inline u64 pawn_cover(const Position* pos, u64 all, int* advances)
{
    u64 covered = 0;
    for (u64 set = pos->pawns[C]; set;) {
        int sq = pop_lowest(set);
        covered |= pawn_attacks_of<C>(sq);
        if (rel_rank<C>(sq) == LAST_RANK)
            continue; // nothing in front of a pawn on the last rank
        int front = step_ahead<C>(sq);
        if (!safe_pawn_square<C>(pos, all, front))
            continue;
        covered |= pawn_attacks_of<C>(front);
        (*advances)++;
        if (rel_rank<C>(sq) == START_RANK) {
            int two = step_ahead<C>(front);
            if (safe_pawn_square<C>(pos, all, two))
                covered |= pawn_attacks_of<C>(two);
        }
    }
    return covered;
}

// A pawn that cannot advance safely and that no pawn can come to guard;
// *diff tells how many more enemy than own pawns attack the square it must
// cross.
template <int C>
inline bool is_backward(const Position* pos, u64 covered, u64 all, int sq, int* diff)
{
    constexpr int O = 1 - C;
    int front = step_ahead<C>(sq);
    int attackers = count_bits(pawns_attacking<O>(pos, front));
    *diff = attackers - count_bits(pawns_attacking<C>(pos, front));
    if (attackers != 0 && *diff >= 0)
        return true;
    if (covered & bit(front))
        return false;
    if (rel_rank<C>(sq) != START_RANK)
        return true;
    int two = step_ahead<C>(front);
    int attackers2 = count_bits(pawns_attacking<O>(pos, two));
    int defenders2 = count_bits(pawns_attacking<C>(pos, two));
    if ((covered & bit(two)) && !(all & bit(two)) && (attackers2 == 0 || attackers2 < defenders2))
        return false;
    *diff = attackers2 - defenders2;
    return true;
}

inline int backward_penalty(int diff)
{
    return diff >= 0 && diff <= 2 ? BACKWARD_PENALTY[diff] : 0;
}

// One pawn of C: square value, neighbours, isolated, doubled, passed and
// backward; the facts the entry keeps are gathered on the way.
template <int C>
inline int eval_pawn(const Position* pos, int phase, int sq, u64 covered, u64 all, PawnFacts* facts)
{
    constexpr int O = 1 - C;
    const u64 own = pos->pawns[C];
    int f = sq & 7, r = rel_rank<C>(sq);
    facts->files |= 1 << f;
    int score = pst_by_square[C][PST_KIND_PAWN][phase][sq];
    if (side_neighbours_mask[sq] & own)
        score += SIDE_NEIGHBOUR_BONUS;

    bool isolated = !(adjacent_files_mask[sq] & own);
    if (isolated) {
        facts->isolated_count++;
        facts->weak |= 1 << f;
    }
    if (file_mask[sq] & own & ~bit(sq)) {
        score -= isolated ? DOUBLED_ISOLATED_PENALTY : DOUBLED_PENALTY;
        facts->doubled_count++;
    }
    const bool enemy_ahead = (ray_ahead<C>(sq) & pos->pawns[O]) != 0;
    if (!(passed_mask_of<C>(sq) & pos->pawns[O]) && !(ray_ahead<C>(sq) & own)) {
        score += PASSED_PAWN[phase][r];
        facts->passers |= bit(sq);
        if (pawns_attacking<C>(pos, sq))
            score += PROTECTED_PASSER_BONUS;
    }
    if (isolated) {
        score -= enemy_ahead ? ISOLATED_FILE[f] / 2 : ISOLATED_FILE[f];
    } else if (!(covered & bit(sq)) && r <= BACKWARD_MAX_RANK && !enemy_ahead) {
        int diff = 0;
        if (is_backward<C>(pos, covered, all, sq, &diff)) {
            facts->weak |= 1 << f;
            score -= backward_penalty(diff);
        }
    }
    return score;
}

template <int C>
inline void store_pawn_facts(PawnHashEntry* entry, const PawnFacts* facts)
{
    if (C == WHITE) {
        entry->white_files = uint8_t(facts->files);
        entry->white_passers = facts->passers;
        entry->white_byte = uint8_t(facts->weak);
    } else {
        entry->black_files = uint8_t(facts->files);
        entry->black_passers = facts->passers;
        entry->black_byte = uint8_t(facts->weak);
    }
}

template <int C>
inline int connected_passers_bonus(u64 passers)
{
    int score = 0;
    for (u64 set = passers; set;) {
        int sq = pop_lowest(set);
        if (king_attacks[sq] & adjacent_files_mask[sq] & passers)
            score += CONNECTED_PASSER[rel_rank<C>(sq)];
    }
    return score;
}

template <int C>
int eval_pawns_side(Position* pos, int phase, PawnHashEntry* entry)
{
    const u64 all = pos->pawns[WHITE] | pos->pawns[BLACK];
    int score = 0;
    if (search_side == C && pos->pawn_count[C] == 8)
        score = -FULL_PAWN_SET_PENALTY;

    int advances = 0;
    const u64 covered = pawn_cover<C>(pos, all, &advances);
    score += advances * SAFE_ADVANCE_BONUS;

    PawnFacts facts;
    for (u64 set = pos->pawns[C]; set;)
        score += eval_pawn<C>(pos, phase, pop_lowest(set), covered, all, &facts);

    const u64 passers = facts.passers;
    if (phase == ENDGAME_PHASE && (passers & files_f_to_h) && (passers & files_a_to_c))
        score += SPLIT_PASSERS_BONUS;
    store_pawn_facts<C>(entry, &facts);
    score += connected_passers_bonus<C>(passers);

    // More than eight pawns of a colour only come from a hand-made position.
    score -= ISOLATED_COUNT[facts.isolated_count > 8 ? 8 : facts.isolated_count];
    if (facts.doubled_count > MANY_DOUBLED)
        score -= MANY_DOUBLED_PENALTY;
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
        int value = piece_value[QUEEN - 1] - RUNNER_MOVE_VALUE * moves;
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
                danger += CENTRE_PAWN_DANGER[SHELTER_PAWN_HOME];
            else if (own & bit(rel_square_at<C>(f, 2)))
                danger += CENTRE_PAWN_DANGER[SHELTER_PAWN_ONE_UP];
            else
                danger += CENTRE_PAWN_DANGER[SHELTER_PAWN_FURTHER];
        }
        for (int f = 3; f <= 4; f++)
            if (!(enemy & file_mask[f]))
                danger += CENTRE_FILE_WITHOUT_ENEMY_PAWN;
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
                danger += WING_FILE_WITHOUT_ENEMY_PAWN;
            if (!(own & file_mask[f]))
                danger += WING_FILE_WITHOUT_OWN_PAWN;
        }
    }

    // Pawn shelter of a king on its first two ranks.
    if (rel_rank<C>(own_king) <= 1 && (kf <= 2 || kf >= 5)) {
        int start = kf <= 2 ? 0 : 5;
        for (int f = start; f < start + 3; f++) {
            const int* shelter = SHELTER_DANGER[f == 1 || f == 6];
            if (own & bit(rel_square_at<C>(f, 1)))
                danger += shelter[SHELTER_PAWN_HOME];
            else if (own & bit(rel_square_at<C>(f, 2)))
                danger += shelter[SHELTER_PAWN_ONE_UP];
            else if (own & file_mask[f])
                danger += shelter[SHELTER_PAWN_FURTHER];
            else
                danger += shelter[SHELTER_PAWN_GONE];
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
        if (w + RUNNER_MOVE_VALUE == b)
            return -RACE_TEMPO_BONUS;
        if (w != 0 && w == b)
            return RACE_TEMPO_BONUS;
    } else {
        if (b + RUNNER_MOVE_VALUE == w)
            return RACE_TEMPO_BONUS;
        if (w != 0 && w == b)
            return -RACE_TEMPO_BONUS;
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
