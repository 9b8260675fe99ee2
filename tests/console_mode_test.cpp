// Whole-process tests of the command line and of the console dialogue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "search/evaluate.h"
#include "tests/helpers/engine_process.h"

namespace {

// Bounds for waits that only a fault exceeds; a loaded machine needs room.
const int SHORT = scaled_timeout(20000);
const int SEARCH = scaled_timeout(60000);

const std::vector<std::string> USAGE = {
    "usage: quarvel [options]",
    "   Book options:",
    "   -B FILE       Use FILE as opening book",
    "   -I PGN-file   Build opening book from PGN-file",
    "   -D DEPTH      Cut book lines at DEPTH",
    "   -P MINPLAYED  Add moves played more then n-times",
    "   -o            Disable opening book",
    "",
    "   Output options:",
    "   -v            Print the version number and exit",
    "   -d            Print diagram",
    "   -n            Print move number before whites move",
    "   -H            Print hash usage",
    "   -q            Suppress all output",
    "   -l FILE       Send log output to FILE",
    "",
    "   Search options:",
    "   -a            Start in analyze mode",
    "   -N MOVES      Start in analyze mode and analyze N-best moves",
    "   -e            Disable Pondering",
    "   -m DEPTH      Max depth",
    "",
    "   Other options:",
    "   -c FILE       Configuration file",
    "   -C            Print default configuration",
    "   -h SIZE       Hash size (xxM, xxK or bytes)",
    "   -b FEN        Load FEN position",
    "   -x            Disable endgame tables",
    "",
    "   Test suite:",
    "   -T FILE       Run an epd test suite from FILE",
    "   -t SEC        Test time (default 10 seconds)",
    "   -p PLY        Extra test ply (default 3)",
};

const std::vector<std::string> DEFAULT_CONFIG = {
    "RESIGN 700", "HASH 32M", "LOGFNAME \"\"", "BOOK \"quarvel.bok\"", "EGTB_HASH_SIZE 1M",
    "TB_PATH \"c:\\chess\\tb\"",
};

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct CommandLineCase {
    std::vector<std::string> args;
    std::vector<std::string> output;   // the whole standard output
    int exit_code;
};

TEST(CommandLine, OneShotOptions)
{
    std::vector<std::string> config_64m = DEFAULT_CONFIG;
    config_64m[1] = "HASH 64M";
    const CommandLineCase cases[] = {
        {{"-v"}, {"Quarvel 2.1.0"}, 0},
        {{"-q", "-v"}, {}, 0},
        {{"-v", "-q"}, {"Quarvel 2.1.0"}, 0},
        {{"-C"}, DEFAULT_CONFIG, 0},
        {{"-C", "-h", "64M"}, DEFAULT_CONFIG, 0},
        {{"-h", "64M", "-C"}, joined({"Hash size 67108864"}, config_64m), 0},
        {{"-q", "-h", "64M", "-C"}, joined({"Hash size 67108864"}, config_64m), 0},
        // A command line the program cannot use is a failure.
        {{"-Z"}, USAGE, 1},
        {{"-L", "x"}, USAGE, 1},
        {{"-h"}, USAGE, 1},
        {{"-d", "-T"}, USAGE, 1},
    };
    for (const CommandLineCase& c : cases) {
        std::string name;
        for (const std::string& a : c.args)
            name += a + " ";
        SCOPED_TRACE(name);
        EngineProcess proc;
        ASSERT_TRUE(start_quarvel(&proc, c.args));
        process_close_input(&proc);
        ASSERT_TRUE(process_read_to_end(&proc, SHORT));
        EXPECT_EQ(process_wait_exit(&proc, SHORT), c.exit_code);
        EXPECT_EQ(proc.lines, c.output) << process_transcript(&proc);
    }
}

TEST(CommandLine, StartPositionAndQuietMode)
{
    // -b loads a position; -q silences the channel but not the interface.
    EngineProcess proc;
    ASSERT_TRUE(start_quarvel(&proc, {"-q", "-b", "4k3/8/8/8/8/8/8/4K2R b K -"}));
    ASSERT_TRUE(process_send(&proc, "display"));
    ASSERT_TRUE(process_send(&proc, "ping 1"));
    ASSERT_TRUE(process_expect_line(&proc, "pong 1", SHORT)) << process_transcript(&proc);
    EXPECT_EQ(proc.lines.front(), "feature done=0");
    bool found = false;
    for (const std::string& line : proc.lines)
        found = found || line == "(0) Black to move:";
    EXPECT_TRUE(found) << process_transcript(&proc);
    process_close_input(&proc);
    EXPECT_EQ(process_wait_exit(&proc, SHORT), 0);
}

bool saw_substring(const EngineProcess& proc, size_t from, const std::string& text)
{
    for (size_t i = from; i < proc.lines.size(); i++)
        if (proc.lines[i].find(text) != std::string::npos)
            return true;
    return false;
}

TEST(Console, PromptEchoAndDiagram)
{
    EngineProcess proc;
    ASSERT_TRUE(start_quarvel(&proc, {"-d"}));
    ASSERT_TRUE(process_send(&proc, "force"));
    ASSERT_TRUE(process_expect_substring(&proc, "[force]", SHORT)) << process_transcript(&proc);
    // The next read is announced by the prompt.
    ASSERT_TRUE(process_send(&proc, "e2e4"));
    ASSERT_TRUE(process_expect_substring(&proc, "quarvel: [e2e4]", SHORT)) << process_transcript(&proc);

    // A rejected move shows the board and the report; SAN is no move here.
    size_t mark = proc.lines.size();
    ASSERT_TRUE(process_send(&proc, "e7e4"));
    ASSERT_TRUE(process_expect_line(&proc, "Invalid move: e7-e4", SHORT)) << process_transcript(&proc);
    EXPECT_TRUE(saw_substring(proc, mark, "(1) Black to move:"));
    ASSERT_TRUE(process_send(&proc, "Nf3"));
    ASSERT_TRUE(process_expect_line(&proc, "Unknown command, Nf3", SHORT));
    ASSERT_TRUE(process_send(&proc, "QUIT"));
    ASSERT_TRUE(process_expect_line(&proc, "Unknown command, QUIT", SHORT));

    // The engine's turn: the diagram first, then the search and its move.
    ASSERT_TRUE(process_send(&proc, "sd 2"));
    ASSERT_TRUE(process_send(&proc, "go"));
    ASSERT_TRUE(process_expect_line(&proc, "(1) Black to move:", SEARCH)) << process_transcript(&proc);
    ASSERT_TRUE(process_expect_prefix(&proc, "Best move: ", SEARCH)) << process_transcript(&proc);
    ASSERT_TRUE(process_send(&proc, "quit"));
    EXPECT_EQ(process_wait_exit(&proc, SEARCH), 0) << process_transcript(&proc);
}

TEST(Console, PositionEditor)
{
    EngineProcess proc;
    ASSERT_TRUE(start_quarvel(&proc, {"-d"}));
    for (const char* line : {"edit", "#", "Ke1", "Ra1", "Rh1", "Pa7", "Xa7", "zz", "P", "c",
                             "Ke8", "Qd8", "pb2", "."})
        ASSERT_TRUE(process_send(&proc, line));
    ASSERT_TRUE(process_expect_substring(&proc, "Uknown edit command", SHORT)) << process_transcript(&proc);
    ASSERT_TRUE(process_expect_substring(&proc, "Uknown edit command", SHORT));
    // Leaving the editor shows the new board.
    ASSERT_TRUE(process_expect_substring(&proc, "(0) White to move:", SHORT)) << process_transcript(&proc);
    std::vector<std::string> rows;
    std::string line;
    while (rows.size() < 8 && process_next_line(&proc, SHORT, &line))
        if (line.size() > 6 && line[6] == '|')
            rows.push_back(line);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], "    8 |   |   |   | *q| *k|   |   |   |");
    EXPECT_EQ(rows[1], "    7 |   |   |   |   |   |   |   |   |");
    EXPECT_EQ(rows[6], "    2 |   | *p|   |   |   |   |   |   |");
    EXPECT_EQ(rows[7], "    1 | R |   |   |   | K |   |   | R |");
    // The edited position is playable: the engine finds a move in it.
    ASSERT_TRUE(process_send(&proc, "sd 2"));
    ASSERT_TRUE(process_send(&proc, "go"));
    ASSERT_TRUE(process_expect_prefix(&proc, "Best move: ", SEARCH)) << process_transcript(&proc);
    process_close_input(&proc);
    EXPECT_EQ(process_wait_exit(&proc, SEARCH), 0) << process_transcript(&proc);
}

