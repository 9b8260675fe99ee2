// Whole-process UCI dialogues through pipes: the engine is started as a GUI
// would start it and every answer is checked against the rules of the
// protocol and against the move generator of this library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "tests/helpers/engine_process.h"

namespace {

class UciTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        init_bitboard_tables();
        init_hash_keys();
        protocol_mode = 2;   // coordinate text as UCI writes it
    }

    void TearDown() override
    {
        if (!log_name.empty())
            std::remove(log_name.c_str());
    }

    // Starts the engine and completes the handshake.
    void start(std::vector<std::string> args = {})
    {
        ASSERT_TRUE(process_start(&engine, quarvel_path(), args));
        ASSERT_TRUE(process_send(&engine, "uci"));
        ASSERT_TRUE(process_expect_line(&engine, "uciok", scaled_timeout(10000)))
            << process_transcript(&engine);
    }

    // Starts the engine with a log file, for the lines that only reach the log.
    void start_logged()
    {
        char name[] = "/tmp/quarvel_uci_logXXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        log_name = name;
        start({"-l", log_name});
    }

    std::string log_text()
    {
        std::ifstream in(log_name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void sync()
    {
        ASSERT_TRUE(process_send(&engine, "isready"));
        ASSERT_TRUE(process_expect_line(&engine, "readyok", scaled_timeout(10000)))
            << process_transcript(&engine);
    }

    // The next bestmove line, with no other bestmove before it.
    std::string bestmove(int timeout_ms)
    {
        std::string line;
        EXPECT_TRUE(process_expect_prefix(&engine, "bestmove ", scaled_timeout(timeout_ms), &line))
            << process_transcript(&engine);
        return line;
    }

    // Lines not yet consumed must hold no bestmove: the search has not answered.
    void expect_no_bestmove_yet(size_t from)
    {
        for (size_t i = from; i < engine.lines.size(); i++)
            EXPECT_NE(engine.lines[i].rfind("bestmove", 0), 0u) << "early: " << engine.lines[i];
    }

    void quit()
    {
        ASSERT_TRUE(process_send(&engine, "quit"));
        EXPECT_EQ(process_wait_exit(&engine, scaled_timeout(10000)), 0);
    }

    EngineProcess engine;
    std::string log_name;
};

std::vector<std::string> words_of(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string w;
    while (in >> w)
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

// Checks "bestmove M [ponder P]" against the position: M legal, P a legal reply.
void expect_legal_answer(Position* pos, const std::string& line, Move* played)
{
    std::vector<std::string> w = words_of(line);
    ASSERT_GE(w.size(), 2u) << line;
    ASSERT_EQ(w[0], "bestmove");
    Move move = legal_move_named(pos, w[1]);
    ASSERT_NE(move, 0) << "illegal bestmove: " << line;
    if (w.size() >= 4) {
        ASSERT_EQ(w[2], "ponder") << line;
        make_move(pos, move);
        EXPECT_NE(legal_move_named(pos, w[3]), 0) << "illegal ponder move: " << line;
        unmake_move(pos, move);
    } else {
        EXPECT_EQ(w.size(), 2u) << line;
    }
    *played = move;
}

TEST_F(UciTest, HandshakeAnnouncesIdentityAndOptionsInOrder)
{
    ASSERT_TRUE(process_start(&engine, quarvel_path(), {}));
    ASSERT_TRUE(process_send(&engine, "uci"));
    ASSERT_TRUE(process_expect_line(&engine, "uciok", scaled_timeout(10000)));
    const std::vector<std::string> expected = {
        "id name Quarvel 2.1.0",
        "id author Tolvenar",
        "option name Hash type spin min 1 max 2047 default 32",
        "option name MultiPV type spin min 1 max 20 default 1",
        "option name NalimovPath type string default c:\\chess\\tb",
        "option name NalimovCache type spin min 1 max 128 default 1",
        "option name Clear Hash type button",
        "option name OwnBook type check default true",
        "option name Play level type spin min 1 max 11 default 11",
        "uciok",
    };
    // "feature done=0" comes first from start-up; the handshake follows.
    ASSERT_GE(engine.lines.size(), expected.size());
    std::vector<std::string> tail(engine.lines.end() - long(expected.size()), engine.lines.end());
    EXPECT_EQ(tail, expected);
    sync();
    quit();
}

TEST_F(UciTest, GameWithClocksAnswersLegalMovesOnly)
{
    start();
    Position* pos = create_position();
    setup_new_game(pos);
    std::string moves;
    const int plies = std::getenv("QUARVEL_SANITIZED") ? 8 : 16;
    int wtime = 4000, btime = 4000;
    for (int ply = 0; ply < plies && count_legal_moves(pos) > 0; ply++) {
        ASSERT_TRUE(process_send(&engine, "position startpos" + (moves.empty() ? "" : " moves" + moves)));
        ASSERT_TRUE(process_send(&engine, "go wtime " + std::to_string(wtime) + " btime " +
                                              std::to_string(btime) + " winc 50 binc 50"));
        Move move = 0;
        std::string line = bestmove(10000);
        ASSERT_NO_FATAL_FAILURE(expect_legal_answer(pos, line, &move));
        moves += " " + words_of(line)[1];
        make_move(pos, move);
        (ply % 2 ? btime : wtime) -= 100;
    }
    destroy_position(pos);
    quit();
}

TEST_F(UciTest, InfiniteSearchAnswersOnlyAfterStop)
{
    start();
    ASSERT_TRUE(process_send(&engine, "position startpos moves e2e4 e7e5"));
    size_t mark = engine.lines.size();
    ASSERT_TRUE(process_send(&engine, "go infinite"));
    ASSERT_TRUE(process_expect_prefix(&engine, "info depth 3", scaled_timeout(10000)));
    // "isready" is answered during the search and does not end it.
    sync();
    expect_no_bestmove_yet(mark);
    ASSERT_TRUE(process_send(&engine, "stop"));
    Position* pos = create_position();
    setup_new_game(pos);
    make_move(pos, legal_move_named(pos, "e2e4"));
    make_move(pos, legal_move_named(pos, "e7e5"));
    Move move = 0;
    expect_legal_answer(pos, bestmove(5000), &move);
    destroy_position(pos);
    quit();
}

TEST_F(UciTest, InfiniteSearchThatEndsByItselfStillWaitsForStop)
{
    start();
    ASSERT_TRUE(process_send(&engine, "position startpos"));
    size_t mark = engine.lines.size();
    // The depth limit ends the search after two iterations.
    ASSERT_TRUE(process_send(&engine, "go depth 2 infinite"));
    ASSERT_TRUE(process_expect_prefix(&engine, "info depth 2", scaled_timeout(10000)));
    ASSERT_TRUE(process_expect_prefix(&engine, "info nps", scaled_timeout(10000)));  // statistics: the search is over
    sync();
    expect_no_bestmove_yet(mark);
    ASSERT_TRUE(process_send(&engine, "stop"));
    bestmove(5000);
    sync();
    quit();
}

TEST_F(UciTest, PonderHitTurnsThePonderSearchIntoTheRealOne)
{
    start();
    ASSERT_TRUE(process_send(&engine, "position startpos moves e2e4 e7e5 g1f3"));
    size_t mark = engine.lines.size();
    ASSERT_TRUE(process_send(&engine, "go ponder wtime 3000 btime 3000"));
    sync();
    expect_no_bestmove_yet(mark);
    ASSERT_TRUE(process_send(&engine, "ponderhit"));
    // A timed search now: it answers by itself, no "stop" needed.
    std::string line = bestmove(20000);
    EXPECT_EQ(line.rfind("bestmove ", 0), 0u);
    // A later "stop" finds no search and changes nothing.
    ASSERT_TRUE(process_send(&engine, "stop"));
    sync();
    expect_no_bestmove_yet(engine.cursor);
    quit();
}

TEST_F(UciTest, PonderMissIsEndedByStop)
{
    start();
    ASSERT_TRUE(process_send(&engine, "position startpos moves d2d4 d7d5"));
    size_t mark = engine.lines.size();
    ASSERT_TRUE(process_send(&engine, "go ponder wtime 100000 btime 100000"));
    ASSERT_TRUE(process_expect_prefix(&engine, "info depth 2", scaled_timeout(10000)));
    sync();
    expect_no_bestmove_yet(mark);
    ASSERT_TRUE(process_send(&engine, "stop"));
    bestmove(5000);
    quit();
}

TEST_F(UciTest, PonderSearchThatFindsMateWaitsForPonderHit)
{
    start();
    // White mates with Qh5xf7.
    ASSERT_TRUE(process_send(&engine, "position startpos moves e2e4 e7e5 d1h5 b8c6 f1c4 g8f6"));
    size_t mark = engine.lines.size();
    ASSERT_TRUE(process_send(&engine, "go ponder wtime 100000 btime 100000"));
    ASSERT_TRUE(process_expect_substring(&engine, "score mate 1", scaled_timeout(10000)));
    ASSERT_TRUE(process_expect_prefix(&engine, "info nps", scaled_timeout(10000)));
    sync();
    expect_no_bestmove_yet(mark);
    ASSERT_TRUE(process_send(&engine, "ponderhit"));
    EXPECT_EQ(bestmove(5000), "bestmove h5f7");
    quit();
}

TEST_F(UciTest, DepthOneAndMovetimeAnswerPromptly)
{
    start();
    ASSERT_TRUE(process_send(&engine, "position startpos"));
    ASSERT_TRUE(process_send(&engine, "go depth 1"));
    ASSERT_TRUE(process_expect_prefix(&engine, "info depth 1 ", scaled_timeout(5000)));
    std::string line = bestmove(5000);
    Position* pos = create_position();
    setup_new_game(pos);
    Move move = 0;
    expect_legal_answer(pos, line, &move);
    // No iteration beyond the first was reported.
    for (const std::string& l : engine.lines)
        EXPECT_EQ(l.rfind("info depth 2 ", 0), std::string::npos) << l;

    ASSERT_TRUE(process_send(&engine, "go movetime 100"));
    expect_legal_answer(pos, bestmove(3000), &move);
    // movetime holds for later "go" commands: with ten minutes on the clock
    // the answer still comes after about 100 ms.
    ASSERT_TRUE(process_send(&engine, "go wtime 600000 btime 600000"));
    expect_legal_answer(pos, bestmove(3000), &move);
    destroy_position(pos);
    quit();
}

TEST_F(UciTest, SearchmovesRestrictsTheAnswer)
{
    start();
    // Qh5xf7 mates, but only the two quiet moves may be searched.
    ASSERT_TRUE(process_send(&engine, "position startpos moves e2e4 e7e5 d1h5 b8c6 f1c4 g8f6"));
    ASSERT_TRUE(process_send(&engine, "go depth 3 searchmoves a2a3 h2h3"));
    std::string line = bestmove(10000);
    std::string move = words_of(line)[1];
    EXPECT_TRUE(move == "a2a3" || move == "h2h3") << line;
    // An illegal word in the list is left out; the legal ones still count.
    ASSERT_TRUE(process_send(&engine, "go depth 2 searchmoves e1e3 b2b3"));
    EXPECT_EQ(words_of(bestmove(10000))[1], "b2b3");
    // A list of 300 words stays within the list's 256 entries.
    std::string many = "go depth 1 searchmoves";
    for (int i = 0; i < 300; i++)
        many += i % 2 ? " g2g3" : " g2g4";
    ASSERT_TRUE(process_send(&engine, many));
    move = words_of(bestmove(10000))[1];
    EXPECT_TRUE(move == "g2g3" || move == "g2g4") << move;
    quit();
}

TEST_F(UciTest, NoLegalMoveAnswersNullMove)
{
    start();
    struct Case {
        const char* fen;
        const char* what;
    };
    const Case cases[] = {
        {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "stalemate"},
        {"R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", "checkmate"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(process_send(&engine, std::string("position fen ") + c.fen));
        size_t mark = engine.lines.size();
        ASSERT_TRUE(process_send(&engine, "go wtime 1000 btime 1000"));
        EXPECT_EQ(bestmove(5000), "bestmove 0000") << c.what;
        for (size_t i = mark; i < engine.lines.size(); i++) {
            EXPECT_EQ(engine.lines[i].find("1-0"), std::string::npos) << engine.lines[i];
            EXPECT_EQ(engine.lines[i].find("0-1"), std::string::npos) << engine.lines[i];
            EXPECT_EQ(engine.lines[i].find("1/2-1/2"), std::string::npos) << engine.lines[i];
        }
    }
    // An infinite search of such a position still answers only after "stop".
    ASSERT_TRUE(process_send(&engine, std::string("position fen ") + cases[0].fen));
    size_t mark = engine.lines.size();
    ASSERT_TRUE(process_send(&engine, "go infinite"));
    sync();
    expect_no_bestmove_yet(mark);
    ASSERT_TRUE(process_send(&engine, "stop"));
    EXPECT_EQ(bestmove(5000), "bestmove 0000");
    quit();
}

TEST_F(UciTest, MoveListLongerThanTheStateStacks)
{
    start();
    // 1201 plies: more than the game record and the state stacks hold.
    std::string line = "position startpos moves";
    for (int i = 0; i < 300; i++)
        line += " g1f3 g8f6 f3g1 f6g8";
    line += " e2e4";
    ASSERT_TRUE(process_send(&engine, line));
    ASSERT_TRUE(process_send(&engine, "go depth 3"));
    Position* pos = create_position();
    setup_new_game(pos);
    make_move(pos, legal_move_named(pos, "e2e4"));
    Move move = 0;
    expect_legal_answer(pos, bestmove(10000), &move);
    destroy_position(pos);
    quit();
}

TEST_F(UciTest, IllegalMoveInPositionEndsTheProgram)
{
    struct Case {
        const char* line;
        const char* word;
    };
    const Case cases[] = {
        {"position startpos moves e2e4 e2e4", "e2e4"},            // no piece there
        {"position startpos moves e2e5", "e2e5"},                 // not a pawn move
        {"position startpos moves e2e4 d2d4", "d2d4"},            // wrong side to move
        {"position startpos moves e2e4 zz", "zz"},                // unreadable
        // The d2 knight is pinned by the b4 bishop: moving it exposes the king.
        {"position fen 4k3/8/8/8/1b6/8/3N4/4K3 w - - 0 1 moves d2f3", "d2f3"},
    };
    for (const Case& c : cases) {
        EngineProcess proc;
        ASSERT_TRUE(process_start(&proc, quarvel_path(), {}));
        ASSERT_TRUE(process_send(&proc, "uci"));
        ASSERT_TRUE(process_send(&proc, c.line));
        EXPECT_EQ(process_wait_exit(&proc, scaled_timeout(10000)), 1) << c.line;
        process_read_to_end(&proc, 1000);
        EXPECT_NE(proc.err_text.find(std::string("Illegal move ") + c.word), std::string::npos)
            << c.line << "\nstderr: " << proc.err_text;
    }
}

TEST_F(UciTest, BadFenKeepsTheStartPosition)
{
    start();
    const char* lines[] = {
        "position fen 8/8/8/8/8/8/8/8 w",                                   // two fields
        "position fen rnbqkbnrrnbqkbnrrnbqkbnr/pppppppppppppppppppppppppppppppp/8/8/8/8/"
        "PPPPPPPPPPPPPPPP/RNBQKBNRRNBQKBNR w KQkq -",                        // beyond the buffer
    };
    Position* pos = create_position();
    setup_new_game(pos);
    for (const char* line : lines) {
        ASSERT_TRUE(process_send(&engine, line));
        ASSERT_TRUE(process_expect_prefix(&engine, "Bad epd format: ", scaled_timeout(5000)))
            << line << "\n" << process_transcript(&engine);
        ASSERT_TRUE(process_send(&engine, "go depth 2"));
        Move move = 0;
        expect_legal_answer(pos, bestmove(10000), &move);
    }
    destroy_position(pos);
    quit();
}

TEST_F(UciTest, OptionsAndUnknownWordsGoOnlyToTheLog)
{
    start_logged();
    const char* lines[] = {
        // (The upper clamp would allocate 2 GiB: too slow for the suite.)
        "setoption name Hash value -99999999999",
        "setoption name Hash value 0",
        "setoption name Hash value 16",
        "setoption name MultiPV value 50",
        "setoption name MultiPV value 1",
        "setoption name Hash",
        "setoption name",
        "setoption",
        "setoption name Play level",
        "setoption name Clear Hash",
        "setoption name OwnBook value False",
        "setoption name Frobnicate value 1",
        "setoption name NalimovCache value 4",
        "setoption name NalimovPath value /nonexistent dir",
        "ucinewgame",
        "go nodes 1000 depth 1",
    };
    size_t mark = engine.lines.size();
    for (const char* line : lines)
        ASSERT_TRUE(process_send(&engine, line));
    std::string answer = bestmove(10000);
    sync();
    // Nothing but the search's lines and the answers reached standard output.
    for (size_t i = mark; i < engine.lines.size(); i++) {
        const std::string& l = engine.lines[i];
        EXPECT_TRUE(l.rfind("info ", 0) == 0 || l.rfind("bestmove ", 0) == 0 || l == "readyok") << l;
    }
    quit();
    std::string log = log_text();
    const char* expected[] = {
        "Hash -99999999999 out of range 1..2047, using 1",
        "Hash 0 out of range 1..2047, using 1",
        "MultiPV 50 out of range 1..20, using 20",
        "Ignored: setoption name Frobnicate value 1",
        "Unknown command, ucinewgame",
        "FIXME go ... nodes",
        "FIXME undefined command",
    };
    for (const char* text : expected)
        EXPECT_NE(log.find(text), std::string::npos) << text;
    // The cache option before any table was found switches tables off for
    // good, so the path option is not even tried.
    EXPECT_EQ(log.find("Initializing tablebases: /nonexistent dir"), std::string::npos);
}

TEST_F(UciTest, GoClockValuesReachTheTimeAllocation)
{
    start_logged();
    // The allocation writes "Time allocated: %s" to the log: with no moves
    // per control after "uci" the target is clock / 25 + 75 x increment
    // (or clock / movestogo + 100 x increment), in centiseconds.
    struct Row {
        const char* position;
        const char* go;
        const char* allocated;
    };
    const Row rows[] = {
        {"position startpos", "go wtime 60000 btime 30000 winc 0 binc 0 depth 1", "2.40"},
        {"position startpos moves e2e4", "go wtime 60000 btime 30000 depth 1", "1.20"},
        {"position startpos", "go wtime 60000 btime 30000 winc 1500 depth 1", "3.15"},
        {"position startpos moves e2e4", "go wtime 60000 btime 30000 binc 999 depth 1", "1.20"},
        {"position startpos", "go wtime 60000 btime 1 winc 0 movestogo 10 depth 1", "6.00"},
        {"position startpos", "go wtime -5000 btime 1000 depth 1", "0.05"},
        {"position startpos", "go movetime 300 depth 1", "0.30"},
        // movetime holds until another one replaces it.
        {"position startpos", "go wtime 600000 btime 600000 depth 1", "0.30"},
        {"position startpos", "go wtime 600000 btime 600000 movetime 9 depth 1", "0.01"},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(process_send(&engine, r.position));
        ASSERT_TRUE(process_send(&engine, r.go));
        bestmove(10000);
    }
    quit();
    std::istringstream log(log_text());
    std::vector<std::string> allocated;
    for (std::string line; std::getline(log, line);)
        if (line.rfind("Time allocated: ", 0) == 0)
            allocated.push_back(line.substr(16));
    ASSERT_EQ(allocated.size(), std::size(rows)) << log_text();
    for (size_t i = 0; i < std::size(rows); i++)
        EXPECT_EQ(allocated[i], rows[i].allocated) << rows[i].position << " / " << rows[i].go;
}

TEST_F(UciTest, NalimovPathWithoutTablesSwitchesThemOff)
{
    start_logged();
    ASSERT_TRUE(process_send(&engine, "setoption name NalimovPath value /nonexistent  dir"));
    ASSERT_TRUE(process_send(&engine, "setoption name NalimovPath value /another"));
    sync();
    quit();
    std::string log = log_text();
    // The words of the path are joined by single blanks.
    EXPECT_NE(log.find("Initializing tablebases: /nonexistent dir\nNo endgame tables found\n"),
              std::string::npos) << log;
    // The tables stay off for the rest of the run: a second path is not tried.
    EXPECT_EQ(log.find("Initializing tablebases: /another"), std::string::npos) << log;
}

TEST_F(UciTest, ShorterMoveListStartsANewGame)
{
    start_logged();
    const char* game[] = {"e2e4", "e7e5", "g1f3", "b8c6", "f1b5", "a7a6", "b5a4", "g8f6",
                          "e1g1", "f8e7", "f1e1", "b7b5", "a4b3", "d7d6", "c2c3", "e8g8",
                          "h2h3", "c6a5", "b3c2", "c7c5"};
    auto position_with = [&](int n) {
        std::string line = "position startpos moves";
        for (int i = 0; i < n; i++)
            line += std::string(" ") + game[i];
        ASSERT_TRUE(process_send(&engine, line));
        sync();
    };
    auto new_games = [&]() {
        std::string log = log_text();
        int count = 0;
        for (size_t at = log.find("UCI New game"); at != std::string::npos;
             at = log.find("UCI New game", at + 1))
            count++;
        return count;
    };
    position_with(20);
    position_with(15);   // 15 + 5 is not below 20
    EXPECT_EQ(new_games(), 0);
    position_with(20);
    position_with(14);   // 14 + 5 < 20
    EXPECT_EQ(new_games(), 1);
    quit();
}

}  // namespace

namespace {

// A GUI that sets only NalimovPath (its cache size left at the announced
// default) must still get answers from the tables.
TEST_F(UciTest, NalimovPathAloneStillReadsTheTables)
{
    char dir[] = "/tmp/quarvel_uci_tbXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string generate = std::string(QUARVEL_BUILD_DIR) + "/tbgen " + dir + " raw >/dev/null";
    ASSERT_EQ(std::system(generate.c_str()), 0);

    start();
    ASSERT_TRUE(process_send(&engine, std::string("setoption name NalimovPath value ") + dir));
    ASSERT_TRUE(process_send(&engine, "position fen 8/8/8/3k4/8/8/8/KQ6 w - - 0 1"));
    ASSERT_TRUE(process_send(&engine, "go depth 4"));
    const size_t from = engine.lines.size();
    std::string move = bestmove(20000);
    long hits = 0;
    for (size_t i = from; i < engine.lines.size(); i++) {
        size_t at = engine.lines[i].find(" tbhits ");
        if (at != std::string::npos)
            hits = std::max(hits, std::atol(engine.lines[i].c_str() + at + 8));
    }
    EXPECT_GT(hits, 0) << process_transcript(&engine);
    quit();
    std::system((std::string("rm -rf ") + dir).c_str());
}

}  // namespace
