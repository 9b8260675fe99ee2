// Static evaluation: material, game phase, drawn-material recognisers, pawn
// structure from the pawn hash, a lazy exit with an adaptive margin, piece
// terms, king safety and passed pawns. Terms are summed from white's view and
// the total is turned round for black to move.
#include "search/evaluate.h"

#include <cstdint>
#include <cstdlib>

#include "board/bitboard.h"
#include "board/position.h"
#include "board/prefetch.h"
#include "search/evaltables.h"
#include "search/pawns.h"

int lazy_margin = LAZY_MARGIN_START;
int eval_calls = 0;
int eval_lazy_exits = 0;

namespace {

constexpr int MAX_STATIC_SCORE = 29999;

// Square from file letter and rank number, for the few squares named below.
constexpr int square_at(char file, int rank)
{
    return (rank - 1) * 8 + (file - 'a');
}

// King steps between two squares, looked up: the evaluation asks about ten
// times a call, and the 4 KB stay in cache.
struct DistanceTable {
    int8_t steps[64][64];
};
constexpr DistanceTable DISTANCE = [] {
    DistanceTable t{};
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++)
            t.steps[a][b] = int8_t(square_distance(a, b));
    return t;
}();

inline int distance(int a, int b)
{
    return DISTANCE.steps[a][b];
}
inline u64 same_colour_squares(int sq)
{
    return (dark_square_mask & bit(sq)) ? dark_square_mask : light_square_mask;
}
inline int attack_scale(int units)
{
    return KING_ATTACK_SCALE[units < 0 ? 0 : (units > 63 ? 63 : units)];
}

// Colour-relative helpers: what a term says for white holds for black with the
// board turned round (square s ^ 56, ranks counted from black's side).
template <int C>
constexpr int rel_square(int sq)
{
    return C == WHITE ? sq : sq ^ 56;
}
template <int C>
inline u64 passers_of(const PawnHashEntry* e)
{
    return e == nullptr ? 0 : (C == WHITE ? e->white_passers : e->black_passers);
}
template <int C>
inline int weak_files_of(const PawnHashEntry* e)
{
    return e == nullptr ? 0 : (C == WHITE ? e->white_byte : e->black_byte);
}
template <int C>
inline int pst(int kind, int phase, int sq)
{
    return pst_by_square[C][kind][phase][sq];
}
template <int C>
inline int single_table(int which, int sq)
{
    return single_by_square[C][which][sq];
}

// Whether the enemy of C is tied to its back ranks: king on its first rank or
// pawns still on its second.
template <int C>
inline bool seventh_rank_target(const Position* pos, int enemy_king)
{
    constexpr int O = 1 - C;
    const u64 enemy_second = rank_mask[rel_square<C>(square_at('a', 7))];
    return rel_rank<C>(enemy_king) == 7 || (pos->pawns[O] & enemy_second) != 0;
}

template <int C>
int eval_rooks(const Position* pos, const PawnHashEntry* entry, int phase, int enemy_king,
               int& attack)
{
    constexpr int O = 1 - C;
    int v = 0;
    u64 set = pos->rooks[C];
    while (set) {
        int sq = pop_lowest(set);
        int rank = sq >> 3, file = sq & 7;
        v += rank_mobility[sq][(pos->occupied >> (8 * rank)) & 127];
        v += file_mobility[sq][(pos->occupied_rot90 >> (8 * file)) & 127];
        v += pst<C>(PST_KIND_ROOK, phase, sq);
        u64 ahead = ray_ahead<C>(sq);
        if (ahead & passers_of<C>(entry))
            v += ROOK_BEHIND_PASSER;
        if (!(ahead & pos->pawns[C]))
            attack += ROOK_FILE_TROPISM[file_distance(sq, enemy_king)];
        if (!(file_mask[sq] & pos->pawns[C])) {
            if (!(file_mask[sq] & pos->pawns[O]))
                v += (ahead & pos->rooks[C]) ? ROOK_OPEN_FILE_DOUBLED : ROOK_OPEN_FILE;
            else
                v += ((weak_files_of<O>(entry) >> file) & 1) ? ROOK_HALF_OPEN_WEAK_PAWN
                                                             : ROOK_HALF_OPEN_FILE;
        }
        if (rel_rank<C>(sq) == 6 && seventh_rank_target<C>(pos, enemy_king)) {
            v += (rank_attacks_from(pos, sq) & (pos->queens[C] | pos->rooks[C]))
                     ? ROOK_SEVENTH_DOUBLED
                     : ROOK_SEVENTH;
            const u64 inner = C == WHITE ? rank7_inner_mask : rank2_inner_mask;
            if (phase == ENDGAME_PHASE && rel_rank<C>(enemy_king) == 7 && !(pos->pieces[O] & inner))
                v += ROOK_SEVENTH_KING_SHUT_IN;
        }
    }
    return v;
}

