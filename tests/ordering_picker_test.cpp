// The staged move picker: every pseudo-legal move exactly once, in the stage
// order (hash move, winning captures, killers, quiet moves by history, losing
// captures), over the positions of the perft suite and all their children.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "search/evaluate.h"
#include "search/ordering.h"

namespace {

void init_tables_once()
{
    static bool done = false;
    if (!done) {
        init_bitboard_tables();
        init_hash_keys();
        done = true;
    }
}

Position* new_position(const std::string& fen)
{
    init_tables_once();
    Position* pos = create_position();
    setup_new_game(pos);
    EXPECT_EQ(set_board(pos, fen.c_str()), 1) << fen;
    return pos;
}

std::vector<std::string> perft_fens()
{
    std::vector<std::string> fens;
    std::ifstream in(std::string(QUARVEL_DATA_DIR) + "/perft/perft.epd");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line.substr(0, line.find(';')));
        std::string fen, word;
        for (int i = 0; i < 4 && fields >> word; ++i)
            fen += (i ? " " : "") + word;
        if (!fen.empty())
            fens.push_back(fen);
    }
    return fens;
}

std::vector<Move> generate(Position* pos, int (*white)(Position*, Move*), int (*black)(Position*, Move*))
{
    std::vector<Move> list(MAX_MOVES);
    const int n = pos->side_to_move == WHITE ? white(pos, list.data()) : black(pos, list.data());
    list.resize(size_t(n));
    return list;
}

std::vector<Move> legal_moves(Position* pos)
{
    std::vector<Move> list(MAX_MOVES);
    int n = gen_all_moves(pos, list.data());
    n = remove_illegal_moves(pos, list.data(), n);
    list.resize(size_t(n));
    return list;
}

// Score the picker gives a capture or promotion (no recapture bonus at ply 1
// with no previous move).
int capture_score(Position* pos, Move m)
{
    switch (move_promo(m)) {
    case PROMO_KNIGHT: return -3000;
    case PROMO_BISHOP: return -2000;
    case PROMO_ROOK: return -1000;
    case PROMO_QUEEN: return eval_static_exchange(pos, move_from(m), move_to(m)) + piece_value[QUEEN - 1];
    default: break;
    }
    int s = piece_value_by_code[move_captured(m)] - piece_value_by_code[move_piece(m)];
    return s <= 0 ? eval_static_exchange(pos, move_from(m), move_to(m)) : s;
}

struct PickerSetup {
    Move hash = 0;
    Move killer_new = 0;
    Move killer_old = 0;
};

std::vector<Move> run_picker(Position* pos, const PickerSetup& setup, int ply = 1)
{
    pos->move_list_end[ply - 1] = 7;   // this ply's moves start behind someone else's
    pos->current_move[ply - 1] = 0;
    pos->in_check[ply] = is_in_check(pos, pos->side_to_move);
    pos->hash_move[ply] = setup.hash;
    pos->killers[ply][1] = setup.killer_new;
    pos->killers[ply][0] = setup.killer_old;
    std::vector<Move> picked;
    for (Move m = pick_first_move(pos, ply); m != 0; m = pick_next_move(pos, ply)) {
        picked.push_back(m);
        if (picked.size() > 2 * MAX_MOVES)
            break;
    }
    return picked;
}

bool contains(const std::vector<Move>& list, Move m) { return std::find(list.begin(), list.end(), m) != list.end(); }

