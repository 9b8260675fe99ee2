// Static exchange evaluation and the least valuable attacker of a square.
#include "search/exchange.h"

#include "board/board.h"
#include "search/evaluate.h"

namespace {

constexpr int KING_CAPTURE_SCORE = 32767;

inline int exchange_value(int code)
{
    return piece_value_by_code[code];
}

// The occupancy an exchange sees, in the four forms the slider tables read.
// The exchange takes its pieces off this copy, never off the position.
struct ExchangeOccupancy {
    u64 occupied, rot90, rot45, rot315;
};

inline ExchangeOccupancy occupancy_of(const Position* pos)
{
    return {pos->occupied, pos->occupied_rot90, pos->occupied_rot45, pos->occupied_rot315};
}

inline void take_off(ExchangeOccupancy& occ, int square)
{
    occ.occupied &= ~(u64(1) << square);
    occ.rot90 &= ~(u64(1) << ROT90_INDEX[square]);
    occ.rot45 &= ~(u64(1) << ROT45_INDEX[square]);
    occ.rot315 &= ~(u64(1) << ROT315_INDEX[square]);
}

// Pieces taken off the occupancy by the exchange must neither attack nor
// block, so every piece set is masked with the current occupancy. White
// prefers the lowest square among equal attackers, black the highest.
template <int colour>
int least_attacker(const Position* pos, const ExchangeOccupancy& occ, int square)
{
    const u64 occupied = occ.occupied;
    auto pick = [](u64 set) { return colour == WHITE ? lowest_square(set) : highest_square(set); };
    const u64* pawn_table = colour == WHITE ? pawn_attacks_black : pawn_attacks_white;

    u64 set = pos->pawns[colour] & pawn_table[square] & occupied;
    if (set)
        return pick(set);
    set = pos->knights[colour] & knight_attacks[square] & occupied;
    if (set)
        return pick(set);
    const u64 diagonal = diagonal_attacks(occ.rot45, occ.rot315, square);
    set = pos->bishops[colour] & diagonal & occupied;
    if (set)
        return pick(set);
    const u64 straight = straight_attacks(occupied, occ.rot90, square);
    set = pos->rooks[colour] & straight & occupied;
    if (set)
        return pick(set);
    set = pos->queens[colour] & (diagonal | straight) & occupied;
    if (set)
        return pick(set);
    const int king = pos->king_square[colour];
    const int rank_distance = square_rank(king) - square_rank(square);
    const int file_distance = square_file(king) - square_file(square);
    if (rank_distance >= -1 && rank_distance <= 1 && file_distance >= -1 && file_distance <= 1 &&
        king != square && (occupied & (u64(1) << king)) &&
        pos->board[king] == make_piece(colour, KING))
        return king;
    return 64;
}

// Each capture takes one attacker of the square off: the first mover plus at
// most 8 knights, 27 pieces on the lines through the square (pawns and king
// among them) stay well below this.
constexpr int MAX_EXCHANGE_CAPTURES = 64;

} // namespace

// The exchange is the recursion "the capture's gain less the best reply, or
// less nothing when replying loses": the captures are played out forward on
// a copy of the occupancy, keeping each one's gain, until a side runs out of
// attackers or a recapture already loses more than the capture gained; the
// replies are then folded back from the last capture to the first.
int eval_static_exchange(Position* pos, int from, int to)
{
    int mover = pos->board[from];
    const int target = pos->board[to];
    if (piece_kind(target) == KING)
        return KING_CAPTURE_SCORE;
    int gain;
    if (target == EMPTY && piece_kind(mover) == PAWN && square_file(from) != square_file(to))
        gain = 100; // en passant
    else
        gain = exchange_value(target);

    ExchangeOccupancy occ = occupancy_of(pos);
    int gains[MAX_EXCHANGE_CAPTURES];
    int count = 0;
    int result;
    for (;;) {
        take_off(occ, from);
        const int attacker = piece_colour(mover) == WHITE ? least_attacker<BLACK>(pos, occ, to)
                                                          : least_attacker<WHITE>(pos, occ, to);
        if (attacker == 64) {
            result = gain;
            break;
        }
        const int replier = pos->board[attacker];
        const int risk = exchange_value(mover) - exchange_value(replier);
        if (risk > gain) {
            result = gain - risk;
            break;
        }
        gains[count++] = gain;
        if (piece_kind(mover) == KING) {
            result = KING_CAPTURE_SCORE;
            break;
        }
        gain = exchange_value(mover);
        from = attacker;
        mover = replier;
    }
    while (count > 0) {
        const int captured_back = result > 0 ? result : 0;
        result = gains[--count] - captured_back;
    }
    return result;
}

int find_least_attacker_white(Position* pos, int square)
{
    return least_attacker<WHITE>(pos, occupancy_of(pos), square);
}

int find_least_attacker_black(Position* pos, int square)
{
    return least_attacker<BLACK>(pos, occupancy_of(pos), square);
}
