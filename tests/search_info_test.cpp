// The search's information lines as text: fixed states printed by each
// routine, and the lines of real searches checked against the board.
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
const char* const AFTER_E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -";

// A position with a principal variation, as if a search had run for
// `elapsed` centiseconds, 12345 nodes and selective depth 7.
OwnedPosition position_with_line(const char* fen, std::vector<const char*> line, int elapsed)
{
    OwnedPosition pos = new_position(fen);
    init_search(pos);
    pos->search_start = int(get_time_cs()) - elapsed;
    int made = 0;
    for (const char* text : line) {
        const Move move = parse_move(pos, text);
        EXPECT_TRUE(is_legal(pos, move)) << text;
        pos->pv[0][made++] = move;
        make_move(pos, move);
    }
    for (int i = made - 1; i >= 0; i--)
        unmake_move(pos, pos->pv[0][i]);
    pos->pv_length[0] = made;
    node_count = 12345;
    sel_depth = 7;
    return pos;
}

// Plays out each move list (coordinates or SAN) from pos; all must be legal,
// and SAN must be written as the engine writes it.
void expect_playable(Position* pos, const std::string& moves, bool san, const std::string& line)
{
    std::istringstream in(moves);
    std::string text;
    std::vector<Move> made;
    while (in >> text) {
        const Move move = parse_move(pos, text.c_str());
        ASSERT_TRUE(is_legal(pos, move)) << line;
        if (san) {
            EXPECT_EQ(text, format_move_san(pos, move)) << line;
        }
        make_move(pos, move);
        made.push_back(move);
    }
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        unmake_move(pos, *it);
}

} // namespace

TEST(SearchInfo, UciScoreFormsForMateDistances)
{
    const struct {
        int score;
        const char* uci;
    } forms[] = {
        {32766, " score mate 1 pv"},   {32765, " score mate 1 pv"},   {32764, " score mate 2 pv"},
        {-32765, " score mate -1 pv"}, {-32763, " score mate -2 pv"}, {32767, " score cp 32767 pv"},
        {30000, " score cp 30000 pv"}, {150, " score cp 150 pv"},     {-75, " score cp -75 pv"},
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.score);
        OwnedPosition pos = position_with_line(nullptr, {"e2e4", "e7e5"}, 0);
        protocol_mode = PROTOCOL_UCI;
        OutputCapture capture;
        print_pv(pos, 3 * ONE_PLY + 3, form.score);
        const std::string out = capture.stdout_text();
        EXPECT_EQ(out.rfind("info depth 3 seldepth 7 nodes 12345 nps ", 0), 0u) << out;
        EXPECT_NE(out.find(std::string(form.uci) + " e2e4 e7e5\n"), std::string::npos) << out;
    }
}