// Checks one picker run against the generators and the stage order.
void check_picker(Position* pos, const PickerSetup& setup, const std::string& where)
{
    const int history_side = pos->side_to_move;
    const std::vector<Move> picked = run_picker(pos, setup);
    SCOPED_TRACE(where);

    // Exactly once: the picked multiset equals the generated set.
    const bool in_check = is_in_check(pos, pos->side_to_move);
    std::vector<Move> expected;
    std::vector<Move> captures, quiets;
    if (in_check) {
        expected = generate(pos, gen_evasions_white, gen_evasions_black);
    } else {
        captures = generate(pos, gen_captures_white, gen_captures_black);
        quiets = generate(pos, gen_quiet_white, gen_quiet_black);
        expected = captures;
        expected.insert(expected.end(), quiets.begin(), quiets.end());
    }
    std::vector<Move> a = picked, b = expected;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    ASSERT_EQ(a, b) << "picked " << picked.size() << " of " << expected.size();
    for (Move m : legal_moves(pos))
        ASSERT_TRUE(contains(picked, m)) << "legal move missing: " << format_move_coord(m);

    if (in_check) {
        if (contains(expected, setup.hash) && expected.size() > 1) {
            ASSERT_EQ(picked[0], setup.hash);
        }
        return;
    }

    // Stage order out of check.
    size_t i = 0;
    Move hash = setup.hash;
    if (hash != 0 && contains(expected, hash)) {
        ASSERT_EQ(picked[i], hash);
        ++i;
    } else {
        hash = 0;
    }
    std::vector<Move> good, bad;
    for (Move m : captures)
        if (m != hash)
            (capture_score(pos, m) >= 0 ? good : bad).push_back(m);
    int last = 0x7fffffff;
    for (size_t k = 0; k < good.size(); ++k, ++i) {
        ASSERT_TRUE(contains(good, picked[i])) << "position " << i << " should be a winning capture";
        const int s = capture_score(pos, picked[i]);
        ASSERT_LE(s, last);
        last = s;
    }
    for (int slot = 1; slot >= 0; --slot) {
        const Move killer = slot == 1 ? setup.killer_new : setup.killer_old;
        if (slot == 0 && killer == setup.killer_new)
            continue;
        if (killer != 0 && killer != hash && contains(quiets, killer)) {
            ASSERT_EQ(picked[i], killer);
            ++i;
        }
    }
    last = 0x7fffffff;
    for (; i < picked.size() && contains(quiets, picked[i]); ++i) {
        const int s = history[history_side][picked[i] & 0xfff];
        ASSERT_LE(s, last);
        last = s;
    }
    last = 0x7fffffff;
    size_t bad_seen = 0;
    for (; i < picked.size(); ++i, ++bad_seen) {
        ASSERT_TRUE(contains(bad, picked[i])) << "tail holds only losing captures";
        const int s = capture_score(pos, picked[i]);
        ASSERT_LE(s, last);
        last = s;
    }
    ASSERT_EQ(bad_seen, bad.size());
}

TEST(OrderingPicker, EveryMoveExactlyOnceInStageOrderOverPerftSuiteAndChildren)
{
    const std::vector<std::string> fens = perft_fens();
    ASSERT_GE(fens.size(), 100u);
    std::srand(12345);
    for (int& h : history[0]) h = std::rand() % 5000;
    for (int& h : history[1]) h = std::rand() % 5000;

    const bool sanitized = std::getenv("QUARVEL_SANITIZED") != nullptr;
    const size_t stride = sanitized ? 3 : 1;
    int positions = 0, in_check_positions = 0;
    Move foreign_quiet = 0;   // a quiet move from another position, often invalid here
    for (size_t f = 0; f < fens.size(); f += stride) {
        Position* pos = new_position(fens[f]);
        const std::vector<Move> children = legal_moves(pos);
        // The position itself (child -1), then each child in turn.
        for (int child = -1; child < int(children.size()); ++child) {
            if (child >= 0)
                make_move(pos, children[size_t(child)]);
            ++positions;
            if (is_in_check(pos, pos->side_to_move))
                ++in_check_positions;
            const std::vector<Move> caps = generate(pos, gen_captures_white, gen_captures_black);
            const std::vector<Move> quiet = generate(pos, gen_quiet_white, gen_quiet_black);
            const std::vector<Move> evasions = is_in_check(pos, pos->side_to_move)
                                                   ? generate(pos, gen_evasions_white, gen_evasions_black)
                                                   : std::vector<Move>{};
            std::vector<PickerSetup> setups(1);
            PickerSetup s;
            if (!caps.empty()) s.hash = caps[caps.size() / 2];
            if (quiet.size() > 1) { s.killer_new = quiet[quiet.size() - 1]; s.killer_old = quiet[0]; }
            setups.push_back(s);
            s = PickerSetup{};
            if (!quiet.empty()) { s.hash = quiet[quiet.size() / 3]; s.killer_new = s.hash; }
            if (quiet.size() > 2) s.killer_old = quiet[2];
            setups.push_back(s);
            s = PickerSetup{};
            s.hash = Move(0x7fffffffu & (unsigned(foreign_quiet) * 7u + 12345u));   // junk
            s.killer_new = foreign_quiet;
            s.killer_old = !caps.empty() ? (caps[0] & ~(63 << 16)) : 0;  // a capture stripped to look quiet
            setups.push_back(s);
            if (!evasions.empty()) {
                s = PickerSetup{};
                s.hash = evasions.back();
                setups.push_back(s);
            }
            for (size_t k = 0; k < setups.size(); ++k) {
                char where[160];
                std::snprintf(where, sizeof where, "%s child=%d setup=%zu", fens[f].c_str(), child, k);
                check_picker(pos, setups[k], where);
                if (::testing::Test::HasFatalFailure())
                    return;
            }
            if (!quiet.empty())
                foreign_quiet = quiet[quiet.size() / 2];
            if (child >= 0)
                unmake_move(pos, children[size_t(child)]);
        }
        destroy_position(pos);
    }
    EXPECT_GT(positions, int(2000 / stride));
    std::printf("%d positions, %d of them in check\n", positions, in_check_positions);
    EXPECT_GT(in_check_positions, int(60 / stride));
}