template <int C>
int eval_knights(const Position* pos, int phase, int enemy_king, int& attack)
{
    constexpr int O = 1 - C;
    int v = 0;
    u64 set = pos->knights[C];
    while (set) {
        int sq = pop_lowest(set);
        v += pst<C>(PST_KIND_KNIGHT, phase, sq);
        attack += KNIGHT_TROPISM[distance(sq, enemy_king)];
        int o = single_table<C>(SINGLE_OUTPOST, sq);
        if (o != 0 && !(span_ahead<C>(sq) & pos->pawns[O])) {
            int defenders = count_bits(pawns_attacking<C>(pos, sq));
            if (defenders >= 1) {
                int bonus = KNIGHT_OUTPOST_SCALE * o;
                v += bonus;
                if (pos->knights[O] == 0 && !(pos->bishops[O] & same_colour_squares(sq)))
                    v += bonus;
                v += bonus;
                if (defenders == KNIGHT_OUTPOST_BOTH_DEFENDERS)
                    v += bonus;
            }
        }
    }
    return v;
}

template <int C>
int eval_bishops(const Position* pos, int phase, int enemy_king, int& attack)
{
    constexpr int O = 1 - C;
    int v = 0;
    u64 set = pos->bishops[C];
    while (set) {
        int sq = pop_lowest(set);
        v += pst<C>(PST_KIND_BISHOP, phase, sq);
        v += diag_a1h8_mobility[sq][(pos->occupied_rot45 >> SHIFT45[sq]) & 127];
        v += diag_h1a8_mobility[sq][(pos->occupied_rot315 >> SHIFT315[sq]) & 127];
        attack += BISHOP_TROPISM[distance(sq, enemy_king)];
        int o = single_table<C>(SINGLE_OUTPOST, sq);
        if (o != 0 && !(span_ahead<C>(sq) & pos->pawns[O]) && pawns_attacking<C>(pos, sq))
            v += BISHOP_OUTPOST_SCALE * o;
        // Shut in behind the enemy pawns after taking on a7 or h7.
        const u64 enemy_pawns = pos->pawns[O];
        auto enemy_pawn_on = [&](char file, int rank) {
            return (enemy_pawns & bit(rel_square<C>(square_at(file, rank)))) != 0;
        };
        const int rs = rel_square<C>(sq);
        if ((rs == square_at('a', 7) || rs == square_at('b', 8)) && enemy_pawn_on('b', 6) &&
            enemy_pawn_on('c', 7))
            v -= TRAPPED_BISHOP_PENALTY;
        if ((rs == square_at('h', 7) || rs == square_at('g', 8)) && enemy_pawn_on('g', 6) &&
            enemy_pawn_on('f', 7))
            v -= TRAPPED_BISHOP_PENALTY;
    }
    return v;
}

template <int C>
int eval_queens(const Position* pos, int phase, int own_king, int enemy_king, int& attack,
                int& enemy_attack)
{
    int v = 0;
    u64 set = pos->queens[C];
    while (set) {
        int sq = pop_lowest(set);
        v += pst<C>(PST_KIND_QUEEN, phase, sq);
        attack += QUEEN_TROPISM[distance(sq, enemy_king)];
        enemy_attack += QUEEN_KING_DISTANCE[distance(sq, own_king)];
        if (rel_rank<C>(sq) == 6 && seventh_rank_target<C>(pos, enemy_king) &&
            (rank_attacks_from(pos, sq) & (pos->queens[C] | pos->rooks[C])))
            v += QUEEN_SEVENTH_DOUBLED;
    }
    return v;
}

