// Whole-process UCI dialogues through pipes: every answer is checked against
// the rules of the protocol and against the move generator of this library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "frontend/uci_options.h"
#include "tests/helpers/engine_state.h"
#include "tools/helpers/engine_process.h"

namespace {

using Steps = std::vector<std::string>;
const int WAIT = scaled_timeout(60000);
const Steps UCI = {"> uci", "= uciok"};
const Steps SYNC = {"> isready", "= readyok"};

std::vector<std::string> words_of(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

Move legal_move_named(Position* pos, const std::string& text)
{
    Move list[MAX_MOVES];
    int count = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
    for (int i = 0; i < count; i++)
        if (text == format_move_coord(list[i]))
            return list[i];
    return 0;
}

// Checks "bestmove M [ponder P]" in the position set up by `position` (the
// words after "position"): M legal and one of `allowed` (when given), P a
// legal reply; "0000" only without a legal move. Returns "" or the fault.
std::string check_bestmove(const std::string& position, const std::string& line,
                           const std::vector<std::string>& allowed)
{
    [[maybe_unused]] static const bool ready = (init_bitboard_tables(), init_hash_keys(), true);
    protocol_mode = 2; // coordinate text as UCI writes it
    std::vector<std::string> p = words_of(position), w = words_of(line);
    OwnedPosition pos = create_position();
    setup_new_game(pos);
    std::string fault;
    size_t at = 1;
    if (p.size() > 1 && p[0] == "fen") {
        std::string fen;
        for (; at < p.size() && p[at] != "moves"; at++)
            fen += p[at] + " ";
        if (set_board(pos, fen.c_str()) != 1)
            fault = "reference fen";
    }
    for (at++; at < p.size() && fault.empty(); at++) {
        Move m = legal_move_named(pos, p[at]);
        if (m == 0)
            fault = "reference move " + p[at];
        else
            make_move(pos, m);
    }
    Move move = w.size() >= 2 ? legal_move_named(pos, w[1]) : 0;
    if (!fault.empty())
        fault = "bad " + fault;
    else if (w.size() < 2 || w[0] != "bestmove" || (w.size() != 2 && w.size() != 4))
        fault = "malformed";
    else if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), w[1]) == allowed.end())
        fault = "not among the expected moves";
    else if (w[1] == "0000") {
        if (count_legal_moves(pos) != 0 || w.size() != 2)
            fault = "null move with legal moves";
    } else if (move == 0) {
        fault = "illegal bestmove";
    } else if (w.size() == 4) {
        make_move(pos, move);
        if (w[2] != "ponder" || legal_move_named(pos, w[3]) == 0)
            fault = "illegal ponder move";
        unmake_move(pos, move);
    }
    return fault.empty() ? "" : fault + ": " + line;
}

// Steps of its own: "B [moves]" checks the next bestmove against the last
// position sent (or the one a "P <position>" step names instead).
struct BestmoveHook {
    std::string position = "startpos";
    bool operator()(EngineProcess* proc, const std::string& step, std::string* error)
    {
        if (step.rfind("> position ", 0) == 0 || step.rfind("P ", 0) == 0) {
            position = step[0] == 'P' ? step.substr(2) : step.substr(11);
            return step[0] == 'P';
        }
        if (step != "B" && step.rfind("B ", 0) != 0)
            return false;
        std::string line;
        if (!process_expect_prefix(proc, "bestmove ", WAIT, &line))
            *error = "no bestmove";
        else
            *error = check_bestmove(position, line, words_of(step.substr(1)));
        return true;
    }
};

// With log prefixes, the engine writes a log whose lines starting with one
// of them must be exactly the log lines.
struct LoggedDialogue {
    Dialogue d;
    Steps log_prefixes = {}, log_lines = {};
};

void run_all(const std::string& dir, std::vector<LoggedDialogue> cases)
{
    const std::string log = dir + "/quarvel.log";
    for (LoggedDialogue& c : cases) {
        if (!c.log_prefixes.empty())
            c.d.args = {"-l", log};
        EXPECT_EQ(run_dialogue(c.d, WAIT, BestmoveHook()), "") << c.d.name;
        std::istringstream in(read_text_file(log));
        Steps kept;
        for (std::string line; std::getline(in, line);)
            if (std::any_of(c.log_prefixes.begin(), c.log_prefixes.end(),
                            [&](const std::string& p) { return line.rfind(p, 0) == 0; }))
                kept.push_back(line);
        EXPECT_EQ(kept, c.log_lines) << c.d.name;
        std::remove(log.c_str());
    }
}

