// Tablebase probe front: the switches and statistics the search and the
// front end use. No table files are registered by this build, so the probe
// never finds a position and the search never reaches it (tb_max_men is 0).
#include "tablebases/tbprobe.h"

#include "board/output.h"

int tb_enabled = 1;
int tb_max_men = 0;
uint32_t tb_probes = 0;
uint32_t tb_hits = 0;

int init_tablebases(const char* path_list)
{
    (void)path_list;
    return 0;
}

int set_tb_cache(void* buffer, unsigned bytes)
{
    (void)buffer;
    if (bytes < 32)
        return 0;
    return 1;
}

void reset_tb_cache() {}

void close_table_files() {}

int probe_tablebases(Position* pos, int* score)
{
    (void)pos;
    (void)score;
    tb_probes++;
    return 0;
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