// Kings in the opening and middle game: square, rook shut in by its own king,
// fianchetto and the hole in front of a castled king.
template <int C>
int eval_king_shelter_terms(const Position* pos, int phase, int king)
{
    constexpr int O = 1 - C;
    int v = pst<C>(PST_KIND_KING, phase, king);
    if (pos->rooks[C] & trapped_rook_mask[king])
        v -= ROOK_TRAPPED_BY_KING_PENALTY;
    const int file = king & 7;
    const bool own_g2 = (pos->pawns[C] & bit(rel_square<C>(square_at('g', 2)))) != 0;
    const bool own_b2 = (pos->pawns[C] & bit(rel_square<C>(square_at('b', 2)))) != 0;
    if (pos->bishops[C]) {
        const u64 kingside = C == WHITE ? pattern_g2_f3_h3 : pattern_g7_f6_h6;
        const u64 queenside = C == WHITE ? pattern_b2_a3_c3 : pattern_b7_a6_c6;
        if ((file >= 5 && !own_g2 && (pos->bishops[C] & kingside)) ||
            (file <= 2 && !own_b2 && (pos->bishops[C] & queenside)))
            v += FIANCHETTO_BONUS;
    }
    if (rel_rank<C>(king) == 0 && pos->queens[O]) {
        const u64 intruders = pos->pawns[O] | pos->bishops[O];
        if (file >= 5 && !own_g2 && (intruders & bit(rel_square<C>(square_at('f', 3)))))
            v -= KING_HOLE_PENALTY;
        if (file <= 2 && !own_b2 && (intruders & bit(rel_square<C>(square_at('c', 3)))))
            v -= KING_HOLE_PENALTY;
    }
    return v;
}

template <int C>
int eval_blocked_passers(const Position* pos, const PawnHashEntry* entry)
{
    constexpr int O = 1 - C;
    int v = 0;
    u64 set = passers_of<C>(entry);
    while (set) {
        int sq = pop_lowest(set);
        int r = rel_rank<C>(sq);
        if (r == 7)
            continue; // a pawn on its last rank has no square in front
        int front = C == WHITE ? sq + 8 : sq - 8;
        if (pos->pieces[O] & bit(front))
            v -= PASSER_BLOCKED[r];
    }
    return v;
}

template <int C>
int eval_endgame_passers(const Position* pos, const PawnHashEntry* entry, int own_king,
                         int enemy_king)
{
    int v = 0;
    u64 set = passers_of<C>(entry);
    const bool own_move = pos->side_to_move == C;
    while (set) {
        int sq = pop_lowest(set);
        int r = rel_rank<C>(sq);
        const u64 outside = outside_square<C>(sq, own_move);
        if ((outside & bit(enemy_king)) && !(ray_ahead<C>(sq) & pos->occupied))
            v += PASSER_UNCATCHABLE[r];
        if ((r == 5 || r == 6) && rel_rank<C>(own_king) >= r && file_distance(own_king, sq) == 1)
            v += PASSER_KING_SUPPORT[r];
        if (ray_behind<C>(sq) & pos->rooks[C])
            v += PASSER_ROOK_BEHIND;
    }
    return v;
}

// A rook pawn (or several on one rook file) that the defending king stops.
template <int C>
bool rook_pawn_stopped(const Position* pos, int defending_king)
{
    const u64 pawns = pos->pawns[C];
    if (pawns == 0)
        return false;
    if ((pawns & ~FILE_A) != 0 && (pawns & ~FILE_H) != 0)
        return false;
    int front = C == WHITE ? highest_square(pawns) : lowest_square(pawns);
    return rel_rank<C>(defending_king) >= rel_rank<C>(front) &&
           file_distance(defending_king, front) <= 1;
}

// A bishop that cannot control the promotion square of its rook pawns.
template <int C>
bool wrong_bishop_draw(const Position* pos, int defending_king)
{
    constexpr int O = 1 - C;
    if (pos->phase[C] != PHASE_LONE_MINOR || pos->bishop_count[C] != 1 || pos->pawn_count[C] == 0)
        return false;
    if (pos->material[O] > piece_value[BISHOP - 1])
        return false;
    const u64 pawns = pos->pawns[C];
    if (pawns == 0 || pos->bishops[C] == 0)
        return false;
    const u64 bishop = pos->bishops[C];
    // The promotion corner of the a-file is light for white, dark for black.
    const u64 a_file_wrong = C == WHITE ? dark_square_mask : light_square_mask;
    const u64 h_file_wrong = C == WHITE ? light_square_mask : dark_square_mask;
    bool wrong = (!(pawns & ~FILE_A) && (bishop & a_file_wrong)) ||
                 (!(pawns & ~FILE_H) && (bishop & h_file_wrong));
    if (!wrong)
        return false;
    int front = C == WHITE ? highest_square(pawns) : lowest_square(pawns);
    return rel_rank<C>(defending_king) >= rel_rank<C>(front) &&
           file_distance(defending_king, front) <= 1;
}

