// The evaluation's tables and the routine that fills the colour-oriented
// ones. Defined in search/evaltables.cpp.
#pragma once

#include <cstdlib>

#include "board/bitboard.h"
#include "board/position.h"
#include "search/evalmasks.h"

// By piece code (17..22, 33..38); fixed.
extern int piece_value_by_code[40];

// Source tables, white's view, rank 8 first (index = (7 - rank) * 8 + file).
extern const int PST_PAWN[4][64];
extern const int PST_KNIGHT[4][64];
extern const int PST_BISHOP[4][64];
extern const int PST_ROOK[4][64];
extern const int PST_QUEEN[4][64];
extern const int PST_KING[4][64]; // phases 0-2; row 3 unused
extern const int KING_END_KINGSIDE[64];
extern const int KING_END_QUEENSIDE[64];
extern const int KING_END_CENTRE[64];
extern const int KING_DANGER[64];
extern const int OUTPOST[64];
extern const int MIRROR[64];

extern const int KNIGHT_TROPISM[8];
extern const int BISHOP_TROPISM[8];
extern const int ROOK_FILE_TROPISM[8];
extern const int QUEEN_TROPISM[8];
extern const int QUEEN_KING_DISTANCE[8];
extern const int KING_ATTACK_SCALE[64];
extern const int BISHOP_PAIR_BONUS[20];
extern const int PAWN_PATTERN_WEIGHT[4];
extern const int PASSER_BLOCKED[8];
extern const int PASSER_UNCATCHABLE[8];
extern const int PASSER_KING_SUPPORT[8];

extern const int PASSED_PAWN[4][8];
extern const int CONNECTED_PASSER[8];
extern const int ISOLATED_FILE[8];
extern const int ISOLATED_COUNT[9];

// Game phases from game_phase_of: 0 opening to 3 endgame; king shelter and
// king safety count only up to the late middle game.
constexpr int ENDGAME_PHASE = 3;
constexpr int LAST_KING_SAFETY_PHASE = 2;
// Phase units of one side that mean: a lone minor piece, a lone rook, a rook
// and a minor piece.
constexpr int PHASE_LONE_MINOR = 3;
constexpr int PHASE_ROOK = 5;
constexpr int PHASE_ROOK_AND_MINOR = 8;

// The weights of the evaluation terms, in centipawns unless said otherwise.
// A change to any of them changes the search's node counts (the "Bench:"
// signature) and, for most, a value the evaluation tests pin.

// Margin of the lazy exit when a search starts; full evaluations raise it.
constexpr int LAZY_MARGIN_START = 100;

// Rooks: behind an own passer, on an open file (more with a second rook
// ahead on it), on a half-open file (more when the enemy pawn on it is
// weak), on the seventh rank against a king or pawns held there (more when
// a queen or rook stands beside it), and in the ending against a king shut
// in on its back rank.
constexpr int ROOK_BEHIND_PASSER = 20;
constexpr int ROOK_OPEN_FILE = 35;
constexpr int ROOK_OPEN_FILE_DOUBLED = 40;
constexpr int ROOK_HALF_OPEN_FILE = 5;
constexpr int ROOK_HALF_OPEN_WEAK_PAWN = 10;
constexpr int ROOK_SEVENTH = 32;
constexpr int ROOK_SEVENTH_DOUBLED = 42;
constexpr int ROOK_SEVENTH_KING_SHUT_IN = 20;
// A queen on the seventh rank with a queen or rook beside it.
constexpr int QUEEN_SEVENTH_DOUBLED = 20;

// Outposts: the OUTPOST table's value times these. A knight earns its
// bonus twice, once more without enemy minor pieces that could challenge
// it, and once more with two defending pawns.
constexpr int KNIGHT_OUTPOST_SCALE = 5;
constexpr int KNIGHT_OUTPOST_BOTH_DEFENDERS = 2;
constexpr int BISHOP_OUTPOST_SCALE = 2;
// A bishop shut in behind the enemy pawns after taking on a7 or h7.
constexpr int TRAPPED_BISHOP_PENALTY = 110;

// Kings before the ending: a rook shut in by its own king, a fianchetto
// bishop in front of the castled king, and the hole on f3 or c3 in front of
// it taken by an enemy pawn or bishop while the enemy has a queen.
constexpr int ROOK_TRAPPED_BY_KING_PENALTY = 50;
constexpr int FIANCHETTO_BONUS = 3;
constexpr int KING_HOLE_PENALTY = 20;

// King safety: the sum (phase units x dangers) is divided by this, and a
// king's danger counts this many times while the enemy has a queen.
constexpr int KING_SAFETY_DIVISOR = 256;
constexpr int QUEEN_DANGER_FACTOR = 2;
// King danger from the pawns: a king left in the centre while the other has
// castled, by where each own centre pawn stands, and per centre file
// without an enemy pawn; kings on opposite wings, per file of the own wing
// without an enemy or an own pawn; the shelter of a castled king per file,
// by where the own pawn stands (the knight's file weighs more).
constexpr int SHELTER_PAWN_HOME = 0;
constexpr int SHELTER_PAWN_ONE_UP = 1;
constexpr int SHELTER_PAWN_FURTHER = 2;
constexpr int SHELTER_PAWN_GONE = 3;
constexpr int CENTRE_PAWN_DANGER[3] = {0, 4, 8};
constexpr int CENTRE_FILE_WITHOUT_ENEMY_PAWN = 8;
constexpr int WING_FILE_WITHOUT_ENEMY_PAWN = 4;
constexpr int WING_FILE_WITHOUT_OWN_PAWN = 4;
constexpr int SHELTER_DANGER[2][4] = {
    {0, 4, 8, 12},  // a, c, f and h files
    {0, 4, 12, 20}, // b and g files
};

