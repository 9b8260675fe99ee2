// Evaluation values worked out by hand from the rules, the drawn-material
// recognisers, the lazy exit and its margin, the game phase, and the pawn
// structure, pawn race and king safety evaluators on their own.
#include <gtest/gtest.h>

#include "tests/board_support.h"

namespace {

using EvalFixture = EvalTest;

// Each value is worked out term by term in the comment before it.
TEST_F(EvalFixture, HandWorkedPositions)
{
    const std::pair<const char*, int> cases[] = {
        // Bare kings: no pawns on either side and equal (zero) pieces.
        {"4k3/8/8/8/8/8/8/4K3 w - -", 0},
        // KR v KR and KQ v KRR: pawnless with equal piece units.
        {"4k2r/8/8/8/8/8/8/4K2R w - -", 0},
        {"3rrk2/8/8/8/8/8/8/3QK3 b - -", 0},
        // Bishop pair, no pawns: material 600; centre king tables e1/e8
        // cancel; two minors to none +140; bishop c1: square -6, mobility
        // 5 x 3 + 2 x 3; bishop f1: -6 + 6 + 15; pair +40 -> 810.
        {"4k3/8/8/8/8/8/8/2B1KB2 w - -", 810},
        {"4k3/8/8/8/8/8/8/2B1KB2 b - -", -810},
        // Isolated passed pawn e4, pawn ending: material 100; kingside king
        // tables e1/e8 cancel; white pawns: safe advance +1, square 10,
        // passed (phase 3, rank 4) 30, isolated e-file -16 -> 25; a passer in
        // a pawn ending +70; no runner (the black king is in the square) -> 195.
        {"4k3/8/8/8/4P3/8/8/4K3 w - -", 195},
        // Pawn race, a5 against h4, both three moves from queening: the
        // pawn terms, pattern flags and uncatchable bonuses all cancel; with
        // equal runners the side to move gets 50.
        {"7k/8/8/P7/7p/8/8/K7 w - -", 50},
        {"7k/8/8/P7/7p/8/8/K7 b - -", 50},
        // a2 and h2 against d7: material 100; centre king tables cancel;
        // white pawns 2 + 20 - 10 + 20 - 10 + 50 (passers on both wings) - 2
        // (two isolated) = 70, black 1 + 20 - 16 = 5; passers +70 -70;
        // pattern flag 0x01 / 0x02: +60 in the pawn ending and +35 again.
        {"4k3/3p4/8/8/8/8/P6P/4K3 w - -", 260},
        // Start position: everything cancels but the -20 of the side that
        // began the search with all eight pawns.
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", -20},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -", 20},
    };
    for (const auto& [fen, expected] : cases)
        EXPECT_EQ(eval(fen), expected) << fen;
    // The -20 follows the side that started the search.
    EXPECT_EQ(eval("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", BLACK), 20);
}

TEST_F(EvalFixture, DrawnMaterialRecognisers)
{
    const std::pair<const char*, bool> cases[] = {
        {"k7/8/8/8/8/P7/8/2B1K3 w - -", true},     // a-pawn, dark bishop, king in front
        {"k7/8/8/8/8/P7/8/3BK3 w - -", false},     // light bishop controls a8
        {"1k6/8/8/8/8/P7/8/2B1K3 w - -", true},    // king on the neighbouring file
        {"2k5/8/8/8/8/P7/8/2B1K3 w - -", false},   // two files away
        {"4k3/8/8/8/8/7p/8/3bK3 w - -", false},    // black h-pawn with the right (light) bishop
        {"4k3/8/8/8/8/7p/8/2b3K1 w - -", true},    // dark bishop, white king in front of the pawn
        {"4k3/8/8/8/4P3/8/8/2B1K1n1 w - -", true}, // one pawn, equal minors, king on its file ahead
        {"3k4/8/8/8/4P3/8/8/2B1K1n1 w - -", false},
        {"4k3/8/8/8/4p3/8/8/2B1K1n1 b - -", true}, // the same for a black pawn
        {"4k3/8/8/8/4p3/8/8/2B2Kn1 b - -", false},
        {"4k3/8/8/8/8/8/pp6/4K1B1 w - -", true}, // bishop against at most two pawns, both small
        {"4k3/8/8/8/8/8/ppp5/4K1B1 w - -", false},
        {"k7/8/8/8/8/P7/8/4K3 w - -", true}, // rook pawn stopped by the king (pawn ending)
        {"1k6/8/8/8/8/P7/8/4K3 w - -", true},
        {"2k5/8/8/8/8/P7/8/4K3 w - -", false},
        {"4k3/8/8/8/8/8/7p/6K1 b - -", true},
    };
    for (const auto& [fen, draw] : cases)
        EXPECT_EQ(eval(fen) == 0, draw) << fen;
    // A small material lead without pawns is cancelled, the rest still counts:
    // KR v KB is not a draw (majors differ), KRB v KR is (equal majors,
    // lead 300) up to the positional terms.
    EXPECT_GT(eval("4k3/8/8/8/8/8/4b3/R3K3 w - -"), 150);
    EXPECT_LT(eval("4k2r/8/8/8/8/8/8/R3KB2 w - -"), 300);
}