// Material configurations that cannot be won. Returns true when the position
// is a draw outright; may also cancel a small material lead.
bool drawn_material(const Position* pos, int& score, int wk, int bk)
{
    const int wp = pos->pawn_count[WHITE], bp = pos->pawn_count[BLACK];
    const bool equal_majors = pos->major_count[WHITE] == pos->major_count[BLACK];
    if (wp == 0) {
        if (bp == 0 && pos->phase[WHITE] == pos->phase[BLACK])
            return true;
        if (bp <= DRAWISH_MAX_PAWNS && equal_majors && score >= 0 && score <= DRAWISH_MAX_LEAD)
            score = 0;
    }
    if (bp == 0 && wp <= DRAWISH_MAX_PAWNS && equal_majors && -score >= 0 &&
        -score <= DRAWISH_MAX_LEAD)
        score = 0;

    const int bishop_value = piece_value[BISHOP - 1];
    if (pos->material[WHITE] <= bishop_value && pos->material[BLACK] <= bishop_value) {
        if (pos->phase[WHITE] == PHASE_LONE_MINOR && bp <= DRAWISH_MAX_PAWNS)
            return true;
        if (pos->phase[BLACK] == PHASE_LONE_MINOR && wp <= DRAWISH_MAX_PAWNS)
            return true;
    }

    if (pos->phase[WHITE] == pos->phase[BLACK] && pos->phase[WHITE] >= 1 &&
        pos->phase[WHITE] <= PHASE_ROOK) {
        if (wp == 1 && bp == 0) {
            int p = lowest_square(pos->pawns[WHITE]);
            if ((bk & 7) == (p & 7) && (bk >> 3) > (p >> 3))
                return true;
        }
        if (bp == 1 && wp == 0) {
            int p = lowest_square(pos->pawns[BLACK]);
            if ((wk & 7) == (p & 7) && (wk >> 3) < (p >> 3))
                return true;
        }
    }

    if (wrong_bishop_draw<WHITE>(pos, bk))
        return true;
    if (wrong_bishop_draw<BLACK>(pos, wk))
        return true;
    return false;
}

// King placement in the endgame, by the wings the pawns stand on.
int eval_endgame_kings(const Position* pos, int wk, int bk)
{
    const u64 all_pawns = pos->pawns[WHITE] | pos->pawns[BLACK];
    const bool pieces_equal = pos->phase[WHITE] == pos->phase[BLACK] && pos->phase[WHITE] != 0;
    const bool no_pieces = pos->phase[WHITE] == 0 && pos->phase[BLACK] == 0;
    const int wf = wk & 7, bf = bk & 7;
    int v = 0;
    if (all_pawns && !(all_pawns & files_e_to_h)) {
        v += single_table<WHITE>(SINGLE_KING_END_QUEENSIDE, wk) -
             single_table<BLACK>(SINGLE_KING_END_QUEENSIDE, bk);
        if (pieces_equal)
            v -= (pos->material[WHITE] - pos->material[BLACK]) / 2;
        if (no_pieces) {
            if (bf >= 4 && wf <= bf - 2)
                v += KING_NEARER_PAWNS_BONUS;
            if (wf >= 4 && bf <= wf - 2)
                v -= KING_NEARER_PAWNS_BONUS;
        }
    } else if (all_pawns && !(all_pawns & files_a_to_d)) {
        v += single_table<WHITE>(SINGLE_KING_END_KINGSIDE, wk) -
             single_table<BLACK>(SINGLE_KING_END_KINGSIDE, bk);
        if (pieces_equal)
            v -= (pos->material[WHITE] - pos->material[BLACK]) / 2;
        if (no_pieces) {
            if (bf <= 3 && wf >= bf + 2)
                v += KING_NEARER_PAWNS_BONUS;
            if (wf <= 3 && bf >= wf + 2)
                v -= KING_NEARER_PAWNS_BONUS;
        }
    } else {
        v += single_table<WHITE>(SINGLE_KING_END_CENTRE, wk) -
             single_table<BLACK>(SINGLE_KING_END_CENTRE, bk);
    }
    return v;
}

inline int from_mover(const Position* pos, int white_view)
{
    return pos->side_to_move == WHITE ? white_view : -white_view;
}

