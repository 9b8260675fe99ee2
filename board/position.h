// The engine context: one flat record per game or task holding the board,
// its derived bitboards, the state stacks of the moves played, the search's
// per-ply work area and the game record.
#pragma once

#include <cstddef>
#include <cstdint>

using u64 = uint64_t;
using u32 = uint32_t;
using u8 = uint8_t;

// A move code: to bits 0-5, from bits 6-11, promotion kind bits 12-15,
// captured piece code bits 16-21, moving piece code bits 25-30; 0 is no move.
using Move = int;

// Piece codes: colour bit plus kind.
constexpr int WHITE = 0;
constexpr int BLACK = 1;
constexpr int WHITE_BIT = 16;
constexpr int BLACK_BIT = 32;
constexpr int EMPTY = 0;
constexpr int PAWN = 1;
constexpr int KNIGHT = 2;
constexpr int BISHOP = 3;
constexpr int ROOK = 4;
constexpr int QUEEN = 5;
constexpr int KING = 6;
constexpr int W_PAWN = 17, W_KNIGHT = 18, W_BISHOP = 19, W_ROOK = 20, W_QUEEN = 21, W_KING = 22;
constexpr int B_PAWN = 33, B_KNIGHT = 34, B_BISHOP = 35, B_ROOK = 36, B_QUEEN = 37, B_KING = 38;

// Promotion kinds in the move code.
constexpr int PROMO_KNIGHT = 1;
constexpr int PROMO_BISHOP = 2;
constexpr int PROMO_ROOK = 3;
constexpr int PROMO_QUEEN = 4;

// Castling-rights bits.
constexpr int CASTLE_WHITE_SHORT = 1;
constexpr int CASTLE_WHITE_LONG = 2;
constexpr int CASTLE_BLACK_SHORT = 4;
constexpr int CASTLE_BLACK_LONG = 8;

// The four castling moves, written as the king's move.
constexpr Move MOVE_WHITE_SHORT = 0x2C000106;
constexpr Move MOVE_WHITE_LONG = 0x2C000102;
constexpr Move MOVE_BLACK_SHORT = 0x4C000F3E;
constexpr Move MOVE_BLACK_LONG = 0x4C000F3A;

// Squares used by name.
enum : int {
    SQ_A1 = 0,
    SQ_B1,
    SQ_C1,
    SQ_D1,
    SQ_E1,
    SQ_F1,
    SQ_G1,
    SQ_H1,
    SQ_A8 = 56,
    SQ_B8,
    SQ_C8,
    SQ_D8,
    SQ_E8,
    SQ_F8,
    SQ_G8,
    SQ_H8
};

constexpr int move_to(Move m)
{
    return m & 63;
}
constexpr int move_from(Move m)
{
    return (m >> 6) & 63;
}
constexpr int move_promo(Move m)
{
    return (m >> 12) & 15;
}
constexpr int move_captured(Move m)
{
    return (m >> 16) & 63;
}
constexpr int move_piece(Move m)
{
    return (m >> 25) & 63;
}
constexpr Move make_move_code(int from, int to, int piece, int captured, int promo)
{
    return to | (from << 6) | (promo << 12) | (captured << 16) | (piece << 25);
}
constexpr bool is_castling_move(Move m)
{
    return m == MOVE_WHITE_SHORT || m == MOVE_WHITE_LONG || m == MOVE_BLACK_SHORT ||
           m == MOVE_BLACK_LONG;
}

constexpr int piece_kind(int code)
{
    return code & 7;
}
constexpr int piece_colour(int code)
{
    return (code & BLACK_BIT) ? BLACK : WHITE;
}
constexpr int make_piece(int colour, int kind)
{
    return (colour ? BLACK_BIT : WHITE_BIT) | kind;
}
constexpr int square_file(int sq)
{
    return sq & 7;
}
constexpr int square_rank(int sq)
{
    return sq >> 3;
}

