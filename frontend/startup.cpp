#include "frontend/startup.h"

#include "board/board.h"
#include "frontend/config.h"
#include "frontend/hooks.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/timecontrol.h"
#include "search/transposition.h"

void start_engine(Position* pos, bool search_tables)
{
    // The evaluation tables build the bitboard tables first; the hash keys
    // take the first random draws and the pawn hash's keys the next ones.
    init_eval_tables();
    set_hash_sizes(hash_total_bytes);
    if (search_tables) {
        init_hash_keys();
        alloc_hash_table();
        alloc_pawn_and_eval_cache();
    } else {
        init_zobrist_keys();
    }
    install_search_hooks();
    setup_new_game(pos);
    own_clock = 30000;
}
