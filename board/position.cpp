// Creation and release of the Position record, and the from-scratch rebuild
// of everything that derives from the board array.
#include "board/position.h"

#include <cstring>

#include "board/bitboard.h"
#include "board/output.h"

int piece_value[5] = {100, 300, 300, 500, 970};

Position* create_position()
{
    // Cleared so that nothing ever reads an indeterminate field, even before
    // the first set-up.
    Position* pos = static_cast<Position*>(alloc_mem(sizeof(Position)));
    memset(pos, 0, sizeof(Position));
    pos->root_moves = static_cast<RootMove*>(alloc_mem(sizeof(RootMove) * ROOT_MOVES_CAPACITY));
    memset(pos->root_moves, 0, sizeof(RootMove) * ROOT_MOVES_CAPACITY);
    pos->search_moves = static_cast<int*>(alloc_mem(sizeof(int) * SEARCH_MOVES_CAPACITY));
    memset(pos->search_moves, 0, sizeof(int) * SEARCH_MOVES_CAPACITY);
    pos->game = static_cast<GameRecord*>(alloc_mem(sizeof(GameRecord)));
    memset(pos->game, 0, sizeof(GameRecord));
    pos->game->move_count = 0;
    pos->search_moves[0] = 0;
    pos->castle_top = pos->castle_stack;
    pos->key_top = pos->key_stack;
    pos->pawn_key_top = pos->pawn_key_stack;
    pos->fifty_top = pos->fifty_stack;
    pos->ep_top = pos->ep_stack;
    return pos;
}

void destroy_position(Position* pos)
{
    if (!pos)
        return;
    free_mem(pos->game);
    free_mem(pos->root_moves);
    free_mem(pos->search_moves);
    free_mem(pos);
}

void rebuild_bitboards(Position* pos)
{
    for (int c = 0; c < 2; c++) {
        pos->phase[c] = pos->bishop_count[c] = pos->knight_count[c] = 0;
        pos->major_count[c] = pos->pawn_count[c] = 0;
        pos->pieces[c] = pos->pawns[c] = pos->knights[c] = 0;
        pos->bishops[c] = pos->rooks[c] = pos->queens[c] = 0;
    }
    pos->occupied = pos->occupied_rot90 = pos->occupied_rot45 = pos->occupied_rot315 = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = pos->board[sq];
        if (!code)
            continue;
        u64 m = u64(1) << sq;
        pos->occupied |= m;
        pos->occupied_rot90 |= u64(1) << ROT90_INDEX[sq];
        pos->occupied_rot45 |= u64(1) << ROT45_INDEX[sq];
        pos->occupied_rot315 |= u64(1) << ROT315_INDEX[sq];
        int c;
        if (code >= W_PAWN && code <= W_KING)
            c = WHITE;
        else if (code >= B_PAWN && code <= B_KING)
            c = BLACK;
        else
            continue;
        pos->pieces[c] |= m;
        switch (code & 7) {
            case PAWN:
                pos->pawns[c] |= m;
                pos->pawn_count[c]++;
                break;
            case KNIGHT:
                pos->knights[c] |= m;
                pos->knight_count[c]++;
                pos->phase[c] += 3;
                break;
            case BISHOP:
                pos->bishops[c] |= m;
                pos->bishop_count[c]++;
                pos->phase[c] += 3;
                break;
            case ROOK:
                pos->rooks[c] |= m;
                pos->major_count[c] += 1;
                pos->phase[c] += 5;
                break;
            case QUEEN:
                pos->queens[c] |= m;
                pos->major_count[c] += 2;
                pos->phase[c] += 10;
                break;
            case KING: pos->king_square[c] = sq; break;
        }
    }
}

void compute_material(Position* pos)
{
    pos->material[0] = pos->material[1] = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = pos->board[sq];
        int kind = code & 7;
        if (kind < PAWN || kind > QUEEN)
            continue;
        if (code & WHITE_BIT)
            pos->material[0] += piece_value[kind - 1];
        else if (code & BLACK_BIT)
            pos->material[1] += piece_value[kind - 1];
    }
}

void check_material(Position* pos)
{
    int white = pos->material[0], black = pos->material[1];
    compute_material(pos);
    if (pos->material[0] != white)
        exit_with_message("material");
    if (pos->material[1] != black)
        exit_with_message("material");
}
