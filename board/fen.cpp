// FEN/EPD set-up, the new game and the four-field position text.
//
// set_board reads into local storage and commits only a well-formed text, so
// a bad line from an interface never leaves a half-built position behind.
#include "board/fen.h"

#include <cstring>

#include "board/assert.h"
#include "board/invariants.h"
#include "board/notation.h"
#include "board/output.h"
#include "board/zobrist.h"

int default_contempt = 0;

namespace {

inline bool is_blank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
}

int piece_of_letter(char ch)
{
    switch (ch) {
        case 'P': return W_PAWN;
        case 'N': return W_KNIGHT;
        case 'B': return W_BISHOP;
        case 'R': return W_ROOK;
        case 'Q': return W_QUEEN;
        case 'K': return W_KING;
        case 'p': return B_PAWN;
        case 'n': return B_KNIGHT;
        case 'b': return B_BISHOP;
        case 'r': return B_ROOK;
        case 'q': return B_QUEEN;
        case 'k': return B_KING;
        default: return 0;
    }
}

char letter_of_piece(int code)
{
    static const char white[] = " PNBRQK", black[] = " pnbrqk";
    int kind = code & 7;
    if (kind < PAWN || kind > KING)
        return '?';
    return (code & BLACK_BIT) ? black[kind] : white[kind];
}

struct Field {
    const char* start;
    int length;
};

// Longest accepted side, castling and en-passant fields.
constexpr int MAX_SIDE_FIELD = 3;
constexpr int MAX_CASTLE_FIELD = 7;
constexpr int MAX_EP_FIELD = 3;

int bad_castling()
{
    printf("Setboard: Bad castle info\n");
    fflush(stdout);
    return 0;
}

// Eight ranks of exactly eight squares each, rank 8 first.
bool parse_placement(const Field& f, int* board)
{
    for (int sq = 0; sq < 64; sq++)
        board[sq] = 0;
    int rank = 7, file = 0;
    for (int i = 0; i < f.length; i++) {
        char ch = f.start[i];
        if (ch == '/') {
            if (file != 8 || rank == 0)
                return false;
            rank--;
            file = 0;
        } else if (ch >= '1' && ch <= '8') {
            file += ch - '0';
            if (file > 8)
                return false;
        } else {
            int code = piece_of_letter(ch);
            if (!code || file >= 8)
                return false;
            board[rank * 8 + file] = code;
            file++;
        }
    }
    return rank == 0 && file == 8;
}

int piece_at(const int* board, int rank, int file)
{
    if (rank < 0 || rank > 7 || file < 0 || file > 7)
        return -1;
    return board[rank * 8 + file];
}