// Capacities. A game record holds GAME_MAX_MOVES plies, more than the
// longest game the 75-move rule lets end (17697 plies); the state stacks hold
// those plus the deepest search line (search plies plus quiescence). A game
// that goes on beyond makes room by forgetting its oldest plies
// (make_room_for_game_move).
constexpr int GAME_MAX_MOVES = 18000;
constexpr int MAX_PLY = 64;
constexpr int STATE_STACK_SIZE = GAME_MAX_MOVES + 4 * MAX_PLY;
// Upper bound on the moves any generator can append for one position that a
// FEN can set up: at most 27 targets per piece and 64 - k non-own targets for
// k own pieces gives under 1000 pairs, plus promotion variants and castling.
constexpr int MAX_MOVES = 1088;
constexpr int MOVE_BUFFER_SIZE = MAX_PLY * MAX_MOVES;
constexpr int ROOT_MOVES_CAPACITY = MAX_MOVES;
constexpr int SEARCH_MOVES_CAPACITY = MAX_MOVES + 1;

// Game results.
constexpr int RESULT_WHITE_WON = 1;
constexpr int RESULT_BLACK_WON = 2;
constexpr int RESULT_DRAW = 3;
constexpr int RESULT_NONE = 4;

// Root move flags.
constexpr int ROOT_FAILED_HIGH = 1;
constexpr int ROOT_FAILED_LOW = 2;
constexpr int ROOT_SEARCHED = 4;

struct GameRecord {
    int own_rating;
    int opponent_rating;
    int contempt;
    int result; // RESULT_*
    int moves[GAME_MAX_MOVES];
    int move_count; // plies played
    int redo_limit; // move_count after the last appended move
};

struct RootMove {
    int move;
    int flags; // ROOT_*
    int score;
};
static_assert(sizeof(RootMove) == 3 * sizeof(int));

struct MovePicker {
    int stage;
    int list_start;
    int current;
    int capture_count;
    int remaining;
    int good_end;
};
static_assert(sizeof(MovePicker) == 6 * sizeof(int));

struct Position {
    // A. Board part.
    int board[64];
    int material[2];
    int king_square[2];
    u64 pieces[2];
    u64 pawns[2];
    u64 knights[2];
    u64 bishops[2];
    u64 rooks[2];
    u64 queens[2];
    u64 occupied;
    u64 occupied_rot90;
    u64 occupied_rot45;
    u64 occupied_rot315;
    int bishop_count[2];
    int knight_count[2];
    int major_count[2];
    int pawn_count[2];
    int phase[2];

    // B. State: the entry at each top pointer is the current state (the
    // stacks themselves, long enough for a whole game, come last).
    int* castle_top;
    u64* key_top;
    u64* pawn_key_top;
    int* fifty_top;
    int* ep_top;
    int side_to_move;

    // C. Search area.
    int single_reply;
    int in_check[MAX_PLY];
    int ext_flags[MAX_PLY + 1];
    int threat[MAX_PLY];
    int hash_move[MAX_PLY];
    int current_move[MAX_PLY];
    int killers[MAX_PLY][2];
    int pv_flag[MAX_PLY];
    int search_start;
    int search_start_cpu;
    int book_misses;
    int pv[MAX_PLY][MAX_PLY];
    int pv_length[MAX_PLY];
    int move_scores[MAX_MOVES];
    int move_buffer[MOVE_BUFFER_SIZE];
    int move_list_end[MAX_PLY];
    MovePicker picker[MAX_PLY + 1];

    // D. Game and root.
    int resign_count;
    int draw_count;
    int game_active;
    int engine_side;
    int root_score;
    int root_count;
    int root_index;
    RootMove* root_moves; // ROOT_MOVES_CAPACITY entries
    int* search_moves;    // SEARCH_MOVES_CAPACITY entries, 0-terminated
    GameRecord* game;

    // E. The state stacks, behind everything the search reads at every node.
    u64 key_stack[STATE_STACK_SIZE];
    u64 pawn_key_stack[STATE_STACK_SIZE];
    int castle_stack[STATE_STACK_SIZE];
    int fifty_stack[STATE_STACK_SIZE];
    int ep_stack[STATE_STACK_SIZE];
};

// Number of moves made on top of the set-up position (the depth of the stacks).
inline int state_depth(const Position* pos)
{
    return int(pos->key_top - pos->key_stack);
}
// Whether one more move can be made without overrunning the state stacks.
inline bool state_stack_has_room(const Position* pos)
{
    return state_depth(pos) + 1 < STATE_STACK_SIZE;
}

// Material value of pawn, knight, bishop, rook and queen, by kind - 1: the
// positions' material counts are kept in these units. The playing levels
// change them (search/levels.cpp).
extern int piece_value[5];

Position* create_position();
void destroy_position(Position* pos);
void rebuild_bitboards(Position* pos);
void compute_material(Position* pos);
void check_material(Position* pos);
