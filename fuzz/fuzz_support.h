// Shared pieces of the fuzz targets: the engine's start-up tables, a quiet
// standard output, and the exit hook.
//
// The targets link with -Wl,--wrap=exit, so every exit() of the engine comes
// here. Inside fuzz_run_allowing_exit an exit the engine is meant to take
// (end of input, "quit", a broken book or table file) returns to the target
// with its code; any other exit aborts, which libFuzzer reports as a finding.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <dirent.h>
#include <unistd.h>

#include "board/board.h"
#include "board/invariants.h"
#include "frontend/config.h"
#include "frontend/startup.h"

extern "C" [[noreturn]] void __real_exit(int code);

inline std::jmp_buf fuzz_exit_jump;
inline bool fuzz_exit_armed = false;
inline int fuzz_exit_code = -1;

extern "C" [[noreturn]] void __wrap_exit(int code)
{
    if (fuzz_exit_armed) {
        fuzz_exit_armed = false;
        fuzz_exit_code = code;
        std::longjmp(fuzz_exit_jump, 1);
    }
    __real_exit(code);
}

// Runs body(); returns -1 when it returned, else the code it exited with.
template <typename Body>
int fuzz_run_allowing_exit(Body body)
{
    fuzz_exit_code = -1;
    if (setjmp(fuzz_exit_jump) == 0) {
        fuzz_exit_armed = true;
        body();
    }
    fuzz_exit_armed = false;
    return fuzz_exit_code;
}

// A finding: print why and abort so that libFuzzer keeps the input.
[[noreturn]] inline void fuzz_fail(const char* what, const char* detail = "")
{
    std::fprintf(stderr, "FUZZ FINDING: %s %s\n", what, detail);
    std::abort();
}

// A position whose kept values disagree with the board is a finding; the
// report names the first value that does.
inline void fuzz_check_position(const Position* pos, const char* where)
{
    if (const char* fault = position_fault(pos)) {
        std::fprintf(stderr, "FUZZ FINDING: %s wrong %s\n", fault, where);
        std::abort();
    }
}

// Standard output as a stream in memory: the engine flushes every line, and
// a system call per line (even to /dev/null) would cost more than the code
// under test. What it writes is dropped, or kept while fuzz_output_kept is
// set, for a target that reads the engine's answers.
inline std::string fuzz_output;
inline bool fuzz_output_kept = false;

inline void fuzz_quiet_stdout()
{
    cookie_io_functions_t io = {};
    io.write = [](void*, const char* bytes, size_t size) -> ssize_t {
        if (fuzz_output_kept)
            fuzz_output.append(bytes, size);
        return ssize_t(size);
    };
    FILE* stream = fopencookie(nullptr, "w", io);
    if (stream == nullptr)
        std::abort();
    // The descriptor stays open on /dev/null, so that no file the process
    // opens later is given number 1.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    stdout = stream;
}

// The engine's start-up, once per process, as the program makes it (tables,
// keys and the search's calls into the front end, such as its input polls);
// standard output goes nowhere (libFuzzer reports on standard error).
inline Position* fuzz_engine_start(int hash_bytes = 1 << 20)
{
    fuzz_quiet_stdout();
    Position* pos = create_position();
    hash_total_bytes = hash_bytes;
    start_engine(pos, true);
    return pos;
}

// The bytes as a terminated text; a zero byte ends it early, as in a C string.
inline std::string fuzz_text(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size).c_str();
}

// A private scratch folder for the targets that read and write files, in
// memory where the system offers it (the disk would add a write-back to
// every input), removed with its files when the process ends.
inline char fuzz_scratch[4096]; // plain bytes: still there when exit handlers run

inline const char* fuzz_scratch_folder()
{
    if (fuzz_scratch[0] != 0)
        return fuzz_scratch;
    const char* tmp = std::getenv("TMPDIR");
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : tmp ? tmp : "/tmp";
    std::snprintf(fuzz_scratch, sizeof fuzz_scratch, "%s/quarvel-fuzz-XXXXXX", base);
    if (mkdtemp(fuzz_scratch) == nullptr)
        fuzz_fail("cannot make a scratch folder", fuzz_scratch);
    std::atexit([] {
        if (DIR* dir = opendir(fuzz_scratch)) {
            while (dirent* e = readdir(dir))
                if (e->d_name[0] != '.')
                    std::remove((std::string(fuzz_scratch) + "/" + e->d_name).c_str());
            closedir(dir);
        }
        rmdir(fuzz_scratch);
    });
    return fuzz_scratch;
}

// A scratch file of that name holding the bytes.
inline std::string fuzz_write_file(const char* name, const uint8_t* data, size_t size)
{
    const std::string path = std::string(fuzz_scratch_folder()) + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
        fuzz_fail("cannot write scratch file", path.c_str());
    return path;
}
