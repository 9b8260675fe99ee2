// The search as a player: mate distances against a brute-force reference,
// positions without legal moves, repetition with contempt, depth limits,
// determinism, and the guarded corner cases of the root.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored                                                                     \
    "-Wmaybe-uninitialized" // std::regex trips a false positive of GCC 12
#endif
#include <gtest/gtest.h>

#include <regex>

#include "tests/search_support.h"

using namespace search_support;

namespace {

const char* const ITALIAN = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -";

// Whether the side to move can force mate within `moves` of its own moves,
// by trying every line.
bool forces_mate(Position* pos, int moves)
{
    for (Move move : legal_moves(pos)) {
        make_move(pos, move);
        const std::vector<Move> replies = legal_moves(pos);
        bool mate = replies.empty() ? is_in_check(pos, pos->side_to_move) : moves > 1;
        for (size_t i = 0; mate && !replies.empty() && i < replies.size(); i++) {
            make_move(pos, replies[i]);
            mate = forces_mate(pos, moves - 1);
            unmake_move(pos, replies[i]);
        }
        unmake_move(pos, move);
        if (mate)
            return true;
    }
    return false;
}

// Last value of the regex's first group over the UCI lines (0 for none).
int last_match(const std::string& out, const char* pattern)
{
    int value = 0;
    const std::regex re(pattern);
    for (const std::string& line : split_lines(out)) {
        std::smatch m;
        if (std::regex_search(line, m, re))
            value = std::stoi(m[1]);
    }
    return value;
}

int highest_info_depth(const std::string& out)
{
    return last_match(out, "^info depth (\\d+) ");
}

// Searches in UCI mode to the given depth; returns standard output.
std::string think_uci(Position* pos, int plies, std::string* log = nullptr)
{
    protocol_mode = PROTOCOL_UCI;
    if (plies > 0)
        max_depth = plies * ONE_PLY;
    OutputCapture capture;
    think(pos);
    if (log)
        *log = capture.log_text();
    return capture.stdout_text();
}

} // namespace

