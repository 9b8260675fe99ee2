// The principal-variation table: the best line found below each ply.
#include "search/pvtable.h"

void update_pv(int ply, Move move, Position* pos)
{
    pos->pv[ply][ply] = move;
    if (ply + 1 >= MAX_PLY) {
        pos->pv_length[ply] = ply + 1;
        return;
    }
    // The child's line ends somewhere between the move itself and the last ply.
    int end = pos->pv_length[ply + 1];
    if (end < ply + 1)
        end = ply + 1;
    if (end > MAX_PLY)
        end = MAX_PLY;
    for (int j = ply + 1; j < end; ++j)
        pos->pv[ply][j] = pos->pv[ply + 1][j];
    pos->pv_length[ply] = end;
}
