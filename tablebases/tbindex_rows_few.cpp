// The index functions of the three- and four-man rows.
#include "tablebases/tbindex_plan.h"

TB_INDEX_ROWS_FEW(TB_DEFINE_INDEX_PAIR)
