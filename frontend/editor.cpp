// The position editor: placing lines, castling lines, and the rebuild on ".".
#include "frontend/editor.h"

#include <cstdlib>
#include <cstring>

#include "board/assert.h"
#include "board/board.h"
#include "board/invariants.h"
#include "frontend/frontend.h"
#include "frontend/input.h"

namespace {

// Castling rights lose the bits whose king or rook has left its square.
void drop_unfounded_castling(Position* pos)
{
    int rights = *pos->castle_top;
    if (pos->board[SQ_E1] != W_KING)
        rights &= ~(CASTLE_WHITE_SHORT | CASTLE_WHITE_LONG);
    if (pos->board[SQ_E8] != B_KING)
        rights &= ~(CASTLE_BLACK_SHORT | CASTLE_BLACK_LONG);
    if (pos->board[SQ_A1] != W_ROOK)
        rights &= ~CASTLE_WHITE_LONG;
    if (pos->board[SQ_H1] != W_ROOK)
        rights &= ~CASTLE_WHITE_SHORT;
    if (pos->board[SQ_A8] != B_ROOK)
        rights &= ~CASTLE_BLACK_LONG;
    if (pos->board[SQ_H8] != B_ROOK)
        rights &= ~CASTLE_BLACK_SHORT;
    *pos->castle_top = rights;
}

struct CastleEdit {
    const char* text;
    int bit;
    int set;
};

constexpr CastleEdit CASTLE_EDITS[] = {
    {"+w00", CASTLE_WHITE_SHORT, 1}, {"-w00", CASTLE_WHITE_SHORT, 0},
    {"+w000", CASTLE_WHITE_LONG, 1}, {"-w000", CASTLE_WHITE_LONG, 0},
    {"+b00", CASTLE_BLACK_SHORT, 1}, {"-b00", CASTLE_BLACK_SHORT, 0},
    {"+b000", CASTLE_BLACK_LONG, 1}, {"-b000", CASTLE_BLACK_LONG, 0},
};

int kind_of_letter(char letter)
{
    switch (letter) {
        case 'P':
        case 'p': return PAWN;
        case 'N':
        case 'n': return KNIGHT;
        case 'B':
        case 'b': return BISHOP;
        case 'R':
        case 'r': return ROOK;
        case 'Q':
        case 'q': return QUEEN;
        case 'K':
        case 'k': return KING;
        case 'X':
        case 'x': return EMPTY;
        default: return -1;
    }
}

// What the editor changes, so that a refused or abandoned edit leaves the
// position as it was.
struct EditedState {
    int board[64];
    int castle;
    int ep;
    int move_count;
};

void save_edited_state(const Position* pos, EditedState* saved)
{
    memcpy(saved->board, pos->board, sizeof saved->board);
    saved->castle = *pos->castle_top;
    saved->ep = *pos->ep_top;
    saved->move_count = pos->game->move_count;
}

void restore_edited_state(Position* pos, const EditedState& saved)
{
    memcpy(pos->board, saved.board, sizeof saved.board);
    *pos->castle_top = saved.castle;
    *pos->ep_top = saved.ep;
    pos->game->move_count = saved.move_count;
}

void finish_editing(Position* pos, const EditedState& saved)
{
    drop_unfounded_castling(pos);
    if (!board_is_playable(pos->board, pos->side_to_move)) {
        char text[100];
        report_bad_position(format_position_text(text, pos));
        restore_edited_state(pos, saved);
        return;
    }
    // The edited position starts a fresh history: no earlier position can
    // repeat it and the fifty-move count starts again.
    *pos->fifty_top = 0;
    compute_material(pos);
    rebuild_bitboards(pos);
    check_material(pos);
    *pos->key_top = compute_hash_key(pos);
    *pos->pawn_key_top = compute_pawn_key(pos);
    ASSERT(position_is_ok(pos));
    show_board(pos);
}

} // namespace

void edit_position(Position* pos)
{
    EditedState saved;
    save_edited_state(pos, &saved);
    *pos->ep_top = 0;
    pos->game->move_count = 0;
    *pos->castle_top =
        CASTLE_WHITE_SHORT | CASTLE_WHITE_LONG | CASTLE_BLACK_SHORT | CASTLE_BLACK_LONG;
    int colour_bit = WHITE_BIT;
    char line[EDIT_LINE_SIZE];
    for (;;) {
        if (protocol_mode != PROTOCOL_XBOARD) {
            fputs("Edit> ", stdout);
            fflush(stdout);
        }
        if (input_read_line(line, EDIT_LINE_SIZE) < 0) {
            restore_edited_state(pos, saved);
            return;
        }
        line[strcspn(line, "\r\n")] = '\0';

        if (strcmp(line, ".") == 0)
            break;
        if (strcmp(line, "#") == 0) {
            for (int sq = 0; sq < 64; sq++)
                pos->board[sq] = EMPTY;
            continue;
        }
        if (strcmp(line, "c") == 0) {
            colour_bit = BLACK_BIT;
            continue;
        }
        bool castle_line = false;
        for (const CastleEdit& edit : CASTLE_EDITS) {
            if (strcmp(line, edit.text) == 0) {
                if (edit.set)
                    *pos->castle_top |= edit.bit;
                else
                    *pos->castle_top &= ~edit.bit;
                castle_line = true;
                break;
            }
        }
        if (castle_line)
            continue;

        int kind = kind_of_letter(line[0]);
        if (kind < 0 || line[1] == '\0' || line[2] == '\0') {
            printf("Uknown edit command\n");
            fflush(stdout);
            continue;
        }
        // File and rank are checked one by one: "i1" must not wrap onto a2.
        int file = line[1] - 'a';
        int rank = line[2] - '1';
        if (file < 0 || file > 7 || rank < 0 || rank > 7) {
            printf("Edit outside board\n");
            fflush(stdout);
            close_log_file();
            exit(1);
        }
        pos->board[rank * 8 + file] = kind == EMPTY ? EMPTY : colour_bit + kind;
    }
    finish_editing(pos, saved);
}
