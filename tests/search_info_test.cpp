// The search's information lines as text: fixed states printed by each
// routine, and the lines of real searches checked against the board.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"  // std::regex trips a false positive of GCC 12
#include <gtest/gtest.h>

#include <regex>

#include "tests/search_support.h"

using namespace search_support;

namespace {

// A position with a principal variation written in coordinate text, as if
// a search had run for `elapsed` centiseconds.
Position* position_with_line(const char* fen, std::vector<const char*> line, int elapsed)
{
    Position* pos = new_position(fen);
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

// The part of a table line after its fixed 24-character prefix.
std::string table_moves(const std::string& log)
{
    return log.size() < 24 ? "" : log.substr(24);
}

struct MateForm {
    int score;
    const char* uci;
};

} // namespace

TEST(SearchInfo, UciScoreFormsForMateDistances)
{
    const MateForm forms[] = {
        {32766, " score mate 1 pv"},   {32765, " score mate 1 pv"},
        {32764, " score mate 2 pv"},   {-32765, " score mate -1 pv"},
        {-32763, " score mate -2 pv"}, {32767, " score cp 32767 pv"},
        {30000, " score cp 30000 pv"}, {150, " score cp 150 pv"},
        {-75, " score cp -75 pv"},
    };
    for (const MateForm& form : forms) {
        SCOPED_TRACE(form.score);
        Position* pos = position_with_line(nullptr, {"e2e4", "e7e5"}, 0);
        protocol_mode = PROTOCOL_UCI;
        OutputCapture capture;
        print_pv(pos, 3 * ONE_PLY + 3, form.score);
        const std::string out = capture.stdout_text();
        EXPECT_EQ(out.rfind("info depth 3 seldepth 7 nodes 12345 nps ", 0), 0u) << out;
        EXPECT_NE(out.find(std::string(form.uci) + " e2e4 e7e5\n"), std::string::npos) << out;
        destroy_position(pos);
    }
}

struct NumberingCase {
    int numbers;
    const char* table;
    const char* xboard;
};

TEST(SearchInfo, MoveNumbersInTableAndXboardLines)
{
    const NumberingCase cases[] = {
        {1, " 12. ... e5 13. Nf3\n", "3 35 250 12345  12. ... e5 13. Nf3\n"},
        {0, " ... e5 Nf3\n", "3 35 250 12345  e5 Nf3\n"},
    };
    for (const NumberingCase& c : cases) {
        SCOPED_TRACE(c.numbers);
        Position* pos = position_with_line(
            "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -", {"e7e5", "g1f3"}, 250);
        pos->game->move_count = 22;
        protocol_mode = PROTOCOL_XBOARD;
        post_enabled = 1;
        show_move_numbers = c.numbers;
        OutputCapture capture;
        print_pv(pos, 3 * ONE_PLY + 3, 35);
        const std::string out = capture.stdout_text();
        const std::string log = capture.log_text();
        EXPECT_TRUE(std::regex_search(log, std::regex("^   3/7    2\\.5\\d   0\\.35   "))) << log;
        EXPECT_EQ(table_moves(log), c.table) << log;
        // The elapsed time may have ticked on by a centisecond or two.
        const std::regex xboard_line("^3 35 25\\d 12345 ");
        EXPECT_TRUE(std::regex_search(out, xboard_line)) << out;
        EXPECT_EQ(out.substr(out.find("12345") + 5), std::string(c.xboard).substr(14)) << out;
        destroy_position(pos);
    }
}

TEST(SearchInfo, LongLinesWrapUnderTheMoveColumn)
{
    std::vector<const char*> line;
    for (int i = 0; i < 4; i++)
        for (const char* move : {"g1f3", "g8f6", "f3g1", "f6g8"})
            line.push_back(move);
    Position* pos = position_with_line(nullptr, line, 300);
    OutputCapture capture;
    print_pv(pos, 5 * ONE_PLY + 3, 0);
    const std::string log = capture.log_text();
    // Thirteen four-character moves fill 52 columns: the wrap is tested
    // before each move against 48, so the 13th still fits.
    const std::string expected = " Nf3 Nf6 Ng1 Ng8 Nf3 Nf6 Ng1 Ng8 Nf3 Nf6 Ng1 Ng8 Nf3\n" +
                                 std::string(24, ' ') + " Nf6 Ng1 Ng8\n";
    EXPECT_EQ(table_moves(log), expected) << log;
    destroy_position(pos);
}

TEST(SearchInfo, FirstSecondRuleByMode)
{
    struct Case {
        int mode;
        int analyse;
        int elapsed;
        bool table_line;
    };
    const Case cases[] = {
        {PROTOCOL_CONSOLE, 0, 50, false}, {PROTOCOL_CONSOLE, 0, 150, true},
        {PROTOCOL_CONSOLE, 1, 50, true},  {PROTOCOL_UCI, 0, 50, true},
        {PROTOCOL_XBOARD, 0, 50, false},  {PROTOCOL_XBOARD, 0, 150, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.analyse << " " << c.elapsed);
        Position* pos = position_with_line(nullptr, {"d2d4"}, c.elapsed);
        protocol_mode = c.mode;
        analyze_mode = c.analyse;
        OutputCapture capture;
        print_pv(pos, 2 * ONE_PLY + 3, 20);
        print_iteration_end(pos, 2 * ONE_PLY + 3, 20);
        const std::string log = capture.log_text();
        const std::string out = capture.stdout_text();
        EXPECT_EQ(log.find("   2/7 ") != std::string::npos, c.table_line) << log;
        // The iteration end ignores the analysis and UCI exceptions.
        EXPECT_EQ(log.find("   2--> ") != std::string::npos, c.elapsed >= 100) << log;
        if (c.mode == PROTOCOL_XBOARD) {
            EXPECT_EQ(out, "") << "no post, no thinking line";
        }
        destroy_position(pos);
    }
}

TEST(SearchInfo, FailHighAndLowLines)
{
    {
        Position* pos = position_with_line(nullptr, {"e2e4"}, 200);
        protocol_mode = PROTOCOL_UCI;
        OutputCapture capture;
        print_fail_high(pos, 4 * ONE_PLY + 3, 55);
        const std::string out = capture.stdout_text();
        EXPECT_TRUE(std::regex_match(
            out, std::regex("info depth 4 seldepth 7 nodes 12345 score cp 55 lowerbound nps \\d+ "
                            "pv e2e4\n")))
            << out;
        EXPECT_EQ(capture.log_text().find("++"), std::string::npos);
        destroy_position(pos);
    }
    {
        Position* pos = position_with_line(
            "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -", {"c7c5"}, 200);
        protocol_mode = PROTOCOL_XBOARD;
        post_enabled = 1;
        analyze_mode = 1;
        OutputCapture capture;
        print_fail_low(pos, 4 * ONE_PLY + 3, -20);
        const std::string out = capture.stdout_text();
        EXPECT_TRUE(std::regex_match(out, std::regex("4 -20 20\\d 12345 c5\n--\n"))) << out;
        const std::string log = capture.log_text();
        EXPECT_TRUE(std::regex_match(log, std::regex("   4/7    2\\.0\\d     --    \\.\\.\\. c5     \n")))
            << log;
        destroy_position(pos);
    }
    {
        Position* pos = position_with_line(nullptr, {"g1f3"}, 200);
        OutputCapture capture;
        print_fail_high(pos, 4 * ONE_PLY + 3, 55);
        print_new_best(pos, 4 * ONE_PLY + 3, parse_move(pos, "d2d4"));
        const std::vector<std::string> lines = split_lines(capture.log_text());
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(std::regex_match(lines[0], std::regex("   4/7    2\\.0\\d     \\+\\+    Nf3    ")))
            << lines[0];
        EXPECT_TRUE(std::regex_match(lines[1], std::regex("   4/7    2\\.0\\d   x\\.xx    d4    ")))
            << lines[1];
        destroy_position(pos);
    }
}

TEST(SearchInfo, ConsoleProgressLineAndUciCurrentMove)
{
    for (int plies : {9, 10}) {
        Position* pos = position_with_line(nullptr, {}, 150);
        pos->root_index = 2;
        pos->root_count = 20;
        OutputCapture capture;
        print_current_move(pos, plies * ONE_PLY + 3, parse_move(pos, "b1c3"));
        const std::string out = capture.stdout_text();
        const std::string expected_start = plies < 10 ? "   9... " : "  10... ";
        EXPECT_EQ(out.rfind(expected_start, 0), 0u) << out;
        EXPECT_TRUE(std::regex_search(out, std::regex("  3/20    Nc3   \r$"))) << out;
        EXPECT_EQ(capture.log_text(), "") << "the progress line is never logged";
        destroy_position(pos);
    }
    Position* pos = position_with_line(nullptr, {}, 150);
    pos->root_index = 4;
    protocol_mode = PROTOCOL_UCI;
    OutputCapture capture;
    print_current_move(pos, 2 * ONE_PLY + 3, parse_move(pos, "b1c3"));
    EXPECT_TRUE(std::regex_match(capture.stdout_text(),
                                 std::regex("info depth 2 seldepth 7 nodes 12345 hashfull \\d+ nps "
                                            "\\d+ currmove b1c3 currmovenumber 5\n")))
        << capture.stdout_text();
    destroy_position(pos);
}

TEST(SearchInfo, StatisticsBlock)
{
    for (int enabled : {1, 0}) {
        Position* pos = position_with_line(nullptr, {}, 0);
        protocol_mode = PROTOCOL_UCI;
        tb_enabled = enabled;
        OutputCapture capture;
        print_search_stats(pos);
        tb_enabled = 1;
        EXPECT_TRUE(std::regex_match(capture.stdout_text(),
                                     std::regex("info nps \\d+ nodes 12345 cpuload \\d+ tbhits 0\n")))
            << capture.stdout_text();
        const std::string log = capture.log_text();
        EXPECT_TRUE(std::regex_search(
            log, std::regex("^\n\nTime: \\d+\\.\\d\\d, cpu +\\d+\\.\\d\\d%, nodes 12345, nps \\d+\n")))
            << log;
        EXPECT_NE(log.find("\nHash: "), std::string::npos) << log;
        const std::string tb = enabled ? "EGTB: probs 0, hits 0\n\n" : "EGTB: disabled\n\n";
        EXPECT_EQ(log.substr(log.size() - tb.size()), tb) << log;
        destroy_position(pos);
    }
}

// Every UCI line of a real search must describe a line of legal moves,
// with depths that never go back and node counts that only grow.
TEST(SearchInfo, UciLinesOfARealSearchPlayOut)
{
    Position* pos = new_position("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -");
    protocol_mode = PROTOCOL_UCI;
    max_depth = (sanitized() ? 4 : 6) * ONE_PLY;
    OutputCapture capture;
    think(pos);
    const std::regex pv_line(
        "info depth (\\d+) seldepth (\\d+) nodes (\\d+) nps \\d+ time \\d+ score (cp|mate) -?\\d+ "
        "pv((?: [a-h][1-8][a-h][1-8][qrbn]?)+)");
    int last_depth = 0;
    long last_nodes = 0;
    int pv_lines = 0;
    for (const std::string& line : split_lines(capture.stdout_text())) {
        std::smatch m;
        if (!std::regex_match(line, m, pv_line))
            continue;
        pv_lines++;
        const int depth = std::stoi(m[1]);
        const long nodes = std::stol(m[3]);
        EXPECT_GE(depth, last_depth);
        EXPECT_GE(nodes, last_nodes);
        EXPECT_GE(std::stoi(m[2]), 1);
        last_depth = depth;
        last_nodes = nodes;
        std::istringstream moves(m[5].str());
        std::string text;
        std::vector<Move> made;
        while (moves >> text) {
            const Move move = parse_move(pos, text.c_str());
            ASSERT_TRUE(is_legal(pos, move)) << line;
            make_move(pos, move);
            made.push_back(move);
        }
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            unmake_move(pos, *it);
    }
    EXPECT_GE(pv_lines, 4);
    EXPECT_EQ(last_depth, sanitized() ? 4 : 6);
    EXPECT_TRUE(std::regex_search(capture.stdout_text(),
                                  std::regex("\ninfo nps \\d+ nodes \\d+ cpuload \\d+ tbhits 0\n$")));
    // The same lines reach the log as table lines.
    EXPECT_NE(capture.log_text().find("  Depth   Time  Score    Best line\n"), std::string::npos);
    destroy_position(pos);
}

TEST(SearchMultiPv, ReportsTheBestLinesInOrder)
{
    Position* pos = new_position("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -");
    protocol_mode = PROTOCOL_UCI;
    multipv_lines = 3;
    max_depth = 4 * ONE_PLY;
    OutputCapture capture;
    think(pos);
    const std::regex line_pattern(
        "info multipv (\\d) depth (\\d+) seldepth \\d+ time \\d+ score cp (-?\\d+) nodes \\d+ nps "
        "\\d+ pv((?: [a-h][1-8][a-h][1-8][qrbn]?)+)");
    // The final block: the last three multipv lines, numbered 1..3, best first.
    std::vector<std::smatch> found;
    const std::string out = capture.stdout_text();
    std::vector<std::string> lines = split_lines(out);
    std::vector<int> numbers, scores;
    std::vector<std::string> firsts;
    for (const std::string& line : lines) {
        std::smatch m;
        if (std::regex_match(line, m, line_pattern)) {
            numbers.push_back(std::stoi(m[1]));
            scores.push_back(std::stoi(m[3]));
            firsts.push_back(m[4].str().substr(1, 4));
        }
    }
    ASSERT_GE(numbers.size(), 3u) << out;
    const size_t n = numbers.size();
    EXPECT_EQ(numbers[n - 3], 1);
    EXPECT_EQ(numbers[n - 2], 2);
    EXPECT_EQ(numbers[n - 1], 3);
    EXPECT_GE(scores[n - 3], scores[n - 2]);
    EXPECT_GE(scores[n - 2], scores[n - 1]);
    EXPECT_NE(firsts[n - 3], firsts[n - 2]);
    EXPECT_NE(firsts[n - 2], firsts[n - 1]);
    EXPECT_EQ(format_move_coord(pos->pv[0][0]), firsts[n - 3]);
    EXPECT_EQ(pos->pv_length[0], 1);
    const std::string log = capture.log_text();
    EXPECT_NE(log.find("  " + std::string(72, '=') + "\n"), std::string::npos);
    EXPECT_NE(log.find("  " + std::string(72, '-') + "\n"), std::string::npos);
    destroy_position(pos);
}

// xboard thinking lines of a real analysis: depth, score, centiseconds,
// nodes, then two blanks and the line in SAN, every move legal in turn.
TEST(SearchInfo, XboardThinkingLinesOfARealAnalysis)
{
    Position* pos = new_position("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -");
    protocol_mode = PROTOCOL_XBOARD;
    post_enabled = 1;
    analyze_mode = 1;
    max_depth = 4 * ONE_PLY;
    OutputCapture capture;
    think(pos);
    const std::regex line_pattern("(\\d+) (-?\\d+) (\\d+) (\\d+)  (\\S.*)");
    int lines = 0;
    for (const std::string& line : split_lines(capture.stdout_text())) {
        std::smatch m;
        if (!std::regex_match(line, m, line_pattern))
            continue;
        lines++;
        std::istringstream moves(m[5].str());
        std::string san;
        std::vector<Move> made;
        while (moves >> san) {
            const Move move = parse_move(pos, san.c_str());
            ASSERT_TRUE(is_legal(pos, move)) << line;
            EXPECT_EQ(san, format_move_san(pos, move)) << line;
            make_move(pos, move);
            made.push_back(move);
        }
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            unmake_move(pos, *it);
    }
    EXPECT_GE(lines, 4);
    // In analysis the table lines are written from the start as well.
    EXPECT_NE(capture.log_text().find("   4/"), std::string::npos) << capture.log_text();
    destroy_position(pos);
}
