// Shared helpers of the book tests: one-time table set-up, a private working
// directory per test (the builder's temporary files live in the current
// directory), and an independent little-endian reader and writer of book
// files so that the book code is checked against the byte layout itself.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "book/book.h"

inline void book_tests_init()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    init_bitboard_tables();
    init_hash_keys();
}

inline bool book_tests_sanitized()
{
    const char* v = getenv("QUARVEL_SANITIZED");
    return v && *v && strcmp(v, "0") != 0;
}

// A fresh directory under /tmp; the test changes into it and back.
struct ScratchDir {
    std::string path;
    std::string previous;
    ScratchDir()
    {
        char name[] = "/tmp/quarvel-book-XXXXXX";
        path = mkdtemp(name);
        char cwd[4096];
        previous = getcwd(cwd, sizeof cwd) ? cwd : "/tmp";
        if (chdir(path.c_str()) != 0)
            abort();
    }
    ~ScratchDir()
    {
        if (chdir(previous.c_str()) != 0)
            abort();
        for (const std::string& f : files())
            remove((path + "/" + f).c_str());
        rmdir(path.c_str());
    }
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* e = readdir(dir))
                if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                    names.push_back(e->d_name);
            closedir(dir);
        }
        return names;
    }
    std::string file(const char* name) const { return path + "/" + name; }
};

struct RawEntry {
    uint64_t key = 0;
    uint32_t played = 0, white_wins = 0, black_wins = 0, draws = 0;
    uint32_t learn = 50000, flags = 0;
};

struct RawBook {
    std::string version;
    std::string created;
    int32_t entry_count = 0;
    int32_t depth = 0;
    std::vector<RawEntry> entries;   // every whole entry present in the file
};

inline uint32_t raw_u32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void raw_put(std::string* out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out->push_back(char((v >> (8 * i)) & 255));
}

inline bool read_raw_book(const std::string& name, RawBook* book)
{
    FILE* f = fopen(name.c_str(), "rb");
    if (!f)
        return false;
    std::string data;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        data.append(buffer, n);
    fclose(f);
    if (data.size() < 68)
        return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
    book->version.assign(reinterpret_cast<const char*>(p), strnlen(data.data(), 32));
    book->created.assign(data.data() + 32, strnlen(data.data() + 32, 28));
    book->entry_count = int32_t(raw_u32(p + 60));
    book->depth = int32_t(raw_u32(p + 64));
    book->entries.clear();
    for (size_t at = 68; at + 32 <= data.size(); at += 32) {
        RawEntry e;
        e.key = raw_u32(p + at) | uint64_t(raw_u32(p + at + 4)) << 32;
        e.played = raw_u32(p + at + 8);
        e.white_wins = raw_u32(p + at + 12);
        e.black_wins = raw_u32(p + at + 16);
        e.draws = raw_u32(p + at + 20);
        e.learn = raw_u32(p + at + 24);
        e.flags = raw_u32(p + at + 28);
        book->entries.push_back(e);
    }
    return true;
}

constexpr int32_t RAW_REAL_COUNT = INT32_MIN;

// The bytes of a book file, by default with the real number of entries.
inline std::string raw_book_bytes(const std::vector<RawEntry>& entries, const char* version = "0.3",
                                  int32_t count = RAW_REAL_COUNT, int32_t depth = 10)
{
    std::string out(68, '\0');
    memcpy(&out[0], version, strnlen(version, 32));
    memcpy(&out[32], "Mon Jan  1 00:00:00 2024", 24);
    std::string tail;
    raw_put(&tail, uint32_t(count == RAW_REAL_COUNT ? int32_t(entries.size()) : count));
    raw_put(&tail, uint32_t(depth));
    out.replace(60, 8, tail);
    for (const RawEntry& e : entries) {
        raw_put(&out, uint32_t(e.key));
        raw_put(&out, uint32_t(e.key >> 32));
        raw_put(&out, e.played);
        raw_put(&out, e.white_wins);
        raw_put(&out, e.black_wins);
        raw_put(&out, e.draws);
        raw_put(&out, e.learn);
        raw_put(&out, e.flags);
    }
    return out;
}

inline void write_file(const std::string& name, const std::string& bytes)
{
    FILE* f = fopen(name.c_str(), "wb");
    if (!f)
        abort();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// The key of the position after playing SAN moves from the start position.
inline uint64_t key_after(const std::vector<const char*>& moves)
{
    book_tests_init();
    Position* pos = create_position();
    setup_new_game(pos);
    for (const char* text : moves) {
        Move m = parse_move(pos, text);
        if (m == 0)
            abort();
        make_move(pos, m);
    }
    uint64_t key = *pos->key_top;
    destroy_position(pos);
    return key;
}
