// Milliseconds from starting an engine to its "uciok", and from "uciok" to
// "readyok" after "setoption name Hash value MB". Timed here, not by a shell,
// whose own process starts cost more than the engine's start-up.
// Usage: startup ENGINE [MB]   prints: UCIOK_MS READYOK_MS
#include <chrono>
#include <cstdio>
#include <string>

#include "tools/helpers/engine_process.h"

namespace {

double ms_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup ENGINE [MB]\n");
        return 2;
    }
    const std::string mb = argc > 2 ? argv[2] : "2047";
    EngineProcess engine;
    const auto start = std::chrono::steady_clock::now();
    if (!process_start(&engine, argv[1], {}) || !process_send(&engine, "uci") ||
        !process_expect_line(&engine, "uciok", 10000)) {
        std::fprintf(stderr, "startup: no uciok from %s\n", argv[1]);
        return 1;
    }
    const double uciok = ms_since(start);
    const auto asked = std::chrono::steady_clock::now();
    process_send(&engine, "setoption name Hash value " + mb);
    process_send(&engine, "isready");
    if (!process_expect_line(&engine, "readyok", 60000)) {
        std::fprintf(stderr, "startup: no readyok from %s\n", argv[1]);
        return 1;
    }
    const double readyok = ms_since(asked);
    process_send(&engine, "quit");
    process_wait_exit(&engine, 10000);
    std::printf("%.1f %.1f\n", uciok, readyok);
    return 0;
}
