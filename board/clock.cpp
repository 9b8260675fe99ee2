// Clocks in centiseconds and the fixed text formats for times, sizes and
// scores.
#include "board/clock.h"

#include <cstdio>
#include <ctime>

namespace {

int64_t monotonic_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The wall clock counts from process start in 64-bit milliseconds, so its
// centisecond value cannot wrap within any realistic run.
const int64_t process_start_ms = monotonic_ms();

} // namespace

u32 get_time_cs()
{
    return u32((monotonic_ms() - process_start_ms) / 10);
}

u32 get_elapsed_cs(const Position* pos)
{
    return get_time_cs() - u32(pos->search_start);
}

int get_cpu_time_cs()
{
    timespec ts;
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) == 0)
        return int(int64_t(ts.tv_sec) * 100 + ts.tv_nsec / 10000000);
    return int(int64_t(clock()) * 100 / CLOCKS_PER_SEC);
}

const char* format_time(u32 start, u32 end)
{
    static char buffer[32];
    u32 span = end - start;
    u32 seconds = span / 100;
    if (seconds < 60)
        snprintf(buffer, sizeof buffer, "%u.%02u", seconds, span % 100);
    else
        snprintf(buffer, sizeof buffer, "%u:%02u", span / 6000, seconds % 60);
    return buffer;
}

double compute_percent(unsigned a, unsigned b)
{
    if (b == 0)
        return 0;
    return double(a) / double(b) * 100;
}

char* format_size(char* buffer, int64_t bytes)
{
    if (bytes >= 1048576)
        sprintf(buffer, "%dM", int(bytes >> 20));
    else if (bytes >= 1024)
        sprintf(buffer, "%dK", int(bytes >> 10));
    else
        sprintf(buffer, "%d", int(bytes));
    return buffer;
}

char* format_score(char* buffer, int score)
{
    if (score > 30000)
        sprintf(buffer, "#%02d", (32768 - score) / 2);
    else if (score < -30000)
        sprintf(buffer, "-#%02d", (score + 32768) / 2);
    else
        sprintf(buffer, "%.2f", score / 100.0);
    return buffer;
}