// Pawn-pattern terms; false when the ending is a known draw.
inline bool eval_pawn_patterns(Position* pos, PawnHashEntry* entry, int phase, int wk, int bk,
                               int& score)
{
    const bool no_pieces = pos->phase[WHITE] == 0 && pos->phase[BLACK] == 0;
    const int flags = pawn_file_pattern[entry->white_files][entry->black_files];
    if (phase == ENDGAME_PHASE && no_pieces) {
        if (entry->white_passers)
            score += PAWN_ENDING_PASSER_BONUS;
        if (entry->black_passers)
            score -= PAWN_ENDING_PASSER_BONUS;
        if (flags & WHITE_OUTSIDE_PAWN)
            score += PAWN_ENDING_OUTSIDE_BONUS;
        if (flags & BLACK_OUTSIDE_PAWN)
            score -= PAWN_ENDING_OUTSIDE_BONUS;
        if (pos->pawn_count[BLACK] == 0 && rook_pawn_stopped<WHITE>(pos, bk))
            return false;
        if (pos->pawn_count[WHITE] == 0 && rook_pawn_stopped<BLACK>(pos, wk))
            return false;
        score += eval_pawn_race(pos, entry);
    }
    if (flags & WHITE_OUTSIDE_PAWN)
        score += PAWN_PATTERN_WEIGHT[phase];
    if (flags & BLACK_OUTSIDE_PAWN)
        score -= PAWN_PATTERN_WEIGHT[phase];
    return true;
}

inline int eval_minor_balance(const Position* pos)
{
    const int white_minors = pos->knight_count[WHITE] + pos->bishop_count[WHITE];
    const int black_minors = pos->knight_count[BLACK] + pos->bishop_count[BLACK];
    int score = 0;
    if (pos->major_count[WHITE] == pos->major_count[BLACK]) {
        if (white_minors > black_minors)
            score += MINOR_ADVANTAGE_BONUS;
        if (black_minors > white_minors)
            score -= MINOR_ADVANTAGE_BONUS;
    } else {
        if (white_minors >= black_minors + MINOR_SURPLUS_WITH_UNEQUAL_MAJORS)
            score += MINOR_ADVANTAGE_BONUS;
        if (black_minors >= white_minors + MINOR_SURPLUS_WITH_UNEQUAL_MAJORS)
            score -= MINOR_ADVANTAGE_BONUS;
    }
    return score;
}

// Piece terms, king shelter, bishop pair and king safety, white's view.
inline int eval_pieces(Position* pos, const PawnHashEntry* entry, int phase, int wk, int bk)
{
    int score = 0;
    int white_attack = 0;
    int black_attack = 0;
    score += eval_rooks<WHITE>(pos, entry, phase, bk, white_attack);
    score -= eval_rooks<BLACK>(pos, entry, phase, wk, black_attack);
    score += eval_knights<WHITE>(pos, phase, bk, white_attack);
    score -= eval_knights<BLACK>(pos, phase, wk, black_attack);
    score += eval_bishops<WHITE>(pos, phase, bk, white_attack);
    score -= eval_bishops<BLACK>(pos, phase, wk, black_attack);
    score += eval_queens<WHITE>(pos, phase, wk, bk, white_attack, black_attack);
    score -= eval_queens<BLACK>(pos, phase, bk, wk, black_attack, white_attack);

    if (phase <= LAST_KING_SAFETY_PHASE) {
        score += eval_king_shelter_terms<WHITE>(pos, phase, wk);
        score -= eval_king_shelter_terms<BLACK>(pos, phase, bk);
    }

    const int pawns_on_board = pos->pawn_count[WHITE] + pos->pawn_count[BLACK];
    const int pair_bonus =
        BISHOP_PAIR_BONUS[pawns_on_board < 0 ? 0
                                             : (pawns_on_board > BISHOP_PAIR_LAST_PAWN_COUNT
                                                    ? BISHOP_PAIR_LAST_PAWN_COUNT
                                                    : pawns_on_board)];
    if (pos->bishop_count[WHITE] == 2)
        score += pair_bonus;
    if (pos->bishop_count[BLACK] == 2)
        score -= pair_bonus;

    if (phase <= LAST_KING_SAFETY_PHASE) {
        KingDangers dangers;
        const int k = int16_t(eval_king_safety(pos, &dangers));
        const int total_phase = pos->phase[WHITE] + pos->phase[BLACK];
        const int db2 = dangers.black_king_danger * (pos->queens[WHITE] ? QUEEN_DANGER_FACTOR : 1);
        const int dw2 = dangers.white_king_danger * (pos->queens[BLACK] ? QUEEN_DANGER_FACTOR : 1);
        score += (total_phase * k) / KING_SAFETY_DIVISOR +
                 (total_phase * attack_scale(white_attack) * db2) / KING_SAFETY_DIVISOR -
                 (total_phase * attack_scale(black_attack) * dw2) / KING_SAFETY_DIVISOR;
    }
    return score;
}