// Whether a piece of the colour attacks the square, read from the board
// array alone: set_board asks before anything derived has been built.
bool square_attacked(const int* board, int square, int colour_bit)
{
    static const int KNIGHT_STEPS[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                           {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    static const int RAYS[8][2] = {{1, 0}, {-1, 0}, {0, 1},  {0, -1},
                                   {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    const int rank = square / 8, file = square % 8;
    const int pawn_rank = colour_bit == WHITE_BIT ? rank - 1 : rank + 1;
    if (piece_at(board, pawn_rank, file - 1) == colour_bit + PAWN ||
        piece_at(board, pawn_rank, file + 1) == colour_bit + PAWN)
        return true;
    for (const auto& step : KNIGHT_STEPS)
        if (piece_at(board, rank + step[0], file + step[1]) == colour_bit + KNIGHT)
            return true;
    for (int ray = 0; ray < 8; ray++) {
        const int slider = ray < 4 ? ROOK : BISHOP;
        for (int distance = 1;; distance++) {
            int code =
                piece_at(board, rank + distance * RAYS[ray][0], file + distance * RAYS[ray][1]);
            if (code == EMPTY)
                continue;
            if (code == colour_bit + slider || code == colour_bit + QUEEN ||
                (distance == 1 && code == colour_bit + KING))
                return true;
            break;
        }
    }
    return false;
}

} // namespace

int report_bad_position(const char* text)
{
    printf("Bad epd format: %s\n", text);
    fflush(stdout);
    return 0;
}

bool board_is_playable(const int* board, int side_to_move)
{
    int king_square[2] = {-1, -1}, kings[2] = {0, 0};
    for (int sq = 0; sq < 64; sq++) {
        if (board[sq] == W_KING || board[sq] == B_KING) {
            const int colour = board[sq] == W_KING ? WHITE : BLACK;
            kings[colour]++;
            king_square[colour] = sq;
        }
    }
    if (kings[WHITE] != 1 || kings[BLACK] != 1)
        return false;
    // The side to move could capture a king left in check.
    const int waiting = side_to_move ^ 1;
    return !square_attacked(board, king_square[waiting],
                            side_to_move == WHITE ? WHITE_BIT : BLACK_BIT);
}

namespace {

// Splits the text into at most four fields; returns how many were found.
int split_fields(const char* p, Field fields[4])
{
    int count = 0;
    while (*p && count < 4) {
        fields[count].start = p;
        while (*p && !is_blank(*p))
            p++;
        fields[count].length = int(p - fields[count].start);
        count++;
        while (is_blank(*p))
            p++;
    }
    return count;
}

// The castling field as rights, or -1 for a letter it cannot hold.
int parse_castling(Field castle)
{
    int rights = 0;
    for (int i = 0; i < castle.length; i++) {
        switch (castle.start[i]) {
            case '-': break;
            case 'K': rights |= CASTLE_WHITE_SHORT; break;
            case 'Q': rights |= CASTLE_WHITE_LONG; break;
            case 'k': rights |= CASTLE_BLACK_SHORT; break;
            case 'q': rights |= CASTLE_BLACK_LONG; break;
            default: return -1;
        }
    }
    return rights;
}

// The en-passant field as a square (0 for none), or -1 when it is unusable.
int parse_ep_square(Field ep, const int board[64], int side_to_move)
{
    if (ep.length == 1 && ep.start[0] == '-')
        return 0;
    if (ep.length != 2 || ep.start[0] < 'a' || ep.start[0] > 'h' ||
        (ep.start[1] != '3' && ep.start[1] != '6'))
        return -1;
    const int ep_square = (ep.start[0] - 'a') + 8 * (ep.start[1] - '1');
    // A double step of the side not to move skips a square of its own
    // third rank; one on the other rank would let the side to move take
    // "en passant" towards its own side of the board.
    if (ep.start[1] != (side_to_move == WHITE ? '6' : '3'))
        return -1;
    // Only a pawn that has just stepped past the square can be taken
    // there: without it beyond the square, or with the square taken,
    // the capture would remove a man that is not on the board.
    const int stepped = side_to_move == WHITE ? ep_square - 8 : ep_square + 8;
    if (board[stepped] != (side_to_move == WHITE ? B_PAWN : W_PAWN) || board[ep_square] != 0)
        return -1;
    return ep_square;
}

// A right whose king or rook is not on its home square cannot be used.
int usable_rights(int rights, const int board[64])
{
    if (board[SQ_E1] != W_KING)
        rights &= ~(CASTLE_WHITE_SHORT | CASTLE_WHITE_LONG);
    if (board[SQ_E8] != B_KING)
        rights &= ~(CASTLE_BLACK_SHORT | CASTLE_BLACK_LONG);
    if (board[SQ_A1] != W_ROOK)
        rights &= ~CASTLE_WHITE_LONG;
    if (board[SQ_H1] != W_ROOK)
        rights &= ~CASTLE_WHITE_SHORT;
    if (board[SQ_A8] != B_ROOK)
        rights &= ~CASTLE_BLACK_LONG;
    if (board[SQ_H8] != B_ROOK)
        rights &= ~CASTLE_BLACK_SHORT;
    return rights;
}

void install_board(Position* pos, const int board[64], int side_to_move, int rights, int ep_square)
{
    // Nothing below the new position is ever read again (the fifty-move
    // counter starts at 0), so the stacks restart at their base: a game set
    // up this way has the same room as one started with setup_new_game.
    pos->castle_top = pos->castle_stack;
    pos->key_top = pos->key_stack;
    pos->pawn_key_top = pos->pawn_key_stack;
    pos->fifty_top = pos->fifty_stack;
    pos->ep_top = pos->ep_stack;

    memcpy(pos->board, board, sizeof pos->board);
    pos->side_to_move = side_to_move;
    pos->game->move_count = 0;
    *pos->ep_top = ep_square;
    *pos->fifty_top = 0;
    *pos->castle_top = rights;
    compute_material(pos);
    rebuild_bitboards(pos);
    check_material(pos);
    *pos->key_top = compute_hash_key(pos);
    *pos->pawn_key_top = compute_pawn_key(pos);
    ASSERT(position_is_ok(pos));
}

int read_board(Position* pos, const char* text, bool for_play)
{
    const char* p = text;
    while (*p == ' ')
        p++;
    const char* shown = p;
    while (is_blank(*p))
        p++;

    Field fields[4] = {};
    const int count = split_fields(p, fields);
    if (count < 2)
        return report_bad_position(shown);

    int board[64];
    if (!parse_placement(fields[0], board))
        return report_bad_position(shown);
    static const Field dash = {"-", 1};
    const Field side = fields[1];
    const Field castle = count > 2 ? fields[2] : dash;
    const Field ep = count > 3 ? fields[3] : dash;
    if (side.length > MAX_SIDE_FIELD || castle.length > MAX_CASTLE_FIELD ||
        ep.length > MAX_EP_FIELD)
        return report_bad_position(shown);

    const int side_to_move = (side.length == 1 && side.start[0] == 'w') ? WHITE : BLACK;
    const int rights = parse_castling(castle);
    if (rights < 0)
        return bad_castling();
    const int ep_square = parse_ep_square(ep, board, side_to_move);
    if (ep_square < 0)
        return report_bad_position(shown);

    // A position without one king a side, or whose side to move could take
    // the other king, would make the search capture a king.
    if (for_play && !board_is_playable(board, side_to_move))
        return report_bad_position(shown);

    install_board(pos, board, side_to_move, usable_rights(rights, board), ep_square);
    return 1;
}

} // namespace

int set_board(Position* pos, const char* text)
{
    return read_board(pos, text, false);
}

int set_board_for_play(Position* pos, const char* text)
{
    return read_board(pos, text, true);
}

void setup_new_game(Position* pos)
{
    pos->castle_top = pos->castle_stack;
    pos->key_top = pos->key_stack;
    pos->pawn_key_top = pos->pawn_key_stack;
    pos->fifty_top = pos->fifty_stack;
    pos->ep_top = pos->ep_stack;
    set_board(pos, START_POSITION_FEN);
    pos->side_to_move = WHITE;
    pos->game->move_count = 0;
    pos->game->redo_limit = 0;
    pos->book_misses = 0;
    pos->game_active = 1;
    pos->game->contempt = default_contempt;
    pos->game->own_rating = 0;
    pos->game->opponent_rating = 0;
    *pos->castle_top = 15;
    rebuild_bitboards(pos);
    compute_material(pos);
    *pos->ep_top = 0;
    *pos->fifty_top = 0;
    *pos->key_top = compute_hash_key(pos);
    *pos->pawn_key_top = compute_pawn_key(pos);
    pos->resign_count = 0;
    pos->draw_count = 0;
    pos->game->result = RESULT_NONE;
}

char* format_position_text(char* buffer, const Position* pos)
{
    char* out = buffer;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int code = pos->board[rank * 8 + file];
            if (!code) {
                empty++;
                continue;
            }
            if (empty)
                *out++ = char('0' + empty);
            empty = 0;
            *out++ = letter_of_piece(code);
        }
        if (empty)
            *out++ = char('0' + empty);
        if (rank)
            *out++ = '/';
    }
    *out++ = ' ';
    *out++ = pos->side_to_move == WHITE ? 'w' : 'b';
    *out++ = ' ';
    const int rights = *pos->castle_top;
    if (rights & CASTLE_WHITE_SHORT)
        *out++ = 'K';
    if (rights & CASTLE_WHITE_LONG)
        *out++ = 'Q';
    if (rights & CASTLE_BLACK_SHORT)
        *out++ = 'k';
    if (rights & CASTLE_BLACK_LONG)
        *out++ = 'q';
    if (!(rights & 15))
        *out++ = '-';
    *out++ = ' ';
    const int ep = *pos->ep_top;
    if (ep > 0 && ep < 64) {
        *out++ = square_name[ep][0];
        *out++ = square_name[ep][1];
    } else {
        *out++ = '-';
    }
    *out++ = ' ';
    *out = 0;
    return buffer;
}

void write_position_text(FILE* stream, const Position* pos)
{
    char buffer[100];
    fputs(format_position_text(buffer, pos), stream);
}

void show_position_text(const Position* pos)
{
    if (!output_enabled)
        return;
    char buffer[100];
    format_position_text(buffer, pos);
    if (protocol_mode == PROTOCOL_CONSOLE) {
        fputs(buffer, stdout);
        fflush(stdout);
    }
    if (log_file) {
        fputs(buffer, log_file);
        fflush(log_file);
    }
}
