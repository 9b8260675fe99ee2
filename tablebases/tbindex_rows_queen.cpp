// The index functions of the five-man rows whose stronger side
// is led by a queen.
#include "tablebases/tbindex_plan.h"

TB_INDEX_ROWS_QUEEN(TB_DEFINE_INDEX_PAIR)
