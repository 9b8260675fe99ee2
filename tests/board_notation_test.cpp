// Move text: round trips over every legal move of the suite positions and
// their children, check marks against an independent count, disambiguation,
// 200 real games in PGN, and malformed input.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "tests/board_support.h"

namespace {

struct ModeGuard {
    int saved = protocol_mode;
    explicit ModeGuard(int mode) { protocol_mode = mode; }
    ~ModeGuard() { protocol_mode = saved; }
};

// The mark a SAN text must end with, computed without the notation code.
std::string expected_mark(Position* pos, Move move)
{
    const int mover = pos->side_to_move;
    make_move(pos, move);
    std::string mark;
    if (is_in_check(pos, mover ^ 1))
        mark.assign(1, legal_moves(pos).empty() ? '#' : '+');
    unmake_move(pos, move);
    return mark;
}

void check_round_trips(Position* pos, const std::string& fen, int& count)
{
    for (Move m : legal_moves(pos)) {
        const std::string san = format_move_san(pos, m);
        ASSERT_EQ(parse_move(pos, san.c_str()), m) << fen << " SAN " << san;
        ASSERT_EQ(san.substr(san.find_last_not_of("+#") + 1), expected_mark(pos, m))
            << fen << " SAN " << san;
        for (int mode : {0, 1, 2}) {
            ModeGuard guard(mode);
            const std::string coord = format_move_coord(m);
            ASSERT_EQ(parse_move(pos, coord.c_str()), m) << fen << " coordinate " << coord;
        }
        count++;
    }
}

TEST(BoardNotation, RoundTripsOverSuiteAndChildren)
{
    auto pos = new_position();
    int count = 0;
    for (const PerftCase& c : load_perft_suite("perft.epd")) {
        ASSERT_EQ(set_board(pos.get(), c.fen.c_str()), 1);
        const std::string before = position_text(pos.get());
        check_round_trips(pos.get(), c.fen, count);
        for (Move m : legal_moves(pos.get())) {
            make_move(pos.get(), m);
            check_round_trips(pos.get(), c.fen + " + " + format_move_coord(m), count);
            unmake_move(pos.get(), m);
            if (HasFatalFailure())
                return;
        }
        ASSERT_EQ(position_text(pos.get()), before); // formatting and parsing change nothing
    }
    EXPECT_GT(count, 30000);
}

TEST(BoardNotation, ParseExamples)
{
    const char* start = START_POSITION_FEN;
    const char* promo = "4k3/4P3/8/8/8/8/8/4K3 w - -";
    const char* ep = "4k3/8/8/3pP3/8/8/8/4K3 w - d6";
    const char* knights = "4k3/8/8/8/8/5N2/8/1N2K3 w - -";
    const char* pinned = "4k3/8/8/7b/8/5N2/8/1N1K4 w - -";
    const char* black = "r3k3/8/8/8/8/8/8/4K3 b - -";
    const struct {
        const char* fen;
        const char* text;
        const char* expected; // coordinate text of the move in UCI form, or "0"
    } cases[] = {
        {start, "e4", "e2e4"},
        {start, "e2e4", "e2e4"},
        {start, "e3", "e2e3"},
        {start, "e2-e4", "e2e4"},
        {start, "Nf3", "g1f3"},
        {start, "Nf3!?", "g1f3"},
        {start, "Nd2", "0"},
        {promo, "e8=Q+", "e7e8q"},
        {promo, "e8Q", "e7e8q"},
        {promo, "e7e8", "e7e8q"},
        {promo, "e7e8n", "e7e8n"},
        {promo, "e8=N", "e7e8n"},
        {promo, "e7-e8=r", "e7e8r"},
        {ep, "exd6", "e5d6"},
        {ep, "exd6ep", "e5d6"},
        {ep, "e5d6", "e5d6"},
        {knights, "Nd2", "0"},
        {knights, "Nbd2", "b1d2"},
        {knights, "Nfd2", "f3d2"},
        {knights, "N3d2", "f3d2"},
        {pinned, "Nd2", "b1d2"},
        {black, "0-0-0", "e8c8"},
        {black, "O-O-O", "e8c8"},
        {black, "e8c8", "e8c8"},
        // Coordinate moves are built whatever stands on the squares; the
        // legality test refuses them and the report names the squares.
        {black, "e1e2", "e1e2"},
        {black, "e7e5", "e7e5"},
        {black, "a8e8", "a8e8"},
        {start, "e7e5", "e7e5"},
        // Malformed: every square is checked, nothing half-read is returned.
        {start, "e9", "0"},
        {start, "z2z4", "0"},
        {start, "Nz3", "0"},
        {start, "Ki9", "0"},
        {start, "exe5", "0"},
        {start, "e5", "0"},
        {start, "x", "0"},
        {start, "p", "0"},
        {start, "0-0-0-0", "0"},
        {start, "O-", "0"},
        {promo, "e8=X", "0"},
        {promo, "e8=", "0"},
        {start, "Ke2", "0"},
        {start, "abcdefghabcdefghabcdefghabcdefghab", "0"},
    };
    ModeGuard uci(2);
    for (const auto& c : cases) {
        const Move m = parse_move(new_position(c.fen).get(), c.text);
        EXPECT_EQ(m ? std::string(format_move_coord(m)) : std::string("0"), c.expected)
            << c.fen << " " << c.text;
    }
    auto pos = new_position();
    EXPECT_EQ(parse_move(pos.get(), "e4"), 0x2200031C);
    // Castling text is built from the board into the one castling code.
    for (const char* text : {"0-0-0", "O-O-O", "e8c8"})
        EXPECT_EQ(parse_move(new_position(black).get(), text), MOVE_BLACK_LONG) << text;
    EXPECT_EQ(move_captured(parse_move(new_position(ep).get(), "exd6")), B_PAWN);
    // A promotion letter on a piece move is not carried into the code.
    EXPECT_EQ(move_promo(parse_move(pos.get(), "g1f3q")), 0);
}

// Random text never yields a code that make_move would misread.
TEST(BoardNotation, RandomTextGivesOnlySaneCodes)
{
    std::mt19937 rng(12345);
    const char alphabet[] = "abcdefgh12345678xNBRQKOo0-=+#epnbrq";
    auto pos = new_position("r3k2r/1P2p3/8/3pP3/8/2N2N2/4p3/R3K2R w KQkq d6");
    const std::string before = position_text(pos.get());
    for (int i = 0; i < 20000; i++) {
        std::string text;
        for (int j = 0, len = 1 + int(rng() % 7); j < len; j++)
            text += alphabet[rng() % (sizeof alphabet - 1)];
        const Move m = parse_move(pos.get(), text.c_str());
        if (!m)
            continue;
        if (move_promo(m)) {
            EXPECT_EQ(move_piece(m) & 7, PAWN) << text;
            EXPECT_TRUE(move_to(m) < 8 || move_to(m) >= 56) << text;
        }
        // Coordinate text names any squares; what the side to move cannot
        // play there must fail the callers' validity test.
        const int target = pos->board[move_to(m)];
        const int mover = pos->board[move_from(m)];
        const bool own_piece = mover && piece_colour(mover) == WHITE;
        if (!is_castling_move(m) && (!own_piece || (target && piece_colour(target) == WHITE))) {
            EXPECT_FALSE(is_move_valid(pos.get(), m)) << text;
        }
    }
    EXPECT_EQ(position_text(pos.get()), before);
}

TEST(BoardNotation, FormatExamples)
{
    const char* cases[][3] = {
        {"4k3/8/8/8/8/5N2/8/1N2K3 w - -", "b1d2", "Nbd2"},
        {"4k3/8/8/8/8/1N6/8/1N2K3 w - -", "b1d2", "N1d2"},
        {"8/8/1k6/8/4Q2Q/8/8/K6Q w - -", "h4e1", "Qh4e1"},
        // Disambiguation counts pseudo-legal candidates: the pinned knight too.
        {"4k3/8/8/7b/8/5N2/8/1N1K4 w - -", "b1d2", "Nbd2"},
        {"5k2/8/8/8/8/8/8/4K2R w K -", "e1g1", "O-O+"},
        {"4k3/8/8/8/8/8/8/R3K3 w Q -", "e1c1", "O-O-O"},
        {"4k3/8/8/8/8/8/6r1/4K2R w K -", "e1g1", "Illegal move: e1-g1"},
        {"7k/8/6K1/8/8/8/8/Q7 w - -", "a1a8", "Qa8#"},
        {"7k/8/8/6K1/8/8/8/5Q2 w - -", "f1f7", "Qf7"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", "e5d6", "exd6"},
        {"1r6/P2k4/8/8/8/8/8/4K3 w - -", "a7b8n", "axb8=N+"},
    };
    for (const auto& c : cases) {
        auto pos = new_position(c[0]);
        EXPECT_STREQ(format_move_san(pos.get(), parse_move(pos.get(), c[1])), c[2]) << c[0];
    }
    auto pos = new_position();
    EXPECT_STREQ(format_move_san(pos.get(), 0), "Nomove");
    // A code that does not fit the position is never made on the board.
    EXPECT_STREQ(format_move_san(pos.get(), make_move_code(SQ_F1, 12, W_BISHOP, 0, 0)),
                 "Illegal move: f1-e2");
    EXPECT_EQ(position_text(pos.get()), std::string(START_POSITION_FEN) + " ");
    const Move e8q = parse_move(new_position("4k3/4P3/8/8/8/8/8/4K3 w - -").get(), "e8=Q");
    const char* coord_by_mode[][2] = {
        {"Nomove", "e7-e8=q"}, {"Nomove", "e7e8q"}, {"Nomove", "e7e8q"}};
    for (int mode : {0, 1, 2}) {
        ModeGuard guard(mode);
        EXPECT_STREQ(format_move_coord(0), coord_by_mode[mode][0]);
        if (mode != 1) {
            EXPECT_STREQ(format_move_coord(e8q), coord_by_mode[mode][1]);
        }
    }
}

// Every move of 200 engine games: the PGN text parses to a legal move, and
// our SAN of it equals the PGN's, except where we add a disambiguation that
// only pseudo-legal candidates call for.
TEST(BoardNotation, EngineGamesReadAndWrittenBack)
{
    std::ifstream in(std::string(QUARVEL_DATA_DIR) + "/pgn/engine-games.pgn");
    ASSERT_TRUE(in.good());
    std::string line, text;
    while (std::getline(in, line)) {
        ASSERT_NE(line.rfind("[FEN", 0), 0u) << "games with set-up positions not expected";
        if (line.rfind("[Event", 0) == 0)
            text += " @new ";
        else if (line.empty() || line[0] != '[')
            text += line + " ";
    }
    std::string moves_only; // comments and variations removed
    int depth = 0;
    for (char ch : text) {
        if (ch == '{' || ch == '(')
            depth++;
        else if ((ch == '}' || ch == ')') && depth > 0)
            depth--;
        else if (depth == 0)
            moves_only += ch;
    }
    auto pos = new_position();
    int games = 0, moves = 0, extra_disambiguation = 0;
    std::istringstream tokens(moves_only);
    std::string token;
    while (tokens >> token) {
        if (token == "@new") {
            setup_new_game(pos.get());
            games++;
            continue;
        }
        token = token.substr(token.find('.') == std::string::npos ? 0 : token.rfind('.') + 1);
        if (token.empty() || token[0] == '$' || token == "1-0" || token == "0-1" ||
            token == "1/2-1/2" || token == "*")
            continue;
        const Move m = parse_move(pos.get(), token.c_str());
        ASSERT_NE(m, 0) << "game " << games << " " << token;
        const std::vector<Move> legal = legal_moves(pos.get());
        ASSERT_NE(std::find(legal.begin(), legal.end(), m), legal.end())
            << "game " << games << " " << token;
        std::string ours = format_move_san(pos.get(), m), theirs = token;
        while (!theirs.empty() && strchr("!?", theirs.back()))
            theirs.pop_back();
        if (ours != theirs) {
            ASSERT_EQ(ours.size(), theirs.size() + 1) << token << " vs " << ours;
            ASSERT_EQ(ours.erase(1, 1), theirs) << token;
            extra_disambiguation++;
        }
        ASSERT_EQ(push_game_move(pos.get(), m), 1);
        moves++;
    }
    EXPECT_EQ(games, 200);
    EXPECT_GT(moves, 10000);
    EXPECT_LT(extra_disambiguation, moves / 100);
}

} // namespace
