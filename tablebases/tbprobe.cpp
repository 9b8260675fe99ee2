// Tablebase probe front: the switches and statistics that the search and
// the front end use, and the probe that finds a position's table, its index
// and its value, and turns the value into a mate-distance score.
#include "tablebases/tbprobe.h"

#include <bit>

#include "board/output.h"
#include "board/position.h"
#include "tablebases/registry.h"
#include "tablebases/tbcache.h"

int tb_enabled = 1;
int tb_max_men = 0;
uint32_t tb_probes = 0;
uint32_t tb_hits = 0;

namespace {

// Enters one side's men into its square list, each kind from the lowest
// square up; false when a kind has more men than the list holds.
bool fill_side(const Position* pos, int colour, int* squares, int* counts)
{
    const uint64_t kinds[5] = {pos->pawns[colour], pos->knights[colour], pos->bishops[colour],
                               pos->rooks[colour], pos->queens[colour]};
    for (int kind = 0; kind < 5; ++kind) {
        uint64_t set = kinds[kind];
        const int count = std::popcount(set);
        if (count > 3)
            return false;
        counts[kind] = count;
        for (int slot = kind * 3; set; ++slot) {
            squares[slot] = std::countr_zero(set);
            set &= set - 1;
        }
    }
    squares[TB_SLOT_KING] = pos->king_square[colour];
    return true;
}

} // namespace

int probe_tablebases(Position* pos, int* score)
{
    ++tb_probes;
    int lists[2][16] = {};
    int counts[10];
    if (!fill_side(pos, WHITE, lists[WHITE], counts) ||
        !fill_side(pos, BLACK, lists[BLACK], counts + 5))
        return 0;
    int id = find_table_id(counts);
    if (id == 0)
        return 0;

    const int white_to_move = pos->side_to_move == WHITE;
    int side;
    const int* first;
    const int* second;
    int flip;
    if (id > 0) {
        side = white_to_move ? 0 : 1;
        first = lists[WHITE];
        second = lists[BLACK];
        flip = 0;
    } else {
        id = -id;
        side = white_to_move ? 1 : 0;
        first = lists[BLACK];
        second = lists[WHITE];
        flip = 1;
    }
    if (!is_table_present(id, side))
        return 0;

    const int ep = *pos->ep_top;
    const uint32_t index =
        get_index_function(id, side)(first, second, ep ? ep : TB_NO_EP_SQUARE, flip);
    const int value = probe_table_score(id, side, index);
    if (value == TB_SCORE_UNKNOWN)
        return 0;
    if (value > 0)
        *score = 2 * value - 32767;
    else if (value < 0)
        *score = 2 * value + 32767;
    else
        *score = 0;
    ++tb_hits;
    return 1;
}

void print_tb_stats()
{
    if (tb_enabled)
        emit_text("EGTB: probs %lu, hits %lu\n", (unsigned long)tb_probes, (unsigned long)tb_hits);
    else
        emit_text("EGTB: disabled\n");
}

void reset_tb_stats()
{
    tb_probes = 0;
    tb_hits = 0;
}
