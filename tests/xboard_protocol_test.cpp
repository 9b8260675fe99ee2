// Whole-process xboard dialogues: build/quarvel driven through pipes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/helpers/engine_process.h"

namespace {

using Steps = std::vector<std::string>;

const Steps XBOARD = {"> xboard", "> protover 2", "= feature done=1"};
const Steps SYNC = {"> ping 1", "= pong 1"};

// "display" right after a ping round trip: the reply to the command before
// it (if any), then the header and the rows.
Steps shown(const std::string& header, const Steps& rows, const std::string& message = "")
{
    Steps s = {"> display"};
    if (!message.empty())
        s.push_back("- " + message);
    s.push_back("- " + header);
    for (const std::string& r : rows)
        s.push_back("= " + r);
    return steps_of({s, SYNC});
}

const std::string EMPTY_ROW8 = "    8 |   |   |   |   | *k|   |   |   |";
const std::string ROOK_A8 = "    8 | *r|   |   |   | *k|   |   |   |";
const std::string KING_E1 = "    1 |   |   |   |   | K |   |   |   |";

TEST(XboardProtocol, Dialogues)
{
    const std::string sevens(5000, '7');
    const Dialogue dialogues[] = {
        {"start-up and features",
         {},
         {"- Quarvel 2.1.0", "- feature done=0", "> xboard", "> protover 2", "= feature setboard=1",
          "- feature analyze=1", "- feature setboard=1", "- feature myname=\"Quarvel 2.1.0\"",
          "- feature ics=1", "- feature ping=1", "- feature done=1", "> ping 1", "- pong 1"}},
        // Commands missing their arguments answer nothing at all.
        {"missing arguments",
         {},
         steps_of({XBOARD, {"> ping 17",  "= pong 17", "> ping",        "> result", "> protover",
                            "> name",     "> rating",  "> rating 2500", "> level",  "> level 40",
                            "> setboard", "> time",    "> otim",        "> sd",     "> st",
                            "> best",     "> ponder",  "> time 1 2",    "> undo",   "> undo",
                            "> ping 18",  "- pong 18"}})},
        // Illegal moves are answered as sent; unknown words (SAN, other
        // letter case) reach only the log.
        {"illegal and unknown input",
         {},
         steps_of({XBOARD,
                   {"> new", "> force"},
                   SYNC,
                   {"> e7e5", "> e2e5", "> z9z9", "> ponder i2i4", "> Nf3", "> QUIT",
                    "> ucinewgame", "> ping 2", "- Illegal move: e7e5", "- Illegal move: e2e5",
                    "- Illegal move: z9z9", "- Illegal move: i2i4", "- pong 2"}})},
        {"overlong input",
         {},
         steps_of({XBOARD,
                   {"> " + std::string(30000, 'x'), "> e2e4" + std::string(20000, 'q'),
                    [] {
                        std::string s = "> ";
                        for (int i = 0; i < 3000; i++)
                            s += "tok ";
                        return s;
                    }(),
                    "> setboard " + std::string(9000, '/') + " w KQkq -", "> ping " + sevens,
                    "= pong " + sevens},
                   SYNC})},
        {"force, undo and display",
         {},
         steps_of({XBOARD,
                   SYNC,
                   {"> new", "> force", "> e2e4", "> e7e5", "> undo"},
                   shown("(1) Black to move:", {"    8 | *r| *n| *b| *q| *k| *b| *n| *r|",
                                                "    5 |   |   |   |   |   |   |   |   |",
                                                "    4 |   |   |   |   | P |   |   |   |"}),
                   {"> undo"},
                   shown("(0) White to move:", {"    2 | P | P | P | P | P | P | P | P |"}),
                   {"x move "}})},
        // A bad position leaves the board as it was.
        {"setboard good and bad",
         {},
         steps_of(
             {XBOARD,
              SYNC,
              {"> force", "> setboard 4k3/8/8/8/8/8/8/4K2R w K - 0 1"},
              shown("(0) White to move:", {EMPTY_ROW8, "    1 |   |   |   |   | K |   |   | R |"}),
              {"> setboard 8/8/8/8/8/8/8/RNBQKBNR w KXkq -"},
              shown("(0) White to move:", {EMPTY_ROW8}, "Setboard: Bad castle info"),
              {">    setboard r3k3/8/8/8/8/8/8/4K3 b q -"}, // leading blanks
              shown("(0) Black to move:", {ROOK_A8, KING_E1}),
              {"> setboard 8/8/8/8/8/8/8/8"},
              shown("(0) Black to move:", {ROOK_A8, KING_E1}, "Bad epd format: 8/8/8/8/8/8/8/8")})},
        // The engine mates as Black; its ponder step finds White without a
        // move and announces the result. A turn after the mate sends no move.
        {"game to mate",
         {},
         steps_of({XBOARD,
                   {"> new", "> level 40 5 0", "> post", "> force", "> f2f3", "> e7e5", "> g2g4",
                    "> time 30000", "> otim 30000", "> go", "= move d8h4", "= 0-1 {Black mates}",
                    "|", "> go", "> ping 5", "= pong 5", "x move "}})},
        // Every legal move is a promotion, sent as "e7e8=q" and the like.
        {"answers and promotes",
         {},
         steps_of(
             {XBOARD,
              {"> new", "> sd 3", "> e2e4", "^ move ", "> force",
               "> setboard 1r6/4P1k1/8/8/8/8/7r/K7 w - -", "> sd 3", "> go", "^ move e7e8="}})},
        // The depth limit holds in analysis; st moves with it lifted again.
        {"sd and st",
         {},
         steps_of({XBOARD,
                   {"> new", "> sd 2", "|", "> analyze", "^ 2 ", "> exit"},
                   SYNC,
                   {"x 3 ", "> new", "> sd 0", "> st 1", "> go", "^ move "}})},
        // A move restarts the analysis on the new position; "exit" ends it.
        {"analyze, status and exit",
         {},
         steps_of({XBOARD,
                   {"> new", "> analyze", "^ 1 ", "> .", "^ stat01: ", "> e2e4", "> exit"},
                   SYNC,
                   {"x move "}})},
        {"end of input while analysing", {}, steps_of({XBOARD, {"> analyze", "^ 1 "}})},
        // xboard may interrupt once per move; the input ends while pondering.
        {"interrupts",
         {},
         steps_of({XBOARD,
                   {"> new", "> hard", "> st 1", "> e2e4", "^ move ", "!", "!", "!"},
                   SYNC,
                   {"> d2d4", "^ move ", "!"},
                   SYNC})},
        // The ping arrives while "best" searches; it must still be answered.
        {"best keeps the line that stops it",
         {},
         steps_of({XBOARD, {"> new"}, SYNC, {"> best 3\nping 42", "= pong 42"}})},
        // A side change starts the record afresh: "undo" has nothing to take
        // back, and the engine plays on from the position as it stands.
        {"side change then undo",
         {},
         steps_of({XBOARD,
                   SYNC,
                   {"> new", "> force", "> e2e4", "> white", "> undo"},
                   shown("(0) White to move:", {"    4 |   |   |   |   | P |   |   |   |"}),
                   {"> black", "> undo", "> undo"},
                   shown("(0) Black to move:", {"    4 |   |   |   |   | P |   |   |   |"}),
                   {"> sd 2", "> go", "^ move "}})},
        // A game goes on past 1000 plies.
        {"long game",
         {},
         steps_of({XBOARD,
                   {"> new", "> force"},
                   SYNC,
                   [] {
                       const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
                       std::vector<std::string> moves;
                       for (int i = 0; i < 1001; i++)
                           moves.push_back(std::string("> ") + cycle[i % 4]);
                       moves.push_back("> ping 7");
                       moves.push_back("- pong 7");
                       moves.push_back("> e7e5");
                       moves.push_back("> ping 8");
                       moves.push_back("- pong 8");
                       return moves;
                   }()})},
        // Numbers below their range are ignored like missing ones: the depth
        // limit and the fixed time set before them hold.
        {"negative numbers",
         {},
         steps_of({XBOARD,
                   {"> new", "> sd 2", "> sd -1", "> sd -2147483648", "> depth -2147483648", "|",
                    "> analyze", "^ 2 ", "> exit"},
                   SYNC,
                   {"x 3 ", "> new", "> sd 0", "> st 1", "> st -21474837", "> level -1 5 -3",
                    "> rating -5 2000", "> protover -2", "> best -4", "> go", "^ move "},
                   SYNC})},
        {"quit", {}, steps_of({XBOARD, SYNC, {"> quit", "$"}})},
        // Seconds with decimals, shown by the console's allocation line.
        {"fractions of a second",
         {},
         {"> new", "> sd 1", "> st 0.5", "> go", "~ Time allocated: 0.50", "> st 0",
          "> level 0 1 0.5", "> time 6000", "> go", "~ Time allocated: 2.77"}},
        // An analysis stopped by a command goes on; one that ended by itself
        // analyses a new position at once.
        {"analysis goes on",
         {},
         steps_of({XBOARD,
                   {"> new", "> analyze", "^ 3 ", "> computer", "^ 1 ", "> exit", "> sd 2",
                    "> analyze", "^ 2 "},
                   SYNC,
                   {"> setboard 7k/8/6KQ/8/8/8/8/8 b - - 0 1", "^ 1 -990 ", "> exit"},
                   SYNC})},
        // "force" during the engine's search: no move comes, none is played
        // (the thinking lines begin after a second; they hold two blanks).
        {"force takes the engine off the move",
         {},
         steps_of({XBOARD,
                   {"> new", "> post", "> st 100", "|", "> e2e4", "~   ", "> force"},
                   SYNC,
                   {"x move "},
                   shown("(1) Black to move:", {"    4 |   |   |   |   | P |   |   |   |"})})},
        // A client that played with a depth limit analyses without one.
        {"new lifts the depth limit",
         {},
         steps_of({XBOARD,
                   {"> sd 2", "> new", "> force",
                    "> setboard rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1",
                    "> post", "> analyze", "^ 3 ", "> exit"},
                   SYNC})},
        // "remove" takes back a move of each side; the next move is legal again.
        {"remove",
         {},
         steps_of({XBOARD,
                   SYNC,
                   {"> new", "> force", "> e2e4", "> e7e5", "> remove", "> e2e4", "> ping 3",
                    "- pong 3", "> remove", "> remove", "> e2e4", "> e7e5"},
                   shown("(1) White to move:", {"    5 |   |   |   |   | *p|   |   |   |"})})},
        // Mates in the form interfaces read: 100000 + N, and -100000 - N.
        {"mate scores",
         {},
         steps_of({XBOARD,
                   {"> force", "> setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "> sd 3",
                    "> analyze", "^ 3 100001 ", "> exit", "> setboard 7k/8/6KQ/8/8/8/8/8 b - - 0 1",
                    "> analyze", "^ 3 -100001 ", "> exit"},
                   SYNC})},
    };
    for (const Dialogue& d : dialogues)
        EXPECT_EQ(run_dialogue(d, scaled_timeout(60000)), "") << d.name;
}

} // namespace
