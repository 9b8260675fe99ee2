// Shared helpers of the book tests: a fixture with the tables set up and a
// private working directory (the builder's temporary files live in the
// current directory), and an independent little-endian reader and writer of
// book files, so the book code is checked against the byte layout itself.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "tests/helpers/engine_state.h"

// A fresh directory under /tmp; the test changes into it and back.
struct ScratchDir {
    std::filesystem::path previous = std::filesystem::current_path();
    std::string path;
    ScratchDir()
    {
        char name[] = "/tmp/quarvel-book-XXXXXX";
        path = mkdtemp(name);
        std::filesystem::current_path(path);
    }
    ~ScratchDir()
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(path);
    }
    // Files other than `allowed`: temporary files left behind.
    std::vector<std::string> strays(const std::set<std::string>& allowed) const
    {
        std::vector<std::string> out;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            if (!allowed.count(entry.path().filename()))
                out.push_back(entry.path().filename());
        return out;
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// Tables set up once; each test runs in its own scratch directory.
struct BookTest : ::testing::Test {
    BookTest()
    {
        [[maybe_unused]] static const bool once =
            (init_bitboard_tables(), restart_random_sequence(), init_hash_keys(), true);
    }
    ScratchDir dir;
};

struct RawEntry {
    uint64_t key = 0;
    uint32_t played = 0, white_wins = 0, black_wins = 0, draws = 0;
    uint32_t learn = 50000, flags = 0;
    bool operator==(const RawEntry&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const RawEntry& e)
{
    return os << std::hex << e.key << std::dec << ": " << e.played << " " << e.white_wins << "/"
              << e.black_wins << "/" << e.draws << " learn " << e.learn << " flags " << e.flags;
}

struct RawBook {
    std::string version, created;
    int32_t entry_count = 0, depth = 0;
    std::vector<RawEntry> entries; // every whole entry present in the file
};

inline std::string read_text(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary) << bytes;
}

inline uint32_t raw_u32(const std::string& data, size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + at;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline bool read_raw_book(const std::string& name, RawBook* book)
{
    const std::string data = read_text(name);
    if (data.size() < 68)
        return false;
    book->version.assign(data.data(), strnlen(data.data(), 32));
    book->created.assign(data.data() + 32, strnlen(data.data() + 32, 28));
    book->entry_count = int32_t(raw_u32(data, 60));
    book->depth = int32_t(raw_u32(data, 64));
    book->entries.clear();
    for (size_t at = 68; at + 32 <= data.size(); at += 32)
        book->entries.push_back({raw_u32(data, at) | uint64_t(raw_u32(data, at + 4)) << 32,
                                 raw_u32(data, at + 8), raw_u32(data, at + 12),
                                 raw_u32(data, at + 16), raw_u32(data, at + 20),
                                 raw_u32(data, at + 24), raw_u32(data, at + 28)});
    return true;
}

// The bytes of a book file; INT32_MIN: the header holds the real number of entries.
inline std::string raw_book_bytes(const std::vector<RawEntry>& entries, const char* version = "0.3",
                                  int32_t count = INT32_MIN)
{
    std::string out(60, '\0');
    memcpy(&out[0], version, strnlen(version, 32));
    memcpy(&out[32], "Mon Jan  1 00:00:00 2024", 24);
    auto put = [&out](uint32_t v) {
        for (int i = 0; i < 4; i++)
            out.push_back(char((v >> (8 * i)) & 255));
    };
    put(uint32_t(count == INT32_MIN ? int32_t(entries.size()) : count));
    put(10);
    for (const RawEntry& e : entries)
        for (uint32_t v : {uint32_t(e.key), uint32_t(e.key >> 32), e.played, e.white_wins,
                           e.black_wins, e.draws, e.learn, e.flags})
            put(v);
    return out;
}

// The key of the position after SAN moves from the start (tables set up first).
inline uint64_t key_after(const std::vector<const char*>& moves)
{
    OwnedPosition pos = create_position();
    setup_new_game(pos);
    for (const char* text : moves)
        if (Move m = parse_move(pos, text))
            make_move(pos, m);
        else
            abort();
    const uint64_t key = *pos->key_top;
    return key;
}
