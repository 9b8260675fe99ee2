// The table of the 220 index functions (defined by the tbindex_rows_* files)
// and their index spaces.
#include "tablebases/tbindex_plan.h"

namespace {

using namespace tbplan;

#define TB_ROW_SPACES(id, name)                                                                    \
    static_cast<uint32_t>(make_plan(parse_row(#name), 0).space),                                   \
        static_cast<uint32_t>(make_plan(parse_row(#name), 1).space),
constexpr uint32_t INDEX_SPACE[TB_INDEX_FUNCTION_COUNT] = {TB_INDEX_ROWS(TB_ROW_SPACES)};
#undef TB_ROW_SPACES

// The compile-time block sizes are the ones the built tables must produce.
static_assert(TOTALS.single[1][TB_KIND_P] == 81664 && TOTALS.single[1][TB_KIND_p] == 84012);
static_assert(TOTALS.pair[0][TB_KIND_N][TB_KIND_N] == 735304 &&
              TOTALS.pair[1][TB_KIND_Q][TB_KIND_P] == 4533584);
static_assert(INDEX_SPACE[2 * (6 - 1)] == 3863492 && INDEX_SPACE[2 * (36 - 1)] == 84219362);
} // namespace

#define TB_FUNCTION_PAIR(id, name) index_##name##_wtm, index_##name##_btm,
const TbIndexFn TB_INDEX_FUNCTIONS[TB_INDEX_FUNCTION_COUNT] = {TB_INDEX_ROWS(TB_FUNCTION_PAIR)};
#undef TB_FUNCTION_PAIR

uint32_t tb_index_space(int id, int side)
{
    if (id < 1 || id > TB_INDEX_ROW_COUNT || side < 0 || side > 1)
        return 0;
    return INDEX_SPACE[2 * (id - 1) + side];
}