// The "uci" reply: one "option" line a row of the option table, in its order.
Steps handshake()
{
    const char* const TYPES[] = {"spin", "check", "string", "button"};
    Steps steps = {"> uci", "= id name Quarvel 2.1.0", "- id author Tolvenar"};
    for (int i = 0; i < UCI_OPTION_COUNT; i++) {
        const UciOption& row = UCI_OPTIONS[i];
        std::string line = std::string("- option name ") + row.name + " type " + TYPES[row.type];
        if (row.type == UCI_SPIN)
            line += " min " + std::to_string(row.min) + " max " + std::to_string(row.max);
        if (row.type != UCI_BUTTON)
            line += std::string(" default ") + row.default_value;
        steps.push_back(line);
    }
    steps.push_back("- uciok");
    return steps;
}

std::string game_moves(int plies)
{
    const char* game[] = {"e2e4", "e7e5", "g1f3", "b8c6", "f1b5", "a7a6", "b5a4",
                          "g8f6", "e1g1", "f8e7", "f1e1", "b7b5", "a4b3", "d7d6",
                          "c2c3", "e8g8", "h2h3", "c6a5", "b3c2", "c7c5"};
    std::string line = "position startpos moves";
    for (int i = 0; i < plies; i++)
        line += std::string(" ") + game[i];
    return line;
}

