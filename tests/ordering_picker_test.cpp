// The staged move picker: every pseudo-legal move exactly once, in the stage
// order (hash move, winning captures, killers, quiet moves by history, losing
// captures), over the positions of the perft suite and all their children.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "tests/search_support.h"

using namespace search_support;

namespace {

std::vector<Move> generate(Position* pos, int (*white)(Position*, Move*),
                           int (*black)(Position*, Move*))
{
    std::vector<Move> list(MAX_MOVES);
    list.resize(
        size_t(pos->side_to_move == WHITE ? white(pos, list.data()) : black(pos, list.data())));
    return list;
}

std::vector<Move> sorted(std::vector<Move> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

bool contains(const std::vector<Move>& list, Move m)
{
    return std::find(list.begin(), list.end(), m) != list.end();
}

// Score a capture or promotion should get (no recapture bonus at ply 1 with
// no previous move), recomputed here: under-promotions last, the
// queen promotion and losing-looking captures by static exchange, the rest
// by victim minus attacker.
int capture_score(Position* pos, Move m)
{
    switch (move_promo(m)) {
        case PROMO_KNIGHT: return -3000;
        case PROMO_BISHOP: return -2000;
        case PROMO_ROOK: return -1000;
        case PROMO_QUEEN:
            return eval_static_exchange(pos, move_from(m), move_to(m)) + piece_value[QUEEN - 1];
        default: break;
    }
    const int s = piece_value_by_code[move_captured(m)] - piece_value_by_code[move_piece(m)];
    return s <= 0 ? eval_static_exchange(pos, move_from(m), move_to(m)) : s;
}

struct PickerSetup {
    Move hash = 0, killer_new = 0, killer_old = 0;
};

std::vector<Move> run_picker(Position* pos, const PickerSetup& setup)
{
    pos->move_list_end[0] = 7; // this ply's moves start behind someone else's
    pos->current_move[0] = 0;
    pos->in_check[1] = is_in_check(pos, pos->side_to_move);
    pos->hash_move[1] = setup.hash;
    pos->killers[1][1] = setup.killer_new;
    pos->killers[1][0] = setup.killer_old;
    std::vector<Move> picked;
    for (Move m = pick_first_move(pos, 1); m != 0 && picked.size() <= 2 * MAX_MOVES;
         m = pick_next_move(pos, 1))
        picked.push_back(m);
    return picked;
}

// Asserts that scores along picked[i..] (while in `group`) never rise.
void expect_group_descending(const std::vector<Move>& picked, size_t& i, size_t count,
                             const std::vector<Move>& group, const std::function<int(Move)>& score)
{
    int last = 0x7fffffff;
    for (size_t k = 0; k < count; ++k, ++i) {
        ASSERT_LT(i, picked.size());
        ASSERT_TRUE(contains(group, picked[i])) << "position " << i << " is in the wrong stage";
        ASSERT_LE(score(picked[i]), last);
        last = score(picked[i]);
    }
}

void check_picker(Position* pos, const PickerSetup& setup)
{
    const int side = pos->side_to_move;
    const std::vector<Move> picked = run_picker(pos, setup);
    const bool in_check = is_in_check(pos, side);
    std::vector<Move> expected, captures, quiets;
    if (in_check) {
        expected = generate(pos, gen_evasions_white, gen_evasions_black);
    } else {
        captures = generate(pos, gen_captures_white, gen_captures_black);
        quiets = generate(pos, gen_quiet_white, gen_quiet_black);
        expected = captures;
        expected.insert(expected.end(), quiets.begin(), quiets.end());
    }
    // Exactly once: the picked multiset equals the generated set.
    ASSERT_EQ(sorted(picked), sorted(expected))
        << "picked " << picked.size() << " of " << expected.size();
    for (Move m : legal_moves(pos))
        ASSERT_TRUE(contains(picked, m)) << "legal move missing: " << format_move_coord(m);
    if (in_check) {
        if (contains(expected, setup.hash) && expected.size() > 1) {
            ASSERT_EQ(picked[0], setup.hash);
        }
        return;
    }
    size_t i = 0;
    const Move hash = contains(expected, setup.hash) ? setup.hash : 0;
    if (hash != 0) {
        ASSERT_EQ(picked[i++], hash);
    }
    std::vector<Move> good, bad;
    for (Move m : captures)
        if (m != hash)
            (capture_score(pos, m) >= 0 ? good : bad).push_back(m);
    auto by_capture = [pos](Move m) { return capture_score(pos, m); };
    ASSERT_NO_FATAL_FAILURE(expect_group_descending(picked, i, good.size(), good, by_capture));
    for (Move killer :
         {setup.killer_new, setup.killer_old == setup.killer_new ? Move(0) : setup.killer_old})
        if (killer != 0 && killer != hash && contains(quiets, killer)) {
            ASSERT_EQ(picked[i++], killer);
        }
    size_t quiet_count = 0;
    while (i + quiet_count < picked.size() && contains(quiets, picked[i + quiet_count]))
        ++quiet_count;
    auto by_history = [side](Move m) { return history[side][m & 0xfff]; };
    ASSERT_NO_FATAL_FAILURE(expect_group_descending(picked, i, quiet_count, quiets, by_history));
    ASSERT_EQ(picked.size() - i, bad.size()) << "the tail holds only losing captures";
    ASSERT_NO_FATAL_FAILURE(expect_group_descending(picked, i, bad.size(), bad, by_capture));
}

TEST(OrderingPicker, EveryMoveExactlyOnceInStageOrderOverPerftSuiteAndChildren)
{
    const std::vector<std::string> fens = perft_fens();
    ASSERT_GE(fens.size(), 100u);
    init_engine_once();
    std::srand(12345);
    for (int& h : history[0])
        h = std::rand() % 5000;
    for (int& h : history[1])
        h = std::rand() % 5000;
    const size_t stride = sanitized() ? 3 : 1;
    int positions = 0, in_check_positions = 0;
    Move foreign_quiet = 0; // a quiet move from another position, often invalid here
    for (size_t f = 0; f < fens.size(); f += stride) {
        OwnedPosition pos = board_position(fens[f].c_str());
        const std::vector<Move> children = legal_moves(pos);
        for (int child = -1; child < int(children.size()); ++child) { // -1: the position itself
            if (child >= 0)
                make_move(pos, children[size_t(child)]);
            ++positions;
            const bool in_check = is_in_check(pos, pos->side_to_move);
            in_check_positions += in_check;
            const std::vector<Move> caps = generate(pos, gen_captures_white, gen_captures_black);
            const std::vector<Move> quiet = generate(pos, gen_quiet_white, gen_quiet_black);
            auto at = [](const std::vector<Move>& list, size_t i) {
                return i < list.size() ? list[i] : Move(0);
            };
            const size_t nq = quiet.size();
            std::vector<PickerSetup> setups = {
                {},
                {at(caps, caps.size() / 2), nq > 1 ? quiet.back() : 0, nq > 1 ? quiet[0] : 0},
                {at(quiet, nq / 3), at(quiet, nq / 3), at(quiet, 2)}, // hash move also a killer
                // Junk hash move, a foreign killer, a capture stripped to look quiet.
                {Move(0x7fffffffu & (unsigned(foreign_quiet) * 7u + 12345u)), foreign_quiet,
                 caps.empty() ? 0 : (caps[0] & ~(63 << 16))},
            };
            if (in_check)
                setups.push_back(
                    {generate(pos, gen_evasions_white, gen_evasions_black).back(), 0, 0});
            for (size_t k = 0; k < setups.size(); ++k) {
                SCOPED_TRACE(testing::Message() << fens[f] << " child=" << child << " setup=" << k);
                check_picker(pos, setups[k]);
                if (HasFatalFailure())
                    return;
            }
            if (!quiet.empty())
                foreign_quiet = quiet[quiet.size() / 2];
            if (child >= 0)
                unmake_move(pos, children[size_t(child)]);
        }
    }
    EXPECT_GT(positions, int(2000 / stride));
    EXPECT_GT(in_check_positions, int(60 / stride));
    std::memset(history, 0, sizeof history);
}

TEST(OrderingPicker, WorkedOrders)
{
    // Single evasion (h1 checked along the first rank, g2/h2 covered): only Rxa1, flagged.
    OwnedPosition pos = board_position("R7/8/8/7k/8/8/1r6/r6K w - -");
    pos->in_check[1] = 1;
    pos->move_list_end[0] = 0;
    EXPECT_EQ(pick_first_move(pos, 1), make_move_code(56, 0, W_ROOK, B_ROOK, 0));
    EXPECT_EQ(pos->single_reply, 1);
    EXPECT_EQ(pick_next_move(pos, 1), 0);
    EXPECT_EQ(pos->single_reply, 0);

    // A hash move that captures is handed out first and once.
    pos = board_position("4k3/8/8/3p4/4P3/8/8/4K3 w - -");
    const Move exd5 = make_move_code(28, 35, W_PAWN, B_PAWN, 0);
    std::vector<Move> picked = run_picker(pos, PickerSetup{exd5, 0, 0});
    ASSERT_FALSE(picked.empty());
    EXPECT_EQ(picked[0], exd5);
    EXPECT_EQ(std::count(picked.begin(), picked.end(), exd5), 1);

    // Killer Nb1-c3 from elsewhere; here c3 holds a pawn: only the capture, once.
    pos = board_position("4k3/8/8/8/8/2p5/8/1N2K3 w - -");
    const Move killer = make_move_code(1, 18, W_KNIGHT, 0, 0);
    picked = run_picker(pos, PickerSetup{0, killer, 0});
    EXPECT_FALSE(contains(picked, killer));
    EXPECT_EQ(std::count(picked.begin(), picked.end(), make_move_code(1, 18, W_KNIGHT, B_PAWN, 0)),
              1);

    // Under-promotions last as rook, bishop, knight; the losing Qxd7 just above them.
    pos = board_position("4k3/1P1p4/8/8/8/8/8/3QK3 w - -");
    picked = run_picker(pos, PickerSetup{});
    ASSERT_GE(picked.size(), 5u);
    const size_t n = picked.size();
    EXPECT_EQ(move_promo(picked[0]), PROMO_QUEEN);
    EXPECT_EQ(picked[n - 4], make_move_code(3, 51, W_QUEEN, B_PAWN, 0));
    EXPECT_EQ(move_promo(picked[n - 3]), PROMO_ROOK);
    EXPECT_EQ(move_promo(picked[n - 2]), PROMO_BISHOP);
    EXPECT_EQ(move_promo(picked[n - 1]), PROMO_KNIGHT);

    // Two equal NxN captures: the recapture on the square just moved to comes first.
    pos = board_position("4k3/8/8/2n1n3/8/3N4/8/4K3 w - -");
    for (int square : {34, 36}) {
        pos->move_list_end[0] = 0;
        pos->current_move[0] = make_move_code(square + 8, square, B_KNIGHT, 0, 0);
        pos->in_check[1] = pos->hash_move[1] = pos->killers[1][0] = pos->killers[1][1] = 0;
        EXPECT_EQ(move_to(pick_first_move(pos, 1)), square);
    }
}

TEST(OrderingPicker, SortKeepsTheOrderOfEqualKeys)
{
    const std::vector<std::pair<std::vector<int>, std::vector<Move>>> rows = {
        {{5, 3, 3}, {1, 2, 3}},
        {{3, 5, 4}, {2, 3, 1}},
        {{1, 1, 1, 1}, {1, 2, 3, 4}},
        {{0, 9}, {2, 1}},
        {{7}, {1}},
    };
    for (const auto& [input, expected] : rows) {
        std::vector<Move> moves;
        for (size_t i = 0; i < input.size(); ++i)
            moves.push_back(Move(i + 1));
        std::vector<int> scores = input;
        sort_moves(moves.data(), scores.data(), int(moves.size()));
        EXPECT_EQ(moves, expected);
    }
}

// The sort's order, ties included, read straight from its description: the
// candidate starts at `last` and is replaced by any earlier strictly lower
// score; it swaps moves with `last` and takes over the score at `last`.
void reference_sort(std::vector<Move>& moves, std::vector<int>& scores)
{
    for (int last = int(moves.size()) - 1; last >= 1; --last) {
        int candidate = last;
        for (int i = 0; i < last; ++i)
            if (scores[i] < scores[candidate])
                candidate = i;
        std::swap(moves[candidate], moves[last]);
        scores[candidate] = scores[last];
    }
}

TEST(OrderingPicker, SortMatchesItsDescriptionOnRandomLists)
{
    std::mt19937 random(12345);
    // Few distinct values give long runs of ties; wide ones, none.
    for (int spread : {1, 3, 10, 1000000000})
        for (int count = 0; count <= 80; ++count)
            for (int round = 0; round < 20; ++round) {
                std::vector<Move> moves(count);
                std::vector<int> scores(count);
                for (int i = 0; i < count; ++i) {
                    moves[i] = i + 1;
                    scores[i] = int(random() % (2u * spread + 1)) - spread;
                }
                std::vector<Move> want_moves = moves;
                std::vector<int> want_scores = scores;
                reference_sort(want_moves, want_scores);
                sort_moves(moves.data(), scores.data(), count);
                ASSERT_EQ(moves, want_moves) << "count " << count << " spread " << spread;
                ASSERT_EQ(scores, want_scores) << "count " << count << " spread " << spread;
            }
}

TEST(OrderingPicker, IsLegalMoveAndRootMovesAgreeWithTheLegalityFilter)
{
    const std::vector<std::string> fens = perft_fens();
    for (size_t f = 0; f < fens.size(); f += 4) {
        SCOPED_TRACE(fens[f]);
        OwnedPosition pos = board_position(fens[f].c_str());
        const std::vector<Move> legal = legal_moves(pos);
        pos->search_moves[0] = 0;
        build_root_moves(pos);
        std::vector<Move> root;
        for (int i = 0; i < pos->root_count; ++i)
            root.push_back(pos->root_moves[i].move);
        ASSERT_EQ(sorted(root), sorted(legal));
        std::vector<Move> pseudo = generate(pos, gen_captures_white, gen_captures_black);
        for (Move m : generate(pos, gen_quiet_white, gen_quiet_black))
            pseudo.push_back(m);
        for (Move m : pseudo)
            ASSERT_EQ(is_legal_move(pos, m), contains(legal, m) ? 1 : 0);
        EXPECT_EQ(is_legal_move(pos, 0), 0);
        if (legal.size() >= 2) { // searchmoves restricts the list
            pos->search_moves[0] = legal[1];
            pos->search_moves[1] = legal[0];
            pos->search_moves[2] = 0;
            build_root_moves(pos);
            ASSERT_EQ(pos->root_count, 2);
        }
    }
}

TEST(OrderingPicker, KillersAndHistoryUpdate)
{
    OwnedPosition pos = board_position("4k3/8/8/8/8/8/8/R3K3 w - -");
    std::memset(pos->killers, 0, sizeof pos->killers);
    std::memset(history, 0, sizeof history);
    pos->in_check[3] = 0;
    const Move a = make_move_code(0, 8, W_ROOK, 0, 0), b = make_move_code(0, 16, W_ROOK, 0, 0);
    update_killers_history(pos, a, 3, 12);
    update_killers_history(pos, a, 3, 24);
    EXPECT_EQ(pos->killers[3][1], a);
    EXPECT_EQ(pos->killers[3][0], 0);
    EXPECT_EQ(history[WHITE][a & 0xfff], 144 + 576);
    update_killers_history(pos, b, 3, 12);
    // Captures, promotions and positions in check change nothing.
    update_killers_history(pos, make_move_code(0, 56, W_ROOK, B_KNIGHT, 0), 3, 12);
    update_killers_history(pos, make_move_code(52, 60, W_PAWN, 0, PROMO_QUEEN), 3, 12);
    pos->in_check[3] = 1;
    update_killers_history(pos, a, 3, 12);
    EXPECT_EQ(pos->killers[3][1], b);
    EXPECT_EQ(pos->killers[3][0], a);
    EXPECT_EQ(history[WHITE][a & 0xfff], 720);
    // Very many deep cut-offs: the entry saturates instead of wrapping.
    pos->in_check[3] = 0;
    for (int i = 0; i < 10000; ++i)
        update_killers_history(pos, a, 3, 768);
    EXPECT_GT(history[WHITE][a & 0xfff], 0);
    std::memset(history, 0, sizeof history);
}

} // namespace
