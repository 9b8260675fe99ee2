// The index functions of the five-man rows whose stronger side
// is led by a pawn or a knight.
#include "tablebases/tbindex_plan.h"

TB_INDEX_ROWS_PAWN_KNIGHT(TB_DEFINE_INDEX_PAIR)
