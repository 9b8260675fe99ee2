// Whole-process xboard scripts: build/quarvel driven through pipes.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "tests/helpers/engine_process.h"

namespace {

// Bounds for waits that only a fault exceeds; a loaded machine needs room.
const int SHORT = scaled_timeout(20000);
const int SEARCH = scaled_timeout(60000);

// Starts the engine in xboard mode and waits for the end of its features.
void start_xboard(EngineProcess* proc, const std::vector<std::string>& args = {})
{
    ASSERT_TRUE(start_quarvel(proc, args));
    ASSERT_TRUE(process_send(proc, "xboard"));
    ASSERT_TRUE(process_send(proc, "protover 2"));
    ASSERT_TRUE(process_expect_line(proc, "feature done=1", SHORT)) << process_transcript(proc);
}

// A ping round trip: every line sent before it has been handled.
void sync(EngineProcess* proc, int number)
{
    std::string pong = "pong " + std::to_string(number);
    ASSERT_TRUE(process_send(proc, "ping " + std::to_string(number)));
    ASSERT_TRUE(process_expect_line(proc, pong, SEARCH)) << process_transcript(proc);
}

// Lines from `from` up to (not including) the first line equal to `stop`.
std::vector<std::string> lines_between(const EngineProcess& proc, size_t from,
                                       const std::string& stop)
{
    std::vector<std::string> out;
    for (size_t i = from; i < proc.lines.size() && proc.lines[i] != stop; i++)
        out.push_back(proc.lines[i]);
    return out;
}

// The rows of a diagram printed by "display", ranks 8 to 1.
std::vector<std::string> display_rows(EngineProcess* proc, std::string* header)
{
    EXPECT_TRUE(process_send(proc, "display"));
    std::vector<std::string> rows;
    std::string line;
    EXPECT_TRUE(process_expect_substring(proc, " to move:", SHORT, header));
    while (rows.size() < 8 && process_next_line(proc, SHORT, &line)) {
        if (line.size() > 6 && line[4] >= '1' && line[4] <= '8' && line[6] == '|')
            rows.push_back(line);
    }
    return rows;
}

void expect_clean_exit(EngineProcess* proc)
{
    process_close_input(proc);
    EXPECT_EQ(process_wait_exit(proc, SEARCH), 0) << process_transcript(proc);
}

TEST(XboardProtocol, StartupAndFeatureLines)
{
    EngineProcess proc;
    ASSERT_TRUE(start_quarvel(&proc));
    // Start-up runs in console mode: the version line, then the hold on the
    // interface.
    ASSERT_TRUE(process_expect_line(&proc, "Quarvel 2.1.0", SHORT)) << process_transcript(&proc);
    ASSERT_TRUE(process_expect_line(&proc, "feature done=0", SHORT));
    ASSERT_TRUE(process_send(&proc, "xboard"));
    ASSERT_TRUE(process_send(&proc, "protover 2"));
    ASSERT_TRUE(process_expect_line(&proc, "feature setboard=1", SHORT)) << process_transcript(&proc);
    const char* expected[] = {"feature analyze=1", "feature setboard=1",
                              "feature myname=\"Quarvel 2.1.0\"", "feature ics=1",
                              "feature done=1", "feature ping=1"};
    for (const char* text : expected) {
        std::string line;
        ASSERT_TRUE(process_next_line(&proc, SHORT, &line));
        EXPECT_EQ(line, text);
    }
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 1));
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, PingAndCommandsMissingArguments)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 17));
    size_t mark = proc.lines.size();
    for (const char* line : {"ping", "result", "protover", "name", "rating", "rating 2500",
                             "level", "level 40", "setboard", "time", "otim", "sd", "st",
                             "best", "ponder", "time 1 2", "undo", "undo"})
        ASSERT_TRUE(process_send(&proc, line));
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 18));
    // None of them answers anything on the interface.
    EXPECT_EQ(lines_between(proc, mark, "pong 18"), std::vector<std::string>{})
        << process_transcript(&proc, mark);
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, IllegalAndUnknownInput)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    ASSERT_TRUE(process_send(&proc, "new"));
    ASSERT_TRUE(process_send(&proc, "force"));
    size_t mark = proc.lines.size();
    ASSERT_TRUE(process_send(&proc, "e7e5"));       // Black's move, White to move
    ASSERT_TRUE(process_expect_line(&proc, "Illegal move: e7e5", SHORT)) << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "e2e5"));       // no such pawn move
    ASSERT_TRUE(process_expect_line(&proc, "Illegal move: e2e5", SHORT));
    // Text shaped like a move that names no square is answered as sent.
    ASSERT_TRUE(process_send(&proc, "z9z9"));
    ASSERT_TRUE(process_expect_line(&proc, "Illegal move: z9z9", SHORT)) << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "ponder i2i4"));
    ASSERT_TRUE(process_expect_line(&proc, "Illegal move: i2i4", SHORT)) << process_transcript(&proc);
    // Unknown words (SAN, other letter case) reach only the log.
    ASSERT_TRUE(process_send(&proc, "Nf3"));
    ASSERT_TRUE(process_send(&proc, "QUIT"));
    ASSERT_TRUE(process_send(&proc, "ucinewgame"));
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 2));
    EXPECT_EQ(lines_between(proc, mark, "pong 2"),
              (std::vector<std::string>{"Illegal move: e7e5", "Illegal move: e2e5",
                                        "Illegal move: z9z9", "Illegal move: i2i4"}));
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, OverlongInputIsSurvived)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    ASSERT_TRUE(process_send(&proc, std::string(30000, 'x')));
    ASSERT_TRUE(process_send(&proc, "e2e4" + std::string(20000, 'q')));
    std::string many;
    for (int i = 0; i < 3000; i++)
        many += "tok ";
    ASSERT_TRUE(process_send(&proc, many));
    ASSERT_TRUE(process_send(&proc, "setboard " + std::string(9000, '/') + " w KQkq -"));
    std::string long_ping = "ping " + std::string(5000, '7');
    ASSERT_TRUE(process_send(&proc, long_ping));
    ASSERT_TRUE(process_expect_line(&proc, "pong " + std::string(5000, '7'), SHORT))
        << process_transcript(&proc);
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 3));
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, ForceUndoAndDisplay)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    for (const char* line : {"new", "force", "e2e4", "e7e5", "undo"})
        ASSERT_TRUE(process_send(&proc, line));
    std::string header;
    std::vector<std::string> rows = display_rows(&proc, &header);
    EXPECT_EQ(header, "(1) Black to move:");
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], "    8 | *r| *n| *b| *q| *k| *b| *n| *r|");
    EXPECT_EQ(rows[3], "    5 |   |   |   |   |   |   |   |   |");
    EXPECT_EQ(rows[4], "    4 |   |   |   |   | P |   |   |   |");
    ASSERT_TRUE(process_send(&proc, "undo"));
    rows = display_rows(&proc, &header);
    EXPECT_EQ(header, "(0) White to move:");
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[6], "    2 | P | P | P | P | P | P | P | P |");
    // Force mode: no move came from the engine all along.
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 4));
    for (const std::string& line : proc.lines)
        EXPECT_NE(line.rfind("move ", 0), 0u) << line;
    expect_clean_exit(&proc);
}