TEST(SearchInfo, MoveNumbersInTableAndXboardLines)
{
    const struct {
        int numbers;
        const char* table;  // after the table line's 24-character prefix
        const char* xboard; // after the node count
    } cases[] = {
        {1, " 12. ... e5 13. Nf3\n", "  12. ... e5 13. Nf3\n"},
        {0, " ... e5 Nf3\n", "  e5 Nf3\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.numbers);
        OwnedPosition pos = position_with_line(AFTER_E4, {"e7e5", "g1f3"}, 250);
        pos->game->move_count = 22;
        protocol_mode = PROTOCOL_XBOARD;
        post_enabled = 1;
        show_move_numbers = c.numbers;
        OutputCapture capture;
        print_pv(pos, 3 * ONE_PLY + 3, 35);
        const std::string out = capture.stdout_text(), log = capture.log_text();
        // The elapsed time is at least the 2.5 s set above; a loaded machine
        // may add any amount.
        std::smatch m;
        ASSERT_TRUE(std::regex_search(log, m, std::regex("^   3/7    (\\d\\.\\d\\d)   0\\.35   ")))
            << log;
        EXPECT_GE(std::stod(m[1]), 2.5) << log;
        EXPECT_EQ(log.substr(std::min<size_t>(24, log.size())), c.table) << log;
        ASSERT_TRUE(std::regex_search(out, m, std::regex("^3 35 (\\d+) 12345 "))) << out;
        EXPECT_GE(std::stoi(m[1]), 250) << out;
        EXPECT_EQ(out.substr(out.find("12345") + 5), c.xboard) << out;
    }
}

TEST(SearchInfo, LongLinesWrapUnderTheMoveColumn)
{
    std::vector<const char*> line;
    for (int i = 0; i < 4; i++)
        for (const char* move : {"g1f3", "g8f6", "f3g1", "f6g8"})
            line.push_back(move);
    OwnedPosition pos = position_with_line(nullptr, line, 300);
    OutputCapture capture;
    print_pv(pos, 5 * ONE_PLY + 3, 0);
    const std::string log = capture.log_text();
    // The wrap is tested before each move against 48 columns: the 13th still fits.
    EXPECT_EQ(log.substr(24), " Nf3 Nf6 Ng1 Ng8 Nf3 Nf6 Ng1 Ng8 Nf3 Nf6 Ng1 Ng8 Nf3\n" +
                                  std::string(24, ' ') + " Nf6 Ng1 Ng8\n")
        << log;
}

TEST(SearchInfo, FirstSecondRuleByMode)
{
    const struct {
        int mode, analyse, elapsed;
        bool table_line;
    } cases[] = {
        {PROTOCOL_CONSOLE, 0, 50, false}, {PROTOCOL_CONSOLE, 0, 150, true},
        {PROTOCOL_CONSOLE, 1, 50, true},  {PROTOCOL_UCI, 0, 50, true},
        {PROTOCOL_XBOARD, 0, 50, false},  {PROTOCOL_XBOARD, 0, 150, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.analyse << " " << c.elapsed);
        OwnedPosition pos = position_with_line(nullptr, {"d2d4"}, c.elapsed);
        protocol_mode = c.mode;
        analyze_mode = c.analyse;
        OutputCapture capture;
        print_pv(pos, 2 * ONE_PLY + 3, 20);
        print_iteration_end(pos, 2 * ONE_PLY + 3, 20);
        const std::string log = capture.log_text();
        EXPECT_EQ(log.find("   2/7 ") != std::string::npos, c.table_line) << log;
        // The iteration end ignores the analysis and UCI exceptions.
        EXPECT_EQ(log.find("   2--> ") != std::string::npos, c.elapsed >= 100) << log;
        if (c.mode == PROTOCOL_XBOARD) {
            EXPECT_EQ(capture.stdout_text(), "") << "no post, no thinking line";
        }
    }
}

TEST(SearchInfo, FailHighLowAndNewBestLines)
{
    const struct {
        const char* fen;
        const char* move;
        int mode;  // xboard with post and analysis
        int which; // 0 fail high, 1 fail low, 2 fail high then a new best d2d4
        const char *out, *log;
    } cases[] = {
        {nullptr, "e2e4", PROTOCOL_UCI, 0,
         "info depth 4 seldepth 7 nodes 12345 score cp 55 lowerbound nps \\d+ pv e2e4\n", ""},
        {AFTER_E4, "c7c5", PROTOCOL_XBOARD, 1, "4 -20 20\\d 12345 c5\n--\n",
         "   4/7    2\\.0\\d     --    \\.\\.\\. c5     \n"},
        {nullptr, "g1f3", PROTOCOL_CONSOLE, 2, "[\\s\\S]*",
         "   4/7    2\\.0\\d     \\+\\+    Nf3    \n   4/7    2\\.0\\d   x\\.xx    d4    \n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.move);
        OwnedPosition pos = position_with_line(c.fen, {c.move}, 200);
        protocol_mode = c.mode;
        post_enabled = analyze_mode = c.mode == PROTOCOL_XBOARD;
        OutputCapture capture;
        if (c.which == 1)
            print_fail_low(pos, 4 * ONE_PLY + 3, -20);
        else
            print_fail_high(pos, 4 * ONE_PLY + 3, 55);
        if (c.which == 2)
            print_new_best(pos, 4 * ONE_PLY + 3, parse_move(pos, "d2d4"));
        EXPECT_TRUE(std::regex_match(capture.stdout_text(), std::regex(c.out)))
            << capture.stdout_text();
        EXPECT_TRUE(std::regex_match(capture.log_text(), std::regex(c.log))) << capture.log_text();
    }
}

TEST(SearchInfo, ConsoleProgressLineAndUciCurrentMove)
{
    for (int plies : {9, 10, 2}) {
        OwnedPosition pos = position_with_line(nullptr, {}, 150);
        pos->root_index = 2;
        pos->root_count = 20;
        protocol_mode = plies == 2 ? PROTOCOL_UCI : PROTOCOL_CONSOLE;
        OutputCapture capture;
        print_current_move(pos, plies * ONE_PLY + 3, parse_move(pos, "b1c3"));
        const std::string out = capture.stdout_text();
        if (plies == 2) {
            EXPECT_TRUE(std::regex_match(
                out, std::regex("info depth 2 seldepth 7 nodes 12345 hashfull \\d+ nps "
                                "\\d+ currmove b1c3 currmovenumber 3\n")))
                << out;
        } else {
            EXPECT_EQ(out.rfind(plies < 10 ? "   9... " : "  10... ", 0), 0u) << out;
            EXPECT_TRUE(std::regex_search(out, std::regex("  3/20    Nc3   \r$"))) << out;
            EXPECT_EQ(capture.log_text(), "") << "the progress line is never logged";
        }
    }
}

TEST(SearchInfo, StatisticsBlock)
{
    for (int enabled : {1, 0}) {
        OwnedPosition pos = position_with_line(nullptr, {}, 0);
        protocol_mode = PROTOCOL_UCI;
        tb_enabled = enabled;
        OutputCapture capture;
        print_search_stats(pos);
        tb_enabled = 1;
        EXPECT_TRUE(std::regex_match(
            capture.stdout_text(), std::regex("info nps \\d+ nodes 12345 cpuload \\d+ tbhits 0\n")))
            << capture.stdout_text();
        const std::string log = capture.log_text();
        EXPECT_TRUE(std::regex_search(
            log,
            std::regex("^\n\nTime: \\d+\\.\\d\\d, cpu +\\d+\\.\\d\\d%, nodes 12345, nps \\d+\n")))
            << log;
        EXPECT_NE(log.find("\nHash: "), std::string::npos) << log;
        const std::string tb = enabled ? "EGTB: probs 0, hits 0\n\n" : "EGTB: disabled\n\n";
        EXPECT_EQ(log.substr(log.size() - tb.size()), tb) << log;
    }
}

// Every thinking line of a real search plays out as legal moves (xboard
// lines in SAN as the engine writes it); UCI depths never go back and node
// counts only grow.
TEST(SearchInfo, LinesOfRealSearchesPlayOut)
{
    for (int mode : {PROTOCOL_UCI, PROTOCOL_XBOARD}) {
        SCOPED_TRACE(mode);
        const bool uci = mode == PROTOCOL_UCI;
        OwnedPosition pos = new_position(ITALIAN);
        protocol_mode = mode;
        post_enabled = analyze_mode = !uci;
        const int plies = uci && !sanitized() ? 6 : 4;
        max_depth = plies * ONE_PLY;
        OutputCapture capture;
        think(pos);
        const std::regex pattern(
            uci ? "info depth (\\d+) seldepth (\\d+) nodes (\\d+) nps \\d+ time \\d+ "
                  "score (?:cp|mate) -?\\d+ pv ((?:[a-h][1-8][a-h][1-8][qrbn]? ?)+)"
                : "(\\d+) -?\\d+ (\\d+) (\\d+)  (\\S.*)");
        int last_depth = 0, lines = 0;
        long last_nodes = 0;
        for (const std::string& line : split_lines(capture.stdout_text())) {
            std::smatch m;
            if (!std::regex_match(line, m, pattern))
                continue;
            lines++;
            if (uci) {
                EXPECT_GE(std::stoi(m[1]), last_depth);
                EXPECT_GE(std::stol(m[3]), last_nodes);
                EXPECT_GE(std::stoi(m[2]), 1);
                last_depth = std::stoi(m[1]);
                last_nodes = std::stol(m[3]);
            }
            expect_playable(pos, m[4].str(), !uci, line);
        }
        EXPECT_GE(lines, 4);
        const std::string log = capture.log_text();
        if (uci) {
            EXPECT_EQ(last_depth, plies);
            EXPECT_TRUE(std::regex_search(
                capture.stdout_text(),
                std::regex("\ninfo nps \\d+ nodes \\d+ cpuload \\d+ tbhits 0\n$")));
            EXPECT_NE(log.find("  Depth   Time  Score    Best line\n"), std::string::npos);
        } else {
            // In analysis the table lines are written from the start as well.
            EXPECT_NE(log.find("   4/"), std::string::npos) << log;
        }
    }
}

TEST(SearchMultiPv, ReportsTheBestLinesInOrder)
{
    OwnedPosition pos = new_position(ITALIAN);
    protocol_mode = PROTOCOL_UCI;
    multipv_lines = 3;
    max_depth = 4 * ONE_PLY;
    OutputCapture capture;
    think(pos);
    const std::regex pattern(
        "info multipv (\\d) depth (\\d+) seldepth \\d+ time \\d+ score cp (-?\\d+) nodes \\d+ nps "
        "\\d+ pv((?: [a-h][1-8][a-h][1-8][qrbn]?)+)");
    std::vector<int> numbers, scores;
    std::vector<std::string> firsts;
    for (const std::string& line : split_lines(capture.stdout_text())) {
        std::smatch m;
        if (std::regex_match(line, m, pattern)) {
            numbers.push_back(std::stoi(m[1]));
            scores.push_back(std::stoi(m[3]));
            firsts.push_back(m[4].str().substr(1, 4));
        }
    }
    // The final block: the last three lines, numbered 1..3, best first.
    ASSERT_GE(numbers.size(), 3u) << capture.stdout_text();
    const size_t n = numbers.size();
    EXPECT_EQ(std::vector<int>(numbers.end() - 3, numbers.end()), (std::vector<int>{1, 2, 3}));
    EXPECT_GE(scores[n - 3], scores[n - 2]);
    EXPECT_GE(scores[n - 2], scores[n - 1]);
    EXPECT_NE(firsts[n - 3], firsts[n - 2]);
    EXPECT_NE(firsts[n - 2], firsts[n - 1]);
    EXPECT_EQ(format_move_coord(pos->pv[0][0]), firsts[n - 3]);
    EXPECT_EQ(pos->pv_length[0], 1);
    EXPECT_NE(capture.log_text().find("  " + std::string(72, '=') + "\n"), std::string::npos);
    EXPECT_NE(capture.log_text().find("  " + std::string(72, '-') + "\n"), std::string::npos);
}