TEST(Console, EditorRejectsSquaresOffTheBoard)
{
    // The file letter is checked on its own: "i1" must not land on a2.
    for (const char* square_line : {"Pa9", "Pi1", "Ka0"}) {
        SCOPED_TRACE(square_line);
        EngineProcess proc;
        ASSERT_TRUE(start_quarvel(&proc));
        ASSERT_TRUE(process_send(&proc, "edit"));
        ASSERT_TRUE(process_send(&proc, square_line));
        ASSERT_TRUE(process_expect_substring(&proc, "Edit outside board", SHORT))
            << process_transcript(&proc);
        EXPECT_EQ(process_wait_exit(&proc, SHORT), 1);
    }
}

TEST(Console, EndOfInputInsideTheEditor)
{
    EngineProcess proc;
    ASSERT_TRUE(start_quarvel(&proc));
    ASSERT_TRUE(process_send(&proc, "edit"));
    ASSERT_TRUE(process_send(&proc, "Ke1"));
    process_close_input(&proc);
    EXPECT_EQ(process_wait_exit(&proc, SHORT), 0);
}

struct ClockCase {
    std::vector<std::string> commands;   // before "go"
    const char* allocated;               // the allocation the turn reports
};

TEST(Console, ClockCommandsReachTheAllocation)
{
    const std::string long_base(40, '9');
    const ClockCase cases[] = {
        {{"level 40 5 0", "time 6000"}, "Time allocated: 1.50"},
        {{"level 0 2:30 12", "time 6000"}, "Time allocated: 11.40"},
        {{"level 40 " + long_base + " 3", "time 6000"}, "Time allocated: 4.50"},
        {{"level 40 5 0", "time 6000", "st 5"}, "Time allocated: 5.00"},
        // A "time" with two values is not a clock setting.
        {{"level 40 5 0", "time 6000", "time 10 20"}, "Time allocated: 1.50"},
    };
    for (const ClockCase& c : cases) {
        SCOPED_TRACE(c.allocated);
        EngineProcess proc;
        ASSERT_TRUE(start_quarvel(&proc, {"-e"}));
        ASSERT_TRUE(process_send(&proc, "sd 1"));
        for (const std::string& line : c.commands)
            ASSERT_TRUE(process_send(&proc, line));
        ASSERT_TRUE(process_send(&proc, "go"));
        std::string line;
        ASSERT_TRUE(process_expect_prefix(&proc, "Time allocated: ", SEARCH, &line))
            << process_transcript(&proc);
        EXPECT_EQ(line, c.allocated);
        process_close_input(&proc);
        EXPECT_EQ(process_wait_exit(&proc, SEARCH), 0);
    }
}

