// Static exchange evaluation and the least-attacker search: hand-worked
// exchanges, the restoration of the position, the colour symmetry of the
// whole exchange under a half-turn of the board, and agreement with the
// exchange written as plain recursion.
#include <gtest/gtest.h>

#include "tests/search_support.h"

using namespace search_support;

namespace {

int sq(const char* name)
{
    return (name[1] - '1') * 8 + (name[0] - 'a');
}

TEST(OrderingExchange, HandWorkedExchanges)
{
    const struct {
        const char *fen, *from, *to;
        int gain;
        const char* what;
    } rows[] = {
        {"4k3/8/4p3/3n4/4P3/8/8/4K3 w - -", "e4", "d5", 200, "PxN, PxP"},
        {"4k3/8/2p5/3p4/8/8/8/3RK3 w - -", "d1", "d5", -300, "RxP defended by a pawn: cut short"},
        {"4k3/8/8/3r4/8/8/8/3QK3 w - -", "d1", "d5", 500, "QxR undefended"},
        {"r3k3/p7/8/8/8/8/R7/R3K3 w - -", "a2", "a7", 100, "RxP RxR RxR through the x-ray"},
        {"r3k3/p7/8/8/8/8/R7/4K3 w - -", "a2", "a7", -400, "RxP RxR"},
        {"4k3/5n2/8/4p3/8/3N1N2/8/4K3 w - -", "d3", "e5", 100, "NxP NxN NxN"},
        {"4k3/5n2/8/4p3/8/3N4/8/4K3 w - -", "d3", "e5", -200, "NxP NxN"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", "e5", "d6", 100, "en passant, undefended"},
        {"8/4k3/8/3pP3/8/8/8/4K3 w - d6", "e5", "d6", 0, "en passant, king recaptures"},
        {"4k3/8/8/8/8/8/8/4RK2 w - -", "e1", "e8", 32767, "the king itself"},
        {"4k3/8/8/8/8/3p4/2p5/3K4 w - -", "d1", "c2", 100 - 9900, "king takes a defended pawn"},
        {"3rk3/8/8/3n4/8/8/8/3QK3 w - -", "d1", "d5", 300 - 500,
         "QxN defended by a rook: cut short"},
        {"4k3/8/8/8/3p4/4P3/8/4K3 b - -", "d4", "e3", 100, "black PxP undefended"},
        {"4k3/8/8/8/3p4/4P3/5K2/8 b - -", "d4", "e3", 0, "black PxP, king recaptures"},
        {"3qk3/8/8/3p4/8/8/8/3RK3 w - -", "d1", "d5", 100 - 500, "RxP, QxR"},
        {"4k3/8/8/3b4/4P3/8/8/4K3 w - -", "e4", "d5", 300, "PxB"},
    };
    for (const auto& row : rows) {
        OwnedPosition pos = board_position(row.fen);
        EXPECT_EQ(eval_static_exchange(pos, sq(row.from), sq(row.to)), row.gain)
            << row.what << " in " << row.fen;
    }
}

TEST(OrderingExchange, LeastAttackerByKindThenSquare)
{
    const struct {
        const char *fen, *square;
        int colour;
        int expected; // square, or 64 for none
    } rows[] = {
        {"4k3/8/8/3p4/1NP1P3/8/8/4K3 w - -", "d5", WHITE, sq("c4")}, // pawns first, lowest
        {"4k3/8/2p1p3/3P4/8/8/8/4K3 w - -", "d5", BLACK, sq("e6")},  // black takes the highest
        {"4k3/8/8/3p4/8/4N3/6B1/4K3 w - -", "d5", WHITE, sq("e3")},  // knight before bishop
        {"4k3/8/8/3p4/8/8/6B1/3RK3 w - -", "d5", WHITE, sq("g2")},   // bishop before rook
        {"4k3/8/8/3p4/8/8/8/Q2RK3 w - -", "d5", WHITE, sq("d1")},    // rook before queen
        {"4k3/8/8/3p4/4K3/8/8/8 w - -", "d5", WHITE, sq("e4")},      // the king last
        {"4k3/8/8/3p4/8/8/8/4K3 w - -", "d5", WHITE, 64},
        {"4k3/8/8/3p4/8/8/3N4/3RK3 w - -", "d5", WHITE, 64},    // the rook is blocked
        {"r3k2r/8/8/8/8/8/8/4K3 w - -", "d8", BLACK, sq("a8")}, // a rook before the king
        {"r6r/8/8/8/8/8/8/4K1k1 w - -", "d8", BLACK, sq("h8")}, // equal rooks: the highest
        {"4k3/8/8/8/R6R/8/8/4K3 w - -", "d4", WHITE, sq("a4")}, // equal rooks: the lowest
    };
    for (const auto& row : rows) {
        OwnedPosition pos = board_position(row.fen);
        const int found = row.colour == WHITE ? find_least_attacker_white(pos, sq(row.square))
                                              : find_least_attacker_black(pos, sq(row.square));
        EXPECT_EQ(found, row.expected) << row.fen << " on " << row.square;
    }
}

// The position turned half round with the colours swapped: a1 <-> h8.
// Castling rights are dropped; the exchange does not read them.
std::string rotated_fen(const Position* pos)
{
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const int code = pos->board[63 - (rank * 8 + file)];
            if (code == 0) {
                ++empty;
                continue;
            }
            if (empty)
                fen += char('0' + empty);
            empty = 0;
            const char letter = " pnbrqk"[piece_kind(code)];
            fen += piece_colour(code) == WHITE ? letter : char(letter - 'a' + 'A');
        }
        if (empty)
            fen += char('0' + empty);
        if (rank)
            fen += '/';
    }
    fen += pos->side_to_move == WHITE ? " b - " : " w - ";
    const int ep = *pos->ep_top;
    if (ep == 0)
        return fen + "-";
    return fen + char('a' + ((63 - ep) & 7)) + char('1' + ((63 - ep) >> 3));
}