TEST_F(EvalFixture, LazyExitReturnsTheWindowEdge)
{
    load("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    clear_pawn_and_eval_cache();
    reset_eval_counters();
    lazy_margin = 100;
    EXPECT_EQ(evaluate(pos, 300, 301), 300);
    EXPECT_EQ(eval_lazy_exits, 1);
    EXPECT_EQ(evaluate(pos, -500, -400), -400);
    EXPECT_EQ(eval_lazy_exits, 2);
    // Within the margin the full evaluation runs.
    EXPECT_EQ(evaluate(pos, 60, 61), -20);
    EXPECT_EQ(eval_lazy_exits, 2);
    EXPECT_EQ(eval_calls, 3);
    EXPECT_EQ(pawn_hash_probes, 3);
    EXPECT_EQ(pawn_hash_hits, 2);
}

// Once a full evaluation has raised the margin, a window of one around the
// full score never exits lazily: the margin covers every term after the exit.
TEST_F(EvalFixture, MarginCoversThePieceTerms)
{
    std::ifstream in(std::string(QUARVEL_DATA_DIR) + "/epd/wac.epd");
    int checked = 0;
    for (std::string fen; checked < 150 && std::getline(in, fen); checked++) {
        const int full = eval(fen.c_str()); // the reader stops after four fields
        const int margin = lazy_margin;
        EXPECT_GE(margin, 100);
        EXPECT_EQ(evaluate(pos, full - 1, full + 1), full) << fen;
        EXPECT_EQ(lazy_margin, margin);
    }
    EXPECT_GT(checked, 100);
}

TEST_F(EvalFixture, WhitePawnStructure)
{
    const struct {
        const char* fen;
        int phase, white_score;
        int weak_files, files; // white_byte, white_files
    } cases[] = {
        // Lone e4 (phase 0): advance +1, square 14, passed 30, isolated -16.
        {"4k3/8/8/8/4P3/8/8/4K3 w - -", 0, 29, 0x10, 0x10},
        // e4 with d3 and f3: e4 is covered, so neither isolated nor backward
        // (+1 advance, square 14, passed 30, defended 5, connected 10). d3 and
        // f3 (+1, square 8 and 5, passed 10 each) stand on uncovered squares
        // with uncovered squares in front: backward with no attacker, -6 each.
        {"4k3/8/8/8/4P3/3P1P2/8/4K3 w - -", 0,
         (1 + 14 + 30 + 5 + 10) + (1 + 8 + 10 - 6) + (1 + 5 + 10 - 6), 0x28, 0x38},
        // Doubled isolated e4/e5: -9 each, isolated twice (-16 each and
        // ISOLATED_COUNT[2] = 2), only e5 passed (50).
        {"4k3/8/8/4P3/4P3/8/8/4K3 w - -", 0, 29, 0x10, 0x10},
        // d3 behind c4 with d4 attacked by c5 and e5 and defended by nothing:
        // backward with two attackers more, -13; c4 (square 6) is covered by d3.
        {"4k3/8/8/2p1p3/2P5/3P4/8/4K3 w - -", 0, 8 - 13 + 6, 0x08, 0x0C},
    };
    for (const auto& c : cases) {
        load(c.fen);
        PawnHashEntry entry = {};
        search_side = WHITE;
        EXPECT_EQ(eval_pawns_white(pos, c.phase, &entry), c.white_score) << c.fen;
        EXPECT_EQ(entry.white_byte, c.weak_files) << c.fen;
        EXPECT_EQ(entry.white_files, c.files) << c.fen;
    }
}

TEST_F(EvalFixture, PassersAndFlagsInTheEntry)
{
    // Connected passers c5/d6 (phase 3): both passed, one king step apart.
    load("4k3/8/3P4/2P5/8/8/8/4K3 w - -");
    PawnHashEntry entry = {};
    int connected_score = eval_pawns_white(pos, 3, &entry);
    EXPECT_EQ(entry.white_passers, (u64(1) << 34) | (u64(1) << 43));
    load("4k3/8/3P4/8/2P5/8/8/4K3 w - -");
    PawnHashEntry apart = {};
    int apart_score = eval_pawns_white(pos, 3, &apart);
    // c5 against c4: square 10 v 8, passed 60 v 30, d6 defended +5 v 0, and
    // the connection +20 (c5) + 30 (d6) for the pair only.
    EXPECT_EQ(connected_score - apart_score, (10 - 8) + (60 - 30) + 5 + 20 + 30);
}

TEST_F(EvalFixture, PawnRace)
{
    const std::pair<const char*, int> races[] = {
        {"7k/8/8/P7/7p/8/8/K7 w - -", 50},   // 3 moves each, white to move
        {"7k/8/8/P7/7p/8/8/K7 b - -", -50},  // the same, black to move
        {"7k/8/8/P7/8/7p/8/K7 w - -", -50},  // black needs 2: one move ahead
        {"7k/8/8/8/P7/7p/8/K7 b - -", -385}, // 4 moves against 2: -(770 / 2)
        {"7k/8/8/P7/8/8/8/K7 w - -", 335},   // white alone: (970 - 300) / 2
        {"k7/8/8/P7/8/8/8/K7 w - -", 0},     // the king is in the square
    };
    for (const auto& [fen, expected] : races) {
        load(fen);
        PawnHashEntry scratch;
        PawnHashEntry* entry = lookup_pawn_hash(pos, 3, &scratch);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(eval_pawn_race(pos, entry), expected) << fen;
    }
}

TEST_F(EvalFixture, KingSafetyShelter)
{
    const struct {
        const char* fen;
        int white_danger, black_danger;
    } cases[] = {
        {"6k1/5ppp/8/8/8/8/5PPP/6K1 w - -", 0, 0},
        {"6k1/5ppp/8/8/8/8/5P1P/6K1 w - -", 20, 0},   // g-pawn gone
        {"6k1/5ppp/8/8/8/6P1/5P1P/6K1 w - -", 4, 0},  // g3
        {"6k1/5ppp/8/8/6P1/8/5P1P/6K1 w - -", 12, 0}, // g4
        {"6k1/5p1p/8/8/8/8/5PPP/6K1 w - -", 0, 20},
        // Kings on opposite wings: open files count for both pawn colours.
        {"1k6/ppp5/8/8/8/8/5PPP/6K1 w - -", 12, 12},
        // White king left on e1 with d2/e2 while black has castled.
        {"6k1/5ppp/8/8/8/8/3PP3/4K3 w - -", 8 + 8 + 8, 0},
        {"6k1/5ppp/8/8/8/3P4/4P3/4K3 w - -", 8 + 4 + 8 + 8, 0},
    };
    for (const auto& c : cases) {
        load(c.fen);
        KingDangers d;
        int k = eval_king_safety(pos, &d);
        EXPECT_EQ(d.white_king_danger, c.white_danger) << c.fen;
        EXPECT_EQ(d.black_king_danger, c.black_danger) << c.fen;
        EXPECT_EQ(k, (c.black_danger - c.white_danger) * level_weight) << c.fen;
    }
}

} // namespace
