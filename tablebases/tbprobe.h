// Endgame tablebase probe: the switches and statistics that the search and
// the front end use, table registration from a list of directories, the
// block cache size, and the probe that turns a table value into a score.
#pragma once

#include <cstdint>

struct Position;

extern int tb_enabled; // option -x clears it
extern int tb_max_men; // largest registered table in men; 0 = none
extern uint32_t tb_probes;
extern uint32_t tb_hits;

// Registers the table files found in the directories of path_list
// (separated by "," or ";"); returns the largest table size in men, 0 when
// none was found.
int init_tablebases(const char* path_list);
// Carves the block cache out of buffer; 0 when bytes < 32.
int set_tb_cache(void* buffer, unsigned bytes);
void reset_tb_cache();
void close_table_files();
// 1 with *score set (mate distances from this position) when the position
// is in a registered table and its value could be read, else 0.
int probe_tablebases(Position* pos, int* score);
void print_tb_stats();
void reset_tb_stats();