TEST(OrderingPicker, SingleEvasionIsReturnedWithSingleReplyAndNothingElse)
{
    // White king h1 checked along the first rank, g2 and h2 covered by the
    // rook on b2: the only reply is Rxa1.
    Position* pos = new_position("R7/8/8/7k/8/8/1r6/r6K w - -");
    pos->in_check[1] = 1;
    pos->move_list_end[0] = 0;
    const Move first = pick_first_move(pos, 1);
    ASSERT_NE(first, 0);
    EXPECT_EQ(first, make_move_code(56, 0, W_ROOK, B_ROOK, 0));
    EXPECT_EQ(pos->single_reply, 1);
    EXPECT_EQ(pick_next_move(pos, 1), 0);
    EXPECT_EQ(pos->single_reply, 0);
    destroy_position(pos);
}

TEST(OrderingPicker, HashMoveThatCapturesIsHandedOutOnce)
{
    Position* pos = new_position("4k3/8/8/3p4/4P3/8/8/4K3 w - -");
    const Move exd5 = make_move_code(28, 35, W_PAWN, B_PAWN, 0);
    PickerSetup s;
    s.hash = exd5;
    const std::vector<Move> picked = run_picker(pos, s);
    ASSERT_FALSE(picked.empty());
    EXPECT_EQ(picked[0], exd5);
    EXPECT_EQ(std::count(picked.begin(), picked.end(), exd5), 1);
    destroy_position(pos);
}

TEST(OrderingPicker, KillerWhoseSquareIsNowOccupiedIsNotHandedOutAsKiller)
{
    // Killer Nb1-c3 stored from another position; here c3 holds a black pawn.
    Position* pos = new_position("4k3/8/8/8/8/2p5/8/1N2K3 w - -");
    const Move killer = make_move_code(1, 18, W_KNIGHT, 0, 0);
    PickerSetup s;
    s.killer_new = killer;
    const std::vector<Move> picked = run_picker(pos, s);
    EXPECT_FALSE(contains(picked, killer));
    // The real capture Nxc3 is there, once, as a capture.
    EXPECT_EQ(std::count(picked.begin(), picked.end(), make_move_code(1, 18, W_KNIGHT, B_PAWN, 0)), 1);
    destroy_position(pos);
}

TEST(OrderingPicker, UnderPromotionsComeLastInRookBishopKnightOrder)
{
    // b7-b8 promotions; a losing capture Qxd7 (defended by the king) is scored
    // below zero but above the under-promotions.
    Position* pos = new_position("4k3/1P1p4/8/8/8/8/8/3QK3 w - -");
    const std::vector<Move> picked = run_picker(pos, PickerSetup{});
    ASSERT_GE(picked.size(), 5u);
    const size_t n = picked.size();
    EXPECT_EQ(move_promo(picked[n - 1]), PROMO_KNIGHT);
    EXPECT_EQ(move_promo(picked[n - 2]), PROMO_BISHOP);
    EXPECT_EQ(move_promo(picked[n - 3]), PROMO_ROOK);
    EXPECT_EQ(picked[n - 4], make_move_code(3, 51, W_QUEEN, B_PAWN, 0));
    EXPECT_EQ(move_promo(picked[0]), PROMO_QUEEN);
    destroy_position(pos);
}

TEST(OrderingPicker, RecaptureOnThePreviousSquareGetsTheBonus)
{
    // Two equal-valued captures NxN: the one on the square the opponent just
    // moved to comes first whichever the generator lists first.
    Position* pos = new_position("4k3/8/8/2n1n3/8/3N4/8/4K3 w - -");
    for (int square : {34, 36}) {
        pos->move_list_end[0] = 0;
        pos->current_move[0] = make_move_code(square + 8, square, B_KNIGHT, 0, 0);
        pos->in_check[1] = 0;
        pos->hash_move[1] = 0;
        pos->killers[1][0] = pos->killers[1][1] = 0;
        const Move first = pick_first_move(pos, 1);
        EXPECT_EQ(move_to(first), square);
    }
    destroy_position(pos);
}