struct SetboardCase {
    const char* line;          // as sent
    const char* row8;          // rank 8 of the diagram afterwards
    const char* row1;
    const char* header;
    const char* message;       // expected reply line, or nullptr
};

TEST(XboardProtocol, SetboardGoodAndBad)
{
    const SetboardCase cases[] = {
        {"setboard 4k3/8/8/8/8/8/8/4K2R w K - 0 1", "    8 |   |   |   |   | *k|   |   |   |",
         "    1 |   |   |   |   | K |   |   | R |", "(0) White to move:", nullptr},
        // Leading blanks before the command word.
        {"   setboard r3k3/8/8/8/8/8/8/4K3 b q -", "    8 | *r|   |   |   | *k|   |   |   |",
         "    1 |   |   |   |   | K |   |   |   |", "(0) Black to move:", nullptr},
        // A bad castling field leaves the position as it was.
        {"setboard 8/8/8/8/8/8/8/RNBQKBNR w KXkq -", "    8 | *r|   |   |   | *k|   |   |   |",
         "    1 |   |   |   |   | K |   |   |   |", "(0) Black to move:",
         "Setboard: Bad castle info"},
        // One field only.
        {"setboard 8/8/8/8/8/8/8/8", "    8 | *r|   |   |   | *k|   |   |   |",
         "    1 |   |   |   |   | K |   |   |   |", "(0) Black to move:",
         "Bad epd format: 8/8/8/8/8/8/8/8"},
    };
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    ASSERT_TRUE(process_send(&proc, "force"));
    int number = 10;
    for (const SetboardCase& c : cases) {
        SCOPED_TRACE(c.line);
        size_t mark = proc.lines.size();
        ASSERT_TRUE(process_send(&proc, c.line));
        ASSERT_NO_FATAL_FAILURE(sync(&proc, ++number));
        std::vector<std::string> replies =
            lines_between(proc, mark, "pong " + std::to_string(number));
        if (c.message)
            EXPECT_EQ(replies, std::vector<std::string>{c.message});
        else
            EXPECT_TRUE(replies.empty()) << process_transcript(&proc, mark);
        std::string header;
        std::vector<std::string> rows = display_rows(&proc, &header);
        ASSERT_EQ(rows.size(), 8u);
        EXPECT_EQ(header, c.header);
        EXPECT_EQ(rows[0], c.row8);
        EXPECT_EQ(rows[7], c.row1);
    }
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, GameEndingInMate)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    for (const char* line : {"new", "level 40 5 0", "post", "force", "f2f3", "e7e5", "g2g4",
                             "time 30000", "otim 30000", "go"})
        ASSERT_TRUE(process_send(&proc, line));
    // The engine plays Black and mates at once; its ponder step then finds
    // White without a move and announces the result.
    ASSERT_TRUE(process_expect_line(&proc, "move d8h4", SEARCH)) << process_transcript(&proc);
    ASSERT_TRUE(process_expect_line(&proc, "0-1 {Black mates}", SEARCH)) << process_transcript(&proc);
    // A turn in a mated position sends no move.
    size_t mark = proc.lines.size();
    ASSERT_TRUE(process_send(&proc, "go"));
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 5));
    for (const std::string& line : lines_between(proc, mark, "pong 5"))
        EXPECT_NE(line.rfind("move ", 0), 0u) << line;
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, EngineAnswersMovesAndPromotes)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    for (const char* line : {"new", "sd 3", "e2e4"})
        ASSERT_TRUE(process_send(&proc, line));
    std::string reply;
    ASSERT_TRUE(process_expect_prefix(&proc, "move ", SEARCH, &reply)) << process_transcript(&proc);
    EXPECT_TRUE(reply[5] >= 'a' && reply[5] <= 'h' && (reply[6] == '7' || reply[6] == '8'))
        << reply;
    // A promotion is sent with "=" and a lower-case piece letter; here every
    // legal move is a promotion.
    for (const char* line : {"force", "setboard 1r6/4P1k1/8/8/8/8/7r/K7 w - -", "sd 3", "go"})
        ASSERT_TRUE(process_send(&proc, line));
    ASSERT_TRUE(process_expect_prefix(&proc, "move e7e8=", SEARCH, &reply))
        << process_transcript(&proc);
    ASSERT_EQ(reply.size(), 11u) << reply;
    EXPECT_NE(std::string("qrbn").find(reply[10]), std::string::npos) << reply;
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, DepthLimitAndFixedTime)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    // Analysis shows every line at once; the depth limit holds there too.
    for (const char* line : {"new", "sd 2", "analyze"})
        ASSERT_TRUE(process_send(&proc, line));
    size_t mark = proc.lines.size();
    ASSERT_TRUE(process_expect_prefix(&proc, "2 ", SEARCH)) << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "exit"));
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 9));
    int deepest = 0;
    for (size_t i = mark; i < proc.lines.size(); i++) {
        int depth = 0, score = 0, time = 0, nodes = 0;
        if (sscanf(proc.lines[i].c_str(), "%d %d %d %d", &depth, &score, &time, &nodes) == 4 &&
            depth > deepest)
            deepest = depth;
    }
    EXPECT_EQ(deepest, 2) << process_transcript(&proc, mark);
    // A fixed time per move with the depth limit lifted again still moves.
    for (const char* line : {"new", "sd 0", "st 1", "go"})
        ASSERT_TRUE(process_send(&proc, line));
    ASSERT_TRUE(process_expect_prefix(&proc, "move ", SEARCH)) << process_transcript(&proc);
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, AnalyzeStatusAndExit)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    for (const char* line : {"new", "analyze"})
        ASSERT_TRUE(process_send(&proc, line));
    // Thinking lines show up, then the status request is answered.
    ASSERT_TRUE(process_expect_prefix(&proc, "1 ", SEARCH)) << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "."));
    std::string stat;
    ASSERT_TRUE(process_expect_prefix(&proc, "stat01: ", SEARCH, &stat)) << process_transcript(&proc);
    // A move restarts the analysis on the new position, "exit" ends it.
    ASSERT_TRUE(process_send(&proc, "e2e4"));
    ASSERT_TRUE(process_send(&proc, "exit"));
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 6));
    for (const std::string& line : proc.lines)
        EXPECT_NE(line.rfind("move ", 0), 0u) << line;
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, EndOfInputEndsAnalysisAndPondering)
{
    {
        EngineProcess proc;
        ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
        ASSERT_TRUE(process_send(&proc, "analyze"));
        ASSERT_TRUE(process_expect_prefix(&proc, "1 ", SEARCH)) << process_transcript(&proc);
        expect_clean_exit(&proc);
    }
    {
        EngineProcess proc;
        ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
        for (const char* line : {"new", "hard", "st 1", "e2e4"})
            ASSERT_TRUE(process_send(&proc, line));
        ASSERT_TRUE(process_expect_prefix(&proc, "move ", SEARCH)) << process_transcript(&proc);
        // The engine now ponders on our time.
        expect_clean_exit(&proc);
    }
}