// Endgame bishops: pawns fixed on the bishop's colour, and opposite bishops,
// which halve a bishop ending and pull a rook-and-bishop ending toward a draw.
inline void eval_endgame_bishops(const Position* pos, int& score)
{
    u64 white_bishop_colour = 0, black_bishop_colour = 0;
    if (pos->bishop_count[WHITE] == 1 && pos->bishops[WHITE]) {
        white_bishop_colour = same_colour_squares(lowest_square(pos->bishops[WHITE]));
        score -= BAD_BISHOP_PAWN_PENALTY * count_bits(pos->pawns[WHITE] & white_bishop_colour);
    }
    if (pos->bishop_count[BLACK] == 1 && pos->bishops[BLACK]) {
        black_bishop_colour = same_colour_squares(lowest_square(pos->bishops[BLACK]));
        score += BAD_BISHOP_PAWN_PENALTY * count_bits(pos->pawns[BLACK] & black_bishop_colour);
    }
    if (white_bishop_colour && black_bishop_colour && white_bishop_colour != black_bishop_colour) {
        if (pos->phase[WHITE] == PHASE_LONE_MINOR && pos->phase[BLACK] == PHASE_LONE_MINOR) {
            score /= 2;
        } else if (pos->phase[WHITE] == PHASE_ROOK_AND_MINOR &&
                   pos->phase[BLACK] == PHASE_ROOK_AND_MINOR) {
            if (pos->material[WHITE] > pos->material[BLACK])
                score -= OPPOSITE_BISHOPS_ROOKS_PULL;
            if (pos->material[BLACK] > pos->material[WHITE])
                score += OPPOSITE_BISHOPS_ROOKS_PULL;
        }
    }
}

} // namespace

// One rule for the evaluation and the pawn-hash prefetch in make_move: both
// must pick the same entry.
int get_game_phase(Position* pos)
{
    return game_phase_of(pos);
}

void reset_eval_counters()
{
    eval_calls = 0;
    eval_lazy_exits = 0;
    pawn_hash_probes = 0;
    pawn_hash_hits = 0;
}

int evaluate(Position* pos, int alpha, int beta)
{
    eval_calls++;
    const int phase = get_game_phase(pos);
    const int wk = eval_king_square(pos, WHITE);
    const int bk = eval_king_square(pos, BLACK);
    int score = pos->material[WHITE] - pos->material[BLACK];

    if (phase == ENDGAME_PHASE) {
        if (drawn_material(pos, score, wk, bk))
            return 0;
        score += eval_endgame_kings(pos, wk, bk);
    }

    PawnHashEntry scratch;
    PawnHashEntry* entry = lookup_pawn_hash(pos, phase, &scratch);
    if (entry != nullptr) {
        score += entry->score;
        if (!eval_pawn_patterns(pos, entry, phase, wk, bk, score))
            return 0;
    }
    score += eval_minor_balance(pos);

    const int lazy = from_mover(pos, score);
    if (lazy - lazy_margin >= beta) {
        eval_lazy_exits++;
        return beta;
    }
    if (lazy + lazy_margin <= alpha) {
        eval_lazy_exits++;
        return alpha;
    }
    const int estimate = score;

    score += eval_pieces(pos, entry, phase, wk, bk);

    if (entry != nullptr) {
        score += eval_blocked_passers<WHITE>(pos, entry);
        score -= eval_blocked_passers<BLACK>(pos, entry);
    }

    if (phase == ENDGAME_PHASE && entry != nullptr) {
        score += eval_endgame_passers<WHITE>(pos, entry, wk, bk);
        score -= eval_endgame_passers<BLACK>(pos, entry, bk, wk);
        eval_endgame_bishops(pos, score);
    }

    const int drift = std::abs(score - estimate);
    if (drift > lazy_margin)
        lazy_margin = drift;
    // Only a hand-made position (dozens of queens) gets near the mate range;
    // a static score must never read as a mate.
    if (score > MAX_STATIC_SCORE)
        score = MAX_STATIC_SCORE;
    if (score < -MAX_STATIC_SCORE)
        score = -MAX_STATIC_SCORE;
    return from_mover(pos, score);
}
