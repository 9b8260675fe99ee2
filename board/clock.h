// Wall clock and CPU time in centiseconds, and the fixed text formats.
#pragma once

#include <cstdint>

#include "board/position.h"

u32 get_time_cs();
u32 get_elapsed_cs(const Position* pos);
int get_cpu_time_cs();
const char* format_time(u32 start, u32 end);
double compute_percent(unsigned a, unsigned b);
char* format_size(char* buffer, int64_t bytes);
char* format_score(char* buffer, int score);