// The exchange as plain recursion on the position itself: the capture's gain
// less the best reply, or less nothing when replying loses, cut short when
// the recapture risks more than the capture gains; a king is never taken.
int recursive_exchange(Position* pos, int from, int to)
{
    const int mover = pos->board[from];
    const int target = pos->board[to];
    if (piece_kind(target) == KING)
        return 32767;
    const bool en_passant = target == EMPTY && piece_kind(mover) == PAWN && (from & 7) != (to & 7);
    int gain = en_passant ? 100 : piece_value_by_code[target];
    const u64 saved[4] = {pos->occupied, pos->occupied_rot90, pos->occupied_rot45,
                          pos->occupied_rot315};
    pos->board[to] = mover;
    pos->occupied &= ~(u64(1) << from);
    pos->occupied_rot90 &= ~(u64(1) << ROT90_INDEX[from]);
    pos->occupied_rot45 &= ~(u64(1) << ROT45_INDEX[from]);
    pos->occupied_rot315 &= ~(u64(1) << ROT315_INDEX[from]);
    const int attacker = piece_colour(mover) == WHITE ? find_least_attacker_black(pos, to)
                                                      : find_least_attacker_white(pos, to);
    if (attacker != 64) {
        const int risk = piece_value_by_code[mover] - piece_value_by_code[pos->board[attacker]];
        if (risk > gain) {
            gain -= risk;
        } else {
            const int reply = recursive_exchange(pos, attacker, to);
            gain -= reply > 0 ? reply : 0;
        }
    }
    pos->board[to] = target;
    pos->occupied = saved[0];
    pos->occupied_rot90 = saved[1];
    pos->occupied_rot45 = saved[2];
    pos->occupied_rot315 = saved[3];
    return gain;
}

TEST(OrderingExchange, RestoresThePositionAndIsSymmetricUnderColourRotation)
{
    int captures = 0;
    // Crowded lines of x-rays, then the suite's positions with their children.
    std::vector<std::string> fens = {
        "1q1r1k2/2b1r3/3n4/3p4/2P1P3/1B1R1N2/3Q4/3R2K1 w - -",
        "3r1k2/3q4/3r4/3n4/4P3/3R1B2/3Q4/3R2K1 b - -",
        "k7/8/2n1n3/1b3b2/3p4/1B3B2/2N1N3/K7 w - -",
    };
    for (const std::string& fen : perft_fens()) {
        // The suite's positions and, turned to vary the side to move, their children.
        fens.push_back(fen);
        OwnedPosition pos = board_position(fen.c_str());
        for (Move m : legal_moves(pos)) {
            make_move(pos, m);
            fens.push_back(rotated_fen(pos));
            unmake_move(pos, m);
        }
    }
    OwnedPosition pos = board_position(nullptr);
    OwnedPosition turned = board_position(nullptr);
    for (const std::string& fen : fens) {
        ASSERT_EQ(set_board(pos, fen.c_str()), 1) << fen;
        ASSERT_EQ(set_board(turned, rotated_fen(pos).c_str()), 1) << fen;
        Move list[MAX_MOVES];
        const int n = pos->side_to_move == WHITE ? gen_captures_white(pos, list)
                                                 : gen_captures_black(pos, list);
        for (int i = 0; i < n; ++i) {
            const Move m = list[i];
            if (move_promo(m) != 0)
                continue;
            int board_before[64];
            std::memcpy(board_before, pos->board, sizeof board_before);
            const u64 occ[4] = {pos->occupied, pos->occupied_rot90, pos->occupied_rot45,
                                pos->occupied_rot315};
            const int gain = eval_static_exchange(pos, move_from(m), move_to(m));
            ASSERT_EQ(std::memcmp(board_before, pos->board, sizeof board_before), 0) << fen;
            const u64 occ_after[4] = {pos->occupied, pos->occupied_rot90, pos->occupied_rot45,
                                      pos->occupied_rot315};
            ASSERT_EQ(std::memcmp(occ, occ_after, sizeof occ), 0) << fen;
            ASSERT_EQ(eval_static_exchange(turned, 63 - move_from(m), 63 - move_to(m)), gain)
                << fen << " move " << format_move_coord(m);
            ASSERT_EQ(recursive_exchange(pos, move_from(m), move_to(m)), gain)
                << fen << " move " << format_move_coord(m);
            // Nothing is won beyond the victim.
            if (piece_kind(move_captured(m)) != KING) {
                ASSERT_LE(gain, piece_value_by_code[move_captured(m)]);
            }
            ++captures;
        }
    }
    EXPECT_GT(captures, 2000);
}

} // namespace