TEST(UciProtocol, Dialogues)
{
    char dir[] = "/tmp/quarvel_uciXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string tables = dir; // the log file lives there too
    ASSERT_EQ(
        std::system(
            (std::string(QUARVEL_BUILD_DIR) + "/tbgen " + tables + " raw >/dev/null").c_str()),
        0);
    const std::string mate_in_one = "> position startpos moves e2e4 e7e5 d1h5 b8c6 f1c4 g8f6";
    std::string many = "> go depth 1 searchmoves", knights = "> position startpos moves";
    for (int i = 0; i < 300; i++)
        many += i % 2 ? " g2g3" : " g2g4";
    // Knights out and back: 1020 plies, more than the record holds, more
    // than a line can hold.
    std::string plies_1020 = knights, stacks, overlong;
    for (int i = 0; i < 255; i++)
        plies_1020 += " g1f3 g8f6 f3g1 f6g8";
    for (stacks = plies_1020; stacks.size() < 6 * GAME_MAX_MOVES;)
        stacks += " g1f3 g8f6 f3g1 f6g8";
    for (overlong = stacks; overlong.size() < 140000;)
        overlong += " g1f3 g8f6 f3g1 f6g8";
    const std::string wide_fen =
        "rnbqkbnrrnbqkbnrrnbqkbnr/pppppppppppppppppppppppppppppppp/8/8/8/8/"
        "PPPPPPPPPPPPPPPP/RNBQKBNRRNBQKBNR w KQkq -";
    run_all(
        dir,
        {
            // "feature done=0" comes first from start-up; the handshake follows.
            {{"handshake", {}, steps_of({handshake(), SYNC, {"> quit", "$"}})}},
            // "isready" is answered during an infinite search and does not end it.
            {{"go infinite and stop",
              {},
              steps_of(
                  {UCI,
                   {"> position startpos moves e2e4 e7e5", "|", "> go infinite", "^ info depth 3"},
                   SYNC,
                   {"x bestmove", "> stop", "B"}})}},
            // A depth limit ends the search; the answer still waits for "stop".
            {{"infinite search over by itself",
              {},
              steps_of({UCI,
                        {"> position startpos", "|", "> go depth 2 infinite", "^ info depth 2",
                         "^ info nps"},
                        SYNC,
                        {"x bestmove", "> stop", "B"},
                        SYNC})}},
            // After "ponderhit" the timed search answers by itself; a later
            // "stop" finds no search.
            {{"ponderhit",
              {},
              steps_of({UCI,
                        {"> position startpos moves e2e4 e7e5 g1f3", "|",
                         "> go ponder wtime 3000 btime 3000"},
                        SYNC,
                        {"x bestmove", "> ponderhit", "B", "> stop", "|"},
                        SYNC,
                        {"x bestmove"}})}},
            {{"ponder miss ended by stop",
              {},
              steps_of({UCI,
                        {"> position startpos moves d2d4 d7d5", "|",
                         "> go ponder wtime 100000 btime 100000", "^ info depth 2"},
                        SYNC,
                        {"x bestmove", "> stop", "B"}})}},
            {{"ponder search that finds mate waits for ponderhit",
              {},
              steps_of({UCI,
                        {mate_in_one, "|", "> go ponder wtime 100000 btime 100000",
                         "~ score mate 1", "^ info nps"},
                        SYNC,
                        {"x bestmove", "> ponderhit", "@ bestmove h5f7"}})}},
            // movetime holds for its own "go" only (the log test times it).
            {{"go depth 1 and movetime",
              {},
              steps_of({UCI,
                        {"> position startpos", "|", "> go depth 1", "^ info depth 1 ", "B",
                         "x info depth 2 ", "> go movetime 100", "B",
                         "> go wtime 600000 btime 600000", "B"}})}},
            // Qh5xf7 mates, but only the listed moves may be searched; an
            // illegal word is left out; 300 words stay within the list.
            {{"searchmoves",
              {},
              steps_of({UCI,
                        {mate_in_one, "> go depth 3 searchmoves a2a3 h2h3", "B a2a3 h2h3",
                         "> go depth 2 searchmoves e1e3 b2b3", "B b2b3", many, "B g2g3 g2g4"}})}},
            // No legal move: "bestmove 0000", no result line, and an infinite
            // search still waits for "stop".
            {{"bestmove 0000",
              {},
              steps_of(
                  {UCI,
                   {"|", "> position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",
                    "> go wtime 1000 btime 1000", "@ bestmove 0000",
                    "> position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1",
                    "> go wtime 1000 btime 1000", "@ bestmove 0000", "x 1-0", "x 0-1", "x 1/2-1/2",
                    "> position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "|", "> go infinite"},
                   SYNC,
                   {"x bestmove", "> stop", "@ bestmove 0000"}})}},
            // Every move of a long game is played, however many; a line too
            // long to take is reported and its position never searched.
            {{"long move lists",
              {},
              steps_of({UCI,
                        {plies_1020 + " e2e4 e7e5",
                         "P startpos moves e2e4 e7e5",
                         "> go depth 3",
                         "B",
                         plies_1020 + " g1f3 g8f6 f3g1 f6g8 e2e4",
                         "P startpos moves e2e4",
                         "> go depth 3",
                         "B",
                         stacks + " e2e4",
                         "P startpos moves e2e4",
                         "> go depth 3",
                         "B",
                         overlong + " e2e4",
                         "^ info string Input line longer than",
                         "> go depth 3",
                         "^ info string Position unknown",
                         "- bestmove 0000",
                         "> position startpos moves d2d4",
                         "> go depth 3",
                         "B"}})}},
            // A bad FEN keeps the start position.
            {{"bad fen",
              {},
              steps_of(
                  {UCI,
                   {"> position fen 4k3/4Q3/8/8/8/8/8/4K3 w - - 0 1",
                    "- Bad epd format: 4k3/4Q3/8/8/8/8/8/4K3 w - -", "P startpos", "> go depth 3",
                    "B", "> position fen 8/8/8/8/8/8/8/8 w", "^ Bad epd format: ", "P startpos",
                    "> go depth 2", "B", "> position fen " + wide_fen,
                    "^ Bad epd format: ", "P startpos", "> go depth 2", "B"}})}},
            // An illegal move in "position" ends the program.
            {{"occupied",
              {},
              {"> uci", "> position startpos moves e2e4 e2e4"},
              1,
              "Illegal move e2e4"}},
            {{"no pawn move",
              {},
              {"> uci", "> position startpos moves e2e5"},
              1,
              "Illegal move e2e5"}},
            {{"wrong side",
              {},
              {"> uci", "> position startpos moves e2e4 d2d4"},
              1,
              "Illegal move d2d4"}},
            {{"unreadable",
              {},
              {"> uci", "> position startpos moves e2e4 zz"},
              1,
              "Illegal move zz"}},
            {{"pinned knight",
              {},
              {"> uci", "> position fen 4k3/8/8/8/1b6/8/3N4/4K3 w - - 0 1 moves d2f3"},
              1,
              "Illegal move d2f3"}},
            // Options and unknown words answer nothing (only the log hears of
            // them); out-of-range values are clamped. The cache option before
            // any table was found switches tables off, so the path is not tried.
            // (The upper Hash clamp would allocate 2 GiB: too slow here.)
            {{"options",
              {},
              steps_of({UCI,
                        SYNC,
                        {"> setoption name Hash value -99999999999",
                         "> setoption name Hash value 0",
                         "> setoption name Hash value 16",
                         "> setoption name MultiPV value 50",
                         "> setoption name MultiPV value 1",
                         "> setoption name Hash",
                         "> setoption name",
                         "> setoption",
                         "> setoption name Play level",
                         "> setoption name Clear Hash",
                         "> setoption name OwnBook value False",
                         "> setoption name Ponder value true",
                         "> setoption name Ponder value false",
                         "> setoption name Ponder value maybe",
                         "> setoption name Frobnicate value 1",
                         "> setoption name NalimovCache value 4",
                         "> setoption name NalimovPath value /nonexistent dir",
                         "> ucinewgame",
                         "> isready",
                         "- readyok",
                         "|",
                         "> go nodes 1000 depth 1",
                         "B",
                         "x FIXME"}})},
             {"Total hash size", "Hash ", "MultiPV", "Ignored", "Unknown", "FIXME", "Initializing"},
             {"Total hash size 32M", "Hash -99999999999 out of range 1..2047, using 1",
              "Total hash size 1M", "Hash 0 out of range 1..2047, using 1", "Total hash size 1M",
              "Total hash size 16M", "MultiPV 50 out of range 1..20, using 20",
              "Ignored: setoption name Ponder value maybe",
              "Ignored: setoption name Frobnicate value 1", "Unknown command, ucinewgame"}},
            // A line that releases a held answer is handled, and so is the
            // one that came with it in the same write.
            {{"lines behind a held answer",
              {},
              steps_of({UCI,
                        {mate_in_one, "|", "> go infinite", "~ score mate 1", "^ info nps"},
                        SYNC,
                        {"x bestmove", "> position startpos\ngo depth 3", "P startpos",
                         "@ bestmove h5f7", "B"}})}},
            // Every line of a multi-PV search gives a mate as one.
            {{"multipv mate scores",
              {},
              steps_of(
                  {UCI,
                   {"> setoption name MultiPV value 3",
                    "> position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "> go depth 3",
                    "~ score mate 1 nodes", "B a1a8", "> position fen 7k/8/6KQ/8/8/8/8/8 b - - 0 1",
                    "> go depth 3", "~ score mate -1 nodes", "B h8g8"}})}},
            // A mate limit ends even an endless search once the mate is found.
            {{"go mate",
              {},
              steps_of({UCI,
                        {mate_in_one, "|", "> go mate 1 infinite", "~ score mate 1", "^ info nps"},
                        SYNC,
                        {"x info depth 2 ", "x bestmove", "> stop", "@ bestmove h5f7",
                         "> go mate 0 depth 2", "B", "> go mate -3 nodes -1 depth 1", "B"}})}},
            // With no moves per control the target is clock / 25 + 3/4 of the
            // increment (or clock / movestogo + the increment), in centiseconds;
            // a fallen flag leaves no time at all.
            {{"clock values reach the allocation",
              {},
              steps_of({UCI,
                        {"> position startpos",
                         "> go wtime 60000 btime 30000 winc 0 binc 0 depth 1",
                         "B",
                         "> position startpos moves e2e4",
                         "> go wtime 60000 btime 30000 depth 1",
                         "B",
                         "> position startpos",
                         "> go wtime 60000 btime 30000 winc 1500 depth 1",
                         "B",
                         "> position startpos moves e2e4",
                         "> go wtime 60000 btime 30000 binc 999 depth 1",
                         "B",
                         "> position startpos",
                         "> go wtime 60000 btime 1 winc 0 movestogo 10 depth 1",
                         "B",
                         "> go wtime -5000 btime 1000 depth 1",
                         "B",
                         "> go movetime 300 depth 1",
                         "B",
                         "> go wtime 600000 btime 600000 depth 1",
                         "B", // movetime was for that "go" only
                         "> go wtime 600000 btime 600000 movetime 9 depth 1",
                         "B",
                         "> go wtime 600000 btime 600000 winc 40 depth 1",
                         "B"}})},
             {"Time allocated: "},
             {"Time allocated: 2.40", "Time allocated: 1.20", "Time allocated: 3.52",
              "Time allocated: 1.94", "Time allocated: 6.00", "Time allocated: 0.00",
              "Time allocated: 0.30", "Time allocated: 24.00", "Time allocated: 0.01",
              "Time allocated: 24.03"}},
            // The words of the path are joined by single blanks; without tables
            // they stay off for the run: a second path is not tried.
            {{"NalimovPath without tables",
              {},
              steps_of({UCI,
                        {"> setoption name NalimovPath value /nonexistent  dir",
                         "> setoption name NalimovPath value /another"},
                        SYNC})},
             {"Initializing tablebases", "No endgame tables"},
             {"Initializing tablebases: /nonexistent dir", "No endgame tables found"}},
            // A list shorter by more than five plies starts a new game.
            {{"shorter move list",
              {},
              steps_of({UCI,
                        {"> " + game_moves(20), "> " + game_moves(15), "> " + game_moves(20),
                         "> " + game_moves(14)},
                        SYNC})},
             {"[position", "UCI New game"},
             {"[" + game_moves(20) + "]", "[" + game_moves(15) + "]", "[" + game_moves(20) + "]",
              "[" + game_moves(14) + "]", "UCI New game"}},
            // A GUI that sets only NalimovPath (the cache size left at the
            // announced default) still gets the tables' mate scores.
            {{"NalimovPath alone reads the tables",
              {},
              steps_of({UCI,
                        {"> setoption name NalimovPath value " + tables,
                         "> position fen 8/8/8/3k4/8/8/8/KQ6 w - - 0 1", "> go depth 4",
                         "~ score mate ", "B",
                         // Exact distances at the root, for the winner and the loser.
                         "> position fen 8/8/8/5k2/8/8/1Q6/K7 w - - 0 1", "> go depth 6",
                         "~ score mate 10 ", "B", "> position fen 8/8/8/1k6/8/8/K5P1/8 w - - 0 1",
                         "> go depth 6", "~ score mate 28 ", "B",
                         "> position fen 8/8/8/5k2/8/8/1Q6/K7 b - - 0 1", "> go depth 6",
                         "~ score mate -10 ", "B"}})}},
        });
    std::system((std::string("rm -rf ") + dir).c_str());
}

// "go nodes N" ends the search near N nodes (the last report before the
// answer counts them), whatever the clock allows.
TEST(UciProtocol, NodeLimit)
{
    EngineProcess engine;
    ASSERT_TRUE(start_quarvel(&engine));
    for (const char* line : {"uci", "go wtime 600000 btime 600000 nodes 1000", "position startpos",
                             "go wtime 600000 btime 600000 nodes 1000"}) {
        ASSERT_TRUE(process_send(&engine, line));
        if (std::string(line).rfind("go", 0) != 0)
            continue;
        long nodes = -1;
        for (std::string reply; process_next_line(&engine, WAIT, &reply);) {
            std::vector<std::string> w = words_of(reply);
            for (size_t i = 0; i + 1 < w.size(); i++)
                if (w[0] == "info" && w[i] == "nodes")
                    nodes = std::atol(w[i + 1].c_str());
            if (w.size() > 0 && w[0] == "bestmove")
                break;
        }
        EXPECT_GE(nodes, 1000) << process_transcript(&engine);
        EXPECT_LT(nodes, 2000) << process_transcript(&engine);
    }
    process_send(&engine, "quit");
    EXPECT_EQ(process_wait_exit(&engine, WAIT), 0);
}

// With the reader of its output gone and its input still open, the engine
// ends (an endless search included) as it does at the end of its input.
TEST(UciProtocol, ClosedOutputEndsTheEngine)
{
    const struct {
        std::vector<std::string> args, lines;
        const char* wait_for;
    } cases[] = {
        {{}, {"uci", "position startpos", "go infinite"}, "info depth 2 "},
        {{"-a"}, {}, "feature done=0"},
    };
    for (const auto& c : cases) {
        EngineProcess engine;
        ASSERT_TRUE(start_quarvel(&engine, c.args));
        for (const std::string& line : c.lines)
            process_send(&engine, line);
        ASSERT_TRUE(process_expect_prefix(&engine, c.wait_for, WAIT))
            << process_transcript(&engine);
        close(engine.from_child);
        engine.from_child = -1;
        engine.out_closed = true;
        EXPECT_EQ(process_wait_exit(&engine, WAIT), 0) << c.wait_for;
    }
}

TEST(UciProtocol, GameWithClocksAnswersLegalMovesOnly)
{
    EngineProcess engine;
    ASSERT_TRUE(start_quarvel(&engine));
    ASSERT_TRUE(process_send(&engine, "uci"));
    std::string position = "startpos moves", line;
    int clock[2] = {4000, 4000};
    for (int ply = 0; ply < (sanitized_build() ? 8 : 16); ply++) {
        process_send(&engine, "position " + position);
        process_send(&engine, "go wtime " + std::to_string(clock[0]) + " btime " +
                                  std::to_string(clock[1]) + " winc 50 binc 50");
        ASSERT_TRUE(process_expect_prefix(&engine, "bestmove ", WAIT, &line))
            << process_transcript(&engine);
        ASSERT_EQ(check_bestmove(position, line, {}), "");
        if (line == "bestmove 0000")
            break;
        position += " " + words_of(line)[1];
        clock[ply % 2] -= 100;
    }
    process_send(&engine, "quit");
    EXPECT_EQ(process_wait_exit(&engine, WAIT), 0);
}

} // namespace
