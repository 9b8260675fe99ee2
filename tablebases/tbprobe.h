// Endgame tablebase probe interface. This build registers no tables:
// init_tablebases finds none, so tb_max_men stays 0 and the search never
// reaches probe_tablebases.
#pragma once

#include <cstdint>

struct Position;

extern int tb_enabled;          // option -x clears it
extern int tb_max_men;          // largest registered table in men; 0 = none
extern uint32_t tb_probes;
extern uint32_t tb_hits;

int init_tablebases(const char* path_list);
int set_tb_cache(void* buffer, unsigned bytes);
void reset_tb_cache();
void close_table_files();
int probe_tablebases(Position* pos, int* score);
void print_tb_stats();
void reset_tb_stats();