TEST(XboardProtocol, InterruptSignalsAreHarmless)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    for (const char* line : {"new", "hard", "st 1", "e2e4"})
        ASSERT_TRUE(process_send(&proc, line));
    ASSERT_TRUE(process_expect_prefix(&proc, "move ", SEARCH)) << process_transcript(&proc);
    // xboard may interrupt the engine once per move; several must not kill it.
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(kill(proc.pid, SIGINT), 0);
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 7));
    ASSERT_TRUE(process_send(&proc, "d2d4"));
    ASSERT_TRUE(process_expect_prefix(&proc, "move ", SEARCH)) << process_transcript(&proc);
    ASSERT_EQ(kill(proc.pid, SIGINT), 0);
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 8));
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, BestKeepsTheLineThatStopsIt)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    ASSERT_TRUE(process_send(&proc, "new"));
    ASSERT_NO_FATAL_FAILURE(sync(&proc, 1));
    // The ping reaches the engine while "best" searches; it must be answered.
    ASSERT_TRUE(process_send(&proc, "best 3\nping 42"));
    ASSERT_TRUE(process_expect_line(&proc, "pong 42", SEARCH)) << process_transcript(&proc);
    expect_clean_exit(&proc);
}

TEST(XboardProtocol, QuitEndsWithCodeZero)
{
    EngineProcess proc;
    ASSERT_NO_FATAL_FAILURE(start_xboard(&proc));
    ASSERT_TRUE(process_send(&proc, "quit"));
    EXPECT_EQ(process_wait_exit(&proc, SHORT), 0);
}

} // namespace