// The text after `prefix` on the first unconsumed line that starts with it.
std::string expect_after(EngineProcess* proc, const std::string& prefix)
{
    std::string line;
    if (!process_expect_prefix(proc, prefix, SEARCH, &line))
        return "";
    return line.substr(prefix.size());
}

TEST(Console, PredictedReplyReachesTheNextTurn)
{
    // The test keeps its own copy of the game to turn SAN into coordinates.
    init_eval_tables();
    Position* game = create_position();
    setup_new_game(game);

    EngineProcess proc;
    ASSERT_TRUE(start_quarvel(&proc));
    for (const char* line : {"new", "hard", "time 1000", "otim 1000", "e2e4"})
        ASSERT_TRUE(process_send(&proc, line));
    make_move(game, parse_move(game, "e2e4"));
    std::string reply = expect_after(&proc, "Best move: ");
    ASSERT_FALSE(reply.empty()) << process_transcript(&proc);
    Move engine_move = parse_move(game, reply.substr(0, reply.find(' ')).c_str());
    ASSERT_NE(engine_move, 0) << reply;
    make_move(game, engine_move);
    std::string pondered = expect_after(&proc, "Pondering: ");
    ASSERT_FALSE(pondered.empty()) << process_transcript(&proc);
    Move predicted = parse_move(game, pondered.c_str());
    ASSERT_NE(predicted, 0) << pondered;

    // Let the ponder search run: the status request reports its time.
    for (int elapsed = 0; elapsed < 50;) {
        ASSERT_TRUE(process_send(&proc, "."));
        std::string stat = expect_after(&proc, "stat01: ");
        ASSERT_FALSE(stat.empty()) << process_transcript(&proc);
        elapsed = atoi(stat.c_str());
    }
    std::string move_text = std::string(square_name[move_from(predicted)]) +
                            square_name[move_to(predicted)];
    for (std::string line : {std::string("time 1000"), std::string("otim 1000"), move_text})
        ASSERT_TRUE(process_send(&proc, line));
    ASSERT_TRUE(process_expect_line(&proc, "Predicted move!!", SEARCH)) << process_transcript(&proc);
    // The turn either reuses the ponder search or searches anew; either way
    // it answers with a move.
    std::string line;
    bool answered = false;
    while (!answered && process_next_line(&proc, SEARCH, &line))
        answered = line.rfind("Using ponder move: ", 0) == 0 || line.rfind("Best move: ", 0) == 0;
    EXPECT_TRUE(answered) << process_transcript(&proc);
    process_close_input(&proc);
    EXPECT_EQ(process_wait_exit(&proc, SEARCH), 0);
    destroy_position(game);
}

} // namespace