// Pawn structure. The searching side with all eight pawns still has to
// open the position.
constexpr int FULL_PAWN_SET_PENALTY = 20;
constexpr int SAFE_ADVANCE_BONUS = 1;
constexpr int SIDE_NEIGHBOUR_BONUS = 1;
constexpr int DOUBLED_ISOLATED_PENALTY = 9;
constexpr int DOUBLED_PENALTY = 5;
constexpr int PROTECTED_PASSER_BONUS = 5;
// Backward pawn, by how many more enemy than own pawns attack the square it
// has to cross (0, 1, 2; other counts cost nothing).
constexpr int BACKWARD_PENALTY[3] = {6, 12, 13};
// Passers on both wings in the ending stretch the defence.
constexpr int SPLIT_PASSERS_BONUS = 50;
constexpr int MANY_DOUBLED = 2;
constexpr int MANY_DOUBLED_PENALTY = 5;

// Flags in pawn_file_pattern: a pawn outside the other side's pawns, on
// either wing.
constexpr int WHITE_OUTSIDE_PAWN = 0x03;
constexpr int BLACK_OUTSIDE_PAWN = 0x30;

// Pawn endings: a passer or an outside pawn weighs more without pieces.
constexpr int PAWN_ENDING_PASSER_BONUS = 70;
constexpr int PAWN_ENDING_OUTSIDE_BONUS = 60;
// The pawn race: a runner is worth the queen less this per move it needs
// to promote; being exactly one move behind (or level with the opponent to
// move) is worth this bonus to the side ahead.
constexpr int RUNNER_MOVE_VALUE = 100;
constexpr int RACE_TEMPO_BONUS = 50;
// An endgame passer with an own rook behind it.
constexpr int PASSER_ROOK_BEHIND = 20;

// Endings: a king nearer the pawns of a one-wing pawn ending (two files or
// more nearer); a material lead of at most this much with at most this many
// pawns and equal majors against a side without pawns counts as no lead.
constexpr int KING_NEARER_PAWNS_BONUS = 140;
constexpr int DRAWISH_MAX_LEAD = 400;
constexpr int DRAWISH_MAX_PAWNS = 2;

// Extra minor pieces: one more with equal majors, two more otherwise.
constexpr int MINOR_ADVANTAGE_BONUS = 140;
constexpr int MINOR_SURPLUS_WITH_UNEQUAL_MAJORS = 2;

// Highest index into BISHOP_PAIR_BONUS (pawns on the board).
constexpr int BISHOP_PAIR_LAST_PAWN_COUNT = 19;

// Endgame bishops: own pawns on the bishop's colour, and opposite bishops
// beside one rook each pull the leading side back.
constexpr int BAD_BISHOP_PAWN_PENALTY = 5;
constexpr int OPPOSITE_BISHOPS_ROOKS_PULL = 70;

// Square-indexed copies built by init_eval_tables: [colour][...][square].
// Kinds: 0 pawn, 1 knight, 2 bishop, 3 rook, 4 queen, 5 king.
enum : int {
    PST_KIND_PAWN,
    PST_KIND_KNIGHT,
    PST_KIND_BISHOP,
    PST_KIND_ROOK,
    PST_KIND_QUEEN,
    PST_KIND_KING
};
enum : int {
    SINGLE_KING_END_KINGSIDE,
    SINGLE_KING_END_QUEENSIDE,
    SINGLE_KING_END_CENTRE,
    SINGLE_KING_DANGER,
    SINGLE_OUTPOST
};
extern int pst_by_square[2][6][4][64];
extern int single_by_square[2][5][64];

void init_eval_tables();
// Square of a side's king, or its home square when the board has none, so that
// every table look-up stays in range. Inline: each evaluation asks twice.
inline int eval_king_square(const Position* pos, int side)
{
    int sq = pos->king_square[side];
    if (sq >= 0 && sq < 64 && pos->board[sq] == make_piece(side, KING))
        return sq;
    return side == WHITE ? SQ_E1 : SQ_E8;
}

// Square helpers the evaluation and the pawn code share, colour-relative
// where a term for white holds for black with the board turned round.
inline int file_distance(int a, int b)
{
    return std::abs((a & 7) - (b & 7));
}
template <int C>
inline int rel_rank(int sq)
{
    return C == WHITE ? (sq >> 3) : 7 - (sq >> 3);
}
template <int C>
inline u64 ray_ahead(int sq)
{
    return C == WHITE ? ray_north[sq] : ray_south[sq];
}
template <int C>
inline u64 ray_behind(int sq)
{
    return C == WHITE ? ray_south[sq] : ray_north[sq];
}
template <int C>
inline u64 span_ahead(int sq)
{
    return C == WHITE ? adjacent_span_up[sq] : adjacent_span_down[sq];
}
template <int C>
inline int step_ahead(int sq)
{
    return C == WHITE ? sq + 8 : sq - 8;
}
template <int C>
inline u64 pawn_attacks_of(int sq)
{
    return C == WHITE ? pawn_attacks_white[sq] : pawn_attacks_black[sq];
}
template <int C>
inline u64 passed_mask_of(int sq)
{
    return C == WHITE ? passed_mask_white[sq] : passed_mask_black[sq];
}
// Pawns of colour C that attack (or defend) sq: they stand where a pawn of
// the other colour on sq would attack.
template <int C>
inline u64 pawns_attacking(const Position* pos, int sq)
{
    return (C == WHITE ? pawn_attacks_black[sq] : pawn_attacks_white[sq]) & pos->pawns[C];
}