TEST(OrderingPicker, SortKeepsTheOrderOfEqualKeysAsSpecified)
{
    struct Row {
        std::vector<int> scores;
        std::vector<int> expected_moves;   // moves are 1..n in input order
    };
    const std::vector<Row> rows = {
        {{5, 3, 3}, {1, 2, 3}},
        {{3, 5, 4}, {2, 3, 1}},
        {{1, 1, 1, 1}, {1, 2, 3, 4}},
        {{0, 9}, {2, 1}},
        {{7}, {1}},
    };
    for (const Row& row : rows) {
        std::vector<Move> moves(row.scores.size());
        for (size_t i = 0; i < moves.size(); ++i) moves[i] = Move(i + 1);
        std::vector<int> scores = row.scores;
        sort_moves(moves.data(), scores.data(), int(moves.size()));
        EXPECT_EQ(moves, row.expected_moves);
    }
}

TEST(OrderingPicker, IsLegalMoveAndRootMovesAgreeWithTheLegalityFilter)
{
    const std::vector<std::string> fens = perft_fens();
    for (size_t f = 0; f < fens.size(); f += 4) {
        Position* pos = new_position(fens[f]);
        const std::vector<Move> legal = legal_moves(pos);
        pos->search_moves[0] = 0;
        build_root_moves(pos);
        std::vector<Move> root;
        for (int i = 0; i < pos->root_count; ++i) root.push_back(pos->root_moves[i].move);
        std::vector<Move> a = root, b = legal;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        ASSERT_EQ(a, b) << fens[f];
        for (Move m : generate(pos, gen_captures_white, gen_captures_black))
            ASSERT_EQ(is_legal_move(pos, m), contains(legal, m) ? 1 : 0) << fens[f];
        for (Move m : generate(pos, gen_quiet_white, gen_quiet_black))
            ASSERT_EQ(is_legal_move(pos, m), contains(legal, m) ? 1 : 0) << fens[f];
        EXPECT_EQ(is_legal_move(pos, 0), 0);
        // searchmoves restricts the list, keeping picker order.
        if (legal.size() >= 2) {
            pos->search_moves[0] = legal[1];
            pos->search_moves[1] = legal[0];
            pos->search_moves[2] = 0;
            build_root_moves(pos);
            ASSERT_EQ(pos->root_count, 2);
            pos->search_moves[0] = 0;
        }
        destroy_position(pos);
    }
}

TEST(OrderingPicker, KillersAndHistoryUpdate)
{
    Position* pos = new_position("4k3/8/8/8/8/8/8/R3K3 w - -");
    for (auto& k : pos->killers) k[0] = k[1] = 0;
    std::fill(&history[0][0], &history[0][0] + 2 * 4096, 0);
    pos->in_check[3] = 0;
    const Move a = make_move_code(0, 8, W_ROOK, 0, 0);
    const Move b = make_move_code(0, 16, W_ROOK, 0, 0);
    update_killers_history(pos, a, 3, 12);
    update_killers_history(pos, a, 3, 24);
    EXPECT_EQ(pos->killers[3][1], a);
    EXPECT_EQ(pos->killers[3][0], 0);
    EXPECT_EQ(history[WHITE][a & 0xfff], 144 + 576);
    update_killers_history(pos, b, 3, 12);
    EXPECT_EQ(pos->killers[3][1], b);
    EXPECT_EQ(pos->killers[3][0], a);
    // Captures, promotions and positions in check change nothing.
    update_killers_history(pos, make_move_code(0, 56, W_ROOK, B_KNIGHT, 0), 3, 12);
    update_killers_history(pos, make_move_code(52, 60, W_PAWN, 0, PROMO_QUEEN), 3, 12);
    pos->in_check[3] = 1;
    update_killers_history(pos, a, 3, 12);
    EXPECT_EQ(pos->killers[3][1], b);
    EXPECT_EQ(pos->killers[3][0], a);
    EXPECT_EQ(history[WHITE][a & 0xfff], 720);
    // Very deep, very many cut-offs: the entry saturates instead of wrapping.
    pos->in_check[3] = 0;
    for (int i = 0; i < 10000; ++i) update_killers_history(pos, a, 3, 768);
    EXPECT_GT(history[WHITE][a & 0xfff], 0);
    std::fill(&history[0][0], &history[0][0] + 2 * 4096, 0);
    destroy_position(pos);
}

}  // namespace
