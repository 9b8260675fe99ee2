// The board as a text diagram, and the invalid-move report that shows it.
#include "board/diagram.h"

#include "board/notation.h"
#include "board/output.h"

int show_diagram = 0;

namespace {

const char* const FRAME_LINE = "      +---+---+---+---+---+---+---+---+\n";

// Cell text by piece code (colour bit plus kind); unused codes stay empty.
const char* cell_text(int code)
{
    static const char* const WHITE_CELLS[7] = {"   |", " P |", " N |", " B |",
                                               " R |", " Q |", " K |"};
    static const char* const BLACK_CELLS[7] = {"   |", " *p|", " *n|", " *b|",
                                               " *r|", " *q|", " *k|"};
    int kind = piece_kind(code);
    if (code == EMPTY || kind < PAWN || kind > KING)
        return "   |";
    return (code & BLACK_BIT) ? BLACK_CELLS[kind] : WHITE_CELLS[kind];
}

} // namespace

void print_diagram(FILE* stream, Position* pos)
{
    if (!show_diagram)
        return;
    fprintf(stream, pos->side_to_move == WHITE ? "(%d) White to move:\n" : "(%d) Black to move:\n",
            (pos->game->move_count + 1) / 2);
    fputs(FRAME_LINE, stream);
    for (int rank = 7; rank >= 0; rank--) {
        fprintf(stream, "    %d |", rank + 1);
        for (int file = 0; file < 8; file++)
            fputs(cell_text(pos->board[rank * 8 + file]), stream);
        fprintf(stream, "\n%s", FRAME_LINE);
    }
    fputs("        a   b   c   d   e   f   g   h\n\n", stream);
    fflush(stream);
}

void show_board(Position* pos)
{
    if (!output_enabled)
        return;
    if (protocol_mode == PROTOCOL_CONSOLE)
        print_diagram(stdout, pos);
    if (log_file != nullptr)
        print_diagram(log_file, pos);
}

void report_invalid_move(Position* pos, Move move)
{
    show_board(pos);
    emit_text("Invalid move: %s\n", format_move_coord(move));
}
