// Whole-process tests of the command line and of the console dialogue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "search/evaluate.h"
#include "tests/helpers/engine_state.h"
#include "tools/helpers/engine_process.h"

namespace {

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

// The whole standard output, line by line, then its end.
std::vector<std::string> exactly(std::vector<std::string> head,
                                 const std::vector<std::string>& lines)
{
    for (const std::string& l : lines)
        head.push_back("- " + l);
    head.push_back("$");
    return head;
}

std::vector<std::string> config(const char* hash)
{
    return {"RESIGN 700",           std::string("HASH ") + hash, "LOGFNAME \"\"",
            "BOOK \"quarvel.bok\"", "EGTB_HASH_SIZE 1M",         "TB_PATH \"c:\\chess\\tb\""};
}

TEST(CommandLine, OneShotOptions)
{
    const std::vector<std::string> hash_64m = exactly({"- Hash size 67108864"}, config("64M"));
    const Dialogue cases[] = {
        {"-v", {"-v"}, exactly({}, {"Quarvel 2.1.0"})},
        {"-q -v", {"-q", "-v"}, {"$"}},
        {"-v -q", {"-v", "-q"}, exactly({}, {"Quarvel 2.1.0"})},
        {"-C", {"-C"}, exactly({}, config("32M"))},
        {"-C -h 64M", {"-C", "-h", "64M"}, exactly({}, config("32M"))},
        {"-h 64M -C", {"-h", "64M", "-C"}, hash_64m},
        {"-q -h 64M -C", {"-q", "-h", "64M", "-C"}, hash_64m},
        // Above the largest budget: cut to it; malformed: the default stays.
        {"-h 4G -C",
         {"-h", "4G", "-C"},
         exactly({"- Hash size 4G too large, using 2047M", "- Hash size 2146435072"},
                 config("2047M"))},
        {"-h 99999M -C",
         {"-h", "99999M", "-C"},
         exactly({"- Hash size 99999M too large, using 2047M", "- Hash size 2146435072"},
                 config("2047M"))},
        {"-h 3M1 -C",
         {"-h", "3M1", "-C"},
         exactly({"- Warning: bad value for HASH: 3M1", "- Hash size 33554432"}, config("32M"))},
        // A command line the program cannot use is a failure.
        {"-Z", {"-Z"}, exactly({}, USAGE), 1},
        {"-L x", {"-L", "x"}, exactly({}, USAGE), 1},
        {"-h", {"-h"}, exactly({}, USAGE), 1},
        {"-d -T", {"-d", "-T"}, exactly({}, USAGE), 1},
    };
    for (const Dialogue& d : cases)
        EXPECT_EQ(run_dialogue(d, SEARCH), "") << d.name;
}

std::vector<std::string> clock_case(std::vector<std::string> commands, const std::string& allocated)
{
    commands.insert(commands.begin(), "> sd 1");
    commands.push_back("> go");
    commands.push_back("@ Time allocated: " + allocated);
    return commands;
}

TEST(Console, Dialogues)
{
    const std::string long_base(40, '9');
    const Dialogue cases[] = {
        // -b loads a position; -q silences the channel but not the interface.
        {"-q -b",
         {"-q", "-b", "4k3/8/8/8/8/8/8/4K2R b K -"},
         {"- feature done=0", "> display", "> ping 1", "= (0) Black to move:", "= pong 1"}},
        // Each read is announced by the prompt and echoed; a rejected move
        // shows the board, then the report; SAN is no move here. The
        // engine's turn shows the diagram before the search. Each line
        // waits for the prompt: one that arrives sooner is taken by the
        // poll before the read and echoed in braces first.
        {"prompt, echo and diagram",
         {"-d"},
         {"> force",
          "~ [force]",
          "? quarvel: ",
          "> e2e4",
          "- quarvel: [e2e4]",
          "? quarvel: ",
          "> e7e4",
          "- quarvel: [e7e4]",
          "- (1) Black to move:",
          "= Invalid move: e7-e4",
          "? quarvel: ",
          "> d2d4",
          "- quarvel: [d2d4]",
          "- (1) Black to move:",
          "= Invalid move: d2-d4",
          "? quarvel: ",
          "> e2e4",
          "- quarvel: [e2e4]",
          "- (1) Black to move:",
          "= Invalid move: e2-e4",
          "? quarvel: ",
          "> Nf3",
          "- quarvel: [Nf3]",
          "- Unknown command, Nf3",
          "? quarvel: ",
          "> QUIT",
          "- quarvel: [QUIT]",
          "- Unknown command, QUIT",
          "> sd 2",
          "> go",
          "= (1) Black to move:",
          "^ Best move: ",
          "> quit"}},
        // Small budgets are split as given; the smallest still plays.
        {"-h 100000",
         {"-h", "100000"},
         {"= Hash size 100000", "= Total hash size 97K", "> sd 3", "> go", "^ Hash: 64K",
          "^ Best move: "}},
        {"-h 106",
         {"-h", "106"},
         {"= Total hash size 106", "> sd 4", "> go", "^ Hash: 64,", "^ Best move: "}},
        // The edited position is shown on leaving the editor, and playable.
        {"position editor",
         {"-d"},
         {"> edit",
          "> #",
          "> Ke1",
          "> Ra1",
          "> Rh1",
          "> Pa7",
          "> Xa7",
          "> zz",
          "> P",
          "> c",
          "> Ke8",
          "> Qd8",
          "> pb2",
          "> .",
          "~ Uknown edit command",
          "~ Uknown edit command",
          "~ (0) White to move:",
          "=     8 |   |   |   | *q| *k|   |   |   |",
          "=     7 |   |   |   |   |   |   |   |   |",
          "=     2 |   | *p|   |   |   |   |   |   |",
          "=     1 | R |   |   |   | K |   |   | R |",
          "> sd 2",
          "> go",
          "^ Best move: "}},
        // Leaving the editor with Black in check and White to move is
        // refused; the game goes on from the position before the edit.
        {"editor refuses a king in check",
         {},
         {"> force",
          "> e2e4",
          "> e7e5",
          "> edit",
          "> #",
          "> Ke1",
          "> Qe7",
          "> c",
          "> Ke8",
          "> .",
          "~ Bad epd format: 4k3/4Q3/8/8/8/8/8/4K3 w - - ",
          "> display",
          "= (1) White to move:",
          "=     5 |   |   |   |   | *p|   |   |   |",
          "> undo",
          "> display",
          "= (1) Black to move:",
          "> sd 2",
          "> go",
          "^ Best move: "}},
        {"-b refuses a king in check",
         {"-b", "4k3/4Q3/8/8/8/8/8/4K3 w - -"},
         {"~ Bad epd format: 4k3/4Q3/8/8/8/8/8/4K3 w - -", "> display",
          "= (0) White to move:", "=     8 | *r| *n| *b| *q| *k| *b| *n| *r|"}},
        // A side change in the middle of a game, then "undo" in analysis.
        {"side change then undo",
         {},
         {"> sd 2", "> go", "^ Best move: ", "> white", "> analyze", "> undo", "> exit", "> go",
          "^ Best move: ", "> setboard 4k3/4Q3/8/8/8/8/8/4K3 b - -", "> white",
          "~ Bad epd format: 4k3/4Q3/8/8/8/8/8/4K3 w - -", "> go", "^ Best move: Kxe7"}},
        // The file letter is checked on its own: "i1" must not land on a2.
        {"Pa9", {}, {"> edit", "> Pa9", "~ Edit outside board"}, 1},
        {"Pi1", {}, {"> edit", "> Pi1", "~ Edit outside board"}, 1},
        {"Ka0", {}, {"> edit", "> Ka0", "~ Edit outside board"}, 1},
        {"end of input in the editor", {}, {"> edit", "> Ke1"}},
        // The clock commands reach the allocation of the turn.
        {"level 40 5 0", {"-e"}, clock_case({"> level 40 5 0", "> time 6000"}, "1.50")},
        {"level 0 2:30 12", {"-e"}, clock_case({"> level 0 2:30 12", "> time 6000"}, "11.40")},
        {"long base",
         {"-e"},
         clock_case({"> level 40 " + long_base + " 3", "> time 6000"}, "4.50")},
        {"st", {"-e"}, clock_case({"> level 40 5 0", "> time 6000", "> st 5"}, "5.00")},
        // A "time" with two values is not a clock setting.
        {"time 10 20",
         {"-e"},
         clock_case({"> level 40 5 0", "> time 6000", "> time 10 20"}, "1.50")},
    };
    for (const Dialogue& d : cases)
        EXPECT_EQ(run_dialogue(d, SEARCH), "") << d.name;
}

// The text after `prefix` on the next line that starts with it.
std::string expect_after(EngineProcess* proc, const std::string& prefix)
{
    std::string line;
    return process_expect_prefix(proc, prefix, SEARCH, &line) ? line.substr(prefix.size()) : "";
}

TEST(Console, PredictedReplyReachesTheNextTurn)
{
    // A copy of the game turns the engine's SAN into coordinates.
    init_eval_tables();
    OwnedPosition game = create_position();
    setup_new_game(game);
    EngineProcess proc;
    ASSERT_TRUE(start_quarvel(&proc));
    // A minute on the clock: the first search must see two plies deep for a
    // predicted reply, also on a machine that leaves it little of the CPU
    // (10 s gave one search of 28 nodes under load, and no prediction).
    for (const char* line : {"new", "hard", "time 6000", "otim 6000", "e2e4"})
        ASSERT_TRUE(process_send(&proc, line));
    make_move(game, parse_move(game, "e2e4"));
    std::string reply = expect_after(&proc, "Best move: ");
    Move engine_move = parse_move(game, reply.substr(0, reply.find(' ')).c_str());
    ASSERT_NE(engine_move, 0) << process_transcript(&proc);
    make_move(game, engine_move);
    Move predicted = parse_move(game, expect_after(&proc, "Pondering: ").c_str());
    ASSERT_NE(predicted, 0) << process_transcript(&proc);
    // Let the ponder search run: the status request reports its time. The
    // answer may follow a current-move status line ended by '\r' only.
    for (std::string stat = "0"; atoi(stat.c_str()) < 50;) {
        ASSERT_TRUE(process_send(&proc, "."));
        std::string line;
        ASSERT_TRUE(process_expect_substring(&proc, "stat01: ", SEARCH, &line))
            << process_transcript(&proc);
        stat = line.substr(line.find("stat01: ") + 8);
    }
    process_send(&proc, "time 1000");
    process_send(&proc, "otim 1000");
    process_send(&proc,
                 std::string(square_name[move_from(predicted)]) + square_name[move_to(predicted)]);
    ASSERT_TRUE(process_expect_line(&proc, "Predicted move!!", SEARCH))
        << process_transcript(&proc);
    // The turn reuses the ponder search or searches anew; either way it moves.
    EXPECT_TRUE(process_expect_substring(&proc, "move: ", SEARCH)) << process_transcript(&proc);
    process_close_input(&proc);
    EXPECT_EQ(process_wait_exit(&proc, SEARCH), 0);
}

} // namespace