TEST(SearchMate, DistancesMatchTheReferenceAndPrintInBothForms)
{
    const struct {
        const char* fen;
        int moves; // positive: the side to move mates; negative: it is mated
    } cases[] = {
        {"7k/8/6K1/8/8/8/8/R7 w - -", 1},
        {"r5k1/5ppp/8/8/8/8/5PPP/6K1 b - -", 1},
        {"k7/8/3K4/8/8/8/8/7R w - -", 2},
        {"7r/8/8/8/8/3k4/8/K7 b - -", 2},
        {"k7/8/8/3K4/8/8/8/7R w - -", 3},
        {"r1b1kb1r/pppp1ppp/5q2/4n3/3KP3/2N3PN/PPP4P/R1BQ1B1R b kq -", 3},
        {"k7/8/1K6/8/8/8/8/7R b - -", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        OwnedPosition pos = new_position(c.fen);
        const int n = std::abs(c.moves);
        if (c.moves > 0) {
            for (int k = 1; k <= n; k++)
                ASSERT_EQ(forces_mate(pos, k), k == n) << "test position is not a mate in " << n;
        } else {
            for (Move move : legal_moves(pos)) {
                make_move(pos, move);
                EXPECT_TRUE(forces_mate(pos, 1));
                unmake_move(pos, move);
            }
        }
        std::string log;
        const std::string out = think_uci(pos, 2 * n + 2, &log);
        EXPECT_EQ(last_match(out, "^info depth \\d+ .* score mate (-?\\d+) pv"), c.moves) << out;
        char text[16];
        snprintf(text, sizeof text, c.moves > 0 ? " #%02d " : " -#%02d ", n);
        EXPECT_NE(log.find(text), std::string::npos) << log;
        const int plies = 2 * n - (c.moves > 0 ? 1 : 0);
        EXPECT_EQ(pos->root_score, c.moves > 0 ? SCORE_INFINITE - plies : plies - SCORE_INFINITE);
        EXPECT_TRUE(is_legal(pos, pos->pv[0][0]));
    }
}

TEST(SearchMate, MateFoundStopsTheSearchUnlessAnalysing)
{
    OwnedPosition pos = new_position("7k/8/6K1/8/8/8/8/R7 w - -");
    EXPECT_EQ(highest_info_depth(think_uci(pos, 0)), 1);
    // In analysis the aspiration window must stay inside the score range
    // for every iteration after the mate.
    clear_search_memory(pos);
    analyze_mode = 1;
    think_uci(pos, 5);
    EXPECT_EQ(iteration_depth, 6 * ONE_PLY);
    EXPECT_EQ(pos->root_score, SCORE_INFINITE - 1);
    EXPECT_EQ(pos->pv[0][0], parse_move(pos, "a1a8"));
}

TEST(SearchRoot, NoLegalMoveReturnsAtOnceWithMateOrStalemateScore)
{
    const struct {
        const char* fen;
        int score;
    } cases[] = {
        {"7k/6Q1/6K1/8/8/8/8/8 b - -", -SCORE_INFINITE}, // mated
        {"7k/5Q2/6K1/8/8/8/8/8 b - -", 0},               // stalemated
        {"8/8/8/8/8/5k2/5q2/5K2 w - -", -SCORE_INFINITE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        OwnedPosition pos = new_position(c.fen);
        pos->game->contempt = 50; // a stalemate is not a contempt draw
        OutputCapture capture;
        think(pos);
        EXPECT_EQ(pos->root_score, c.score);
        EXPECT_EQ(pos->pv[0][0], 0);
        EXPECT_NE(capture.log_text().find("Time: "), std::string::npos);
    }
}

TEST(SearchTree, PlyLimitsReturnBetaWithoutLookingAtThePosition)
{
    OwnedPosition pos = new_position(ITALIAN);
    init_search(pos);
    node_countdown = 1000;
    EXPECT_EQ(search(pos, 2 * ONE_PLY, MAX_SEARCH_PLY - 1, -50, 70, 1), 70);
    EXPECT_EQ(quiesce(pos, MAX_SEARCH_PLY, -50, 70), 70);
    // The deepest quiescence node still searches its captures inside the per-ply arrays.
    for (int ply = 0; ply < MAX_SEARCH_PLY; ply++)
        pos->move_list_end[ply] = 0;
    pos->ext_flags[0] = 0;
    qsearch_depth_limit = 5;
    const int score = quiesce(pos, MAX_SEARCH_PLY - 1, -SCORE_INFINITE, SCORE_INFINITE);
    EXPECT_GT(score, -SCORE_INFINITE);
    EXPECT_LT(score, SCORE_INFINITE);
}

// After 1.Nf3 Nf6 2.Ng1 Ng8 3.Nf3 Nf6, Ng1 repeats a position: inside the
// search a single repetition is a draw worth the contempt.
TEST(SearchDraw, RepetitionScoresTheContemptDrawScore)
{
    for (int contempt : {200, -200}) {
        SCOPED_TRACE(contempt);
        OwnedPosition pos = new_position(nullptr);
        for (const char* text : {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6"})
            push_game_move(pos, parse_move(pos, text));
        pos->game->contempt = contempt;
        think_uci(pos, 4);
        const Move back = parse_move(pos, "f3g1");
        if (contempt > 0) {
            EXPECT_EQ(pos->pv[0][0], back);
            EXPECT_EQ(pos->root_score, contempt);
        } else {
            EXPECT_NE(pos->pv[0][0], back);
            EXPECT_GT(pos->root_score, contempt);
        }
        init_search(pos);
        make_move(pos, back);
        pos->move_list_end[0] = 0;
        pos->in_check[1] = 0;
        EXPECT_EQ(search(pos, 2 * ONE_PLY, 1, -SCORE_INFINITE, SCORE_INFINITE, 1), -contempt);
    }
}

TEST(SearchLimits, DepthLimitsAndTheSingleLegalMove)
{
    const struct {
        const char* fen;
        int limit, reached;
        const char* move; // expected best move, or nullptr
    } cases[] = {
        {ITALIAN, 1, 1, nullptr},
        {ITALIAN, 3, 3, nullptr},
        {ITALIAN, 5, 5, nullptr},
        {"7k/8/8/8/8/8/6P1/r6K w - -", 0, 3, "h1h2"}, // one legal move: three iterations
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fen << " " << c.limit);
        OwnedPosition pos = new_position(c.fen);
        EXPECT_EQ(highest_info_depth(think_uci(pos, c.limit)), c.reached);
        EXPECT_EQ(iteration_depth, (c.reached + 1) * ONE_PLY);
        EXPECT_TRUE(is_legal(pos, pos->pv[0][0]));
        if (c.move) {
            EXPECT_EQ(pos->pv[0][0], parse_move(pos, c.move));
        }
    }
}

TEST(SearchLimits, NoIterationOrNoSearchableMoveStillYieldsALegalMove)
{
    OwnedPosition pos = new_position(ITALIAN);
    pos->pv[0][0] = 0x12345; // stale garbage from an earlier search
    pos->pv_length[0] = 1;
    max_depth = 0;
    {
        OutputCapture capture;
        think(pos);
        EXPECT_NE(capture.log_text().find("Time: "), std::string::npos);
    }
    EXPECT_TRUE(is_legal(pos, pos->pv[0][0]));

    pos = new_position(nullptr);
    pos->search_moves[0] = parse_move(pos, "a2a3");
    pos->search_moves[1] = 0;
    think_uci(pos, 4);
    EXPECT_EQ(pos->pv[0][0], parse_move(pos, "a2a3"));
    EXPECT_EQ(pos->root_count, 1);
    // A list naming no legal move: nothing to search, yet a legal answer.
    clear_search_memory(pos);
    pos->search_moves[0] = make_move_code(SQ_E1, SQ_E1 + 16, W_KING, 0, 0);
    think_uci(pos, 4);
    EXPECT_TRUE(is_legal(pos, pos->pv[0][0]));
}

TEST(SearchDeterminism, SameMoveAndNodeCountFromAClearedState)
{
    for (const char* fen :
         {ITALIAN, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -"}) {
        SCOPED_TRACE(fen);
        Move moves[2];
        int64_t nodes[2];
        int scores[2];
        for (int run = 0; run < 2; run++) {
            OwnedPosition pos = new_position(fen);
            think_uci(pos, sanitized() ? 4 : 6);
            moves[run] = pos->pv[0][0];
            nodes[run] = node_count;
            scores[run] = pos->root_score;
            EXPECT_TRUE(is_legal(pos, moves[run]));
        }
        EXPECT_EQ(moves[0], moves[1]);
        EXPECT_EQ(nodes[0], nodes[1]);
        EXPECT_EQ(scores[0], scores[1]);
        EXPECT_GT(nodes[0], 100);
    }
}

// A key collision can hand the search a stored move that does not fit the
// position; playing it would corrupt the board.
TEST(SearchHash, ForeignHashMovesNeverReachTheBoard)
{
    OwnedPosition pos = new_position(nullptr);
    OwnedPosition fresh = new_position(nullptr);
    const Move white_bogus = make_move_code(SQ_F1, SQ_F1 + 7, W_BISHOP, 0, 0); // onto its own pawn
    store_hash(pos, white_bogus, 0, 0, -32766, HASH_LOWER);
    const Move e4 = parse_move(pos, "e2e4");
    make_move(pos, e4);
    store_hash(pos, make_move_code(SQ_F8, SQ_F8 - 9, B_BISHOP, 0, 0), 0, 1, -32766, HASH_LOWER);
    unmake_move(pos, e4);
    think_uci(pos, sanitized() ? 3 : 5);
    EXPECT_TRUE(is_legal(pos, pos->pv[0][0]));
    EXPECT_EQ(std::memcmp(pos->board, fresh->board, sizeof pos->board), 0);
    EXPECT_EQ(pos->occupied, fresh->occupied);
    EXPECT_EQ(*pos->key_top, *fresh->key_top);
    EXPECT_EQ(pos->material[0], fresh->material[0]);
    EXPECT_EQ(pos->material[1], fresh->material[1]);
}

TEST(SearchRoot, SortAndMoveToFrontKeepTheListOrderRules)
{
    OwnedPosition pos = new_position(nullptr);
    const int scores[] = {3, 5, 4, 5, -2};
    pos->root_count = 5;
    for (int i = 0; i < 5; i++)
        pos->root_moves[i] = RootMove{100 + i, 0, scores[i]};
    auto order = [&] {
        std::vector<int> moves;
        for (int i = 0; i < 5; i++)
            moves.push_back(pos->root_moves[i].move);
        return moves;
    };
    sort_root_moves(pos);
    EXPECT_EQ(order(), (std::vector<int>{103, 101, 102, 100, 104}));
    move_root_entry_to_front(3, pos->root_moves);
    EXPECT_EQ(order(), (std::vector<int>{100, 103, 101, 102, 104}));
}

TEST(SearchRoot, RootNoiseKeepsFullWindowsAndASortedList)
{
    OwnedPosition pos = new_position(ITALIAN);
    root_noise = 60;
    think_uci(pos, 4);
    root_noise = 0;
    ASSERT_GT(pos->root_count, 20);
    for (int i = 1; i < pos->root_count; i++)
        EXPECT_GE(pos->root_moves[i - 1].score, pos->root_moves[i].score) << i;
    EXPECT_TRUE(is_legal(pos, pos->pv[0][0]));
}
