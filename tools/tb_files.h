// The generated three-man tables (solved once per process) written out as
// raw or compressed table files into scratch directories, for the table
// tests and the table benchmark.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/tb_encoder.h"
#include "tools/tb_generator.h"

namespace tbgen {

inline std::string make_scratch_dir(const char* tag)
{
    std::string pattern = std::string("/tmp/quarvel_tb_") + tag + "_XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

inline void remove_dir(const std::string& dir)
{
    if (std::system(("rm -rf '" + dir + "'").c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dir.c_str());
}

// The test programs keep the solved tables between their processes, in the
// directory QUARVEL_TABLE_CACHE: every test case is a process of its own,
// and solving costs far more than most cases. A kept table belongs to the
// program that solved it (size and date of the executable), so a rebuilt
// generator never reads an older one.
inline std::string table_cache_dir()
{
#ifdef QUARVEL_TABLE_CACHE
    return QUARVEL_TABLE_CACHE;
#else
    return "";
#endif
}

inline std::string cached_table_name(int id)
{
    const std::string dir = table_cache_dir();
    struct stat st;
    if (dir.empty() || stat("/proc/self/exe", &st) != 0)
        return "";
    return dir + "/" + MATERIAL_ROWS[id].name + "-" + std::to_string(st.st_size) + "-" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

inline int kind_of_table(int id)
{
    return id == 1 ? PAWN : id == 4 ? ROOK : QUEEN;
}

// Two bytes a position: outcome, plies. (The conflicts are counted when the
// table's bytes are made.)
inline bool load_cached_table(int id, Table* table)
{
    const std::string name = cached_table_name(id);
    std::vector<uint8_t> bytes;
    if (FILE* f = name.empty() ? nullptr : std::fopen(name.c_str(), "rb")) {
        bytes.resize(2 * POSITION_COUNT + 1);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
    }
    if (bytes.size() != 2 * POSITION_COUNT)
        return false;
    table->id = id;
    table->kind = kind_of_table(id);
    for (int n = 0; n < POSITION_COUNT; ++n)
        table->values[n] = Value{bytes[2 * n], bytes[2 * n + 1]};
    return true;
}

// Written under a name of its own, then renamed: processes solving at the
// same moment never read a half-written table.
inline void save_cached_table(int id, const Table& table)
{
    const std::string name = cached_table_name(id);
    if (name.empty())
        return;
    std::vector<uint8_t> bytes;
    for (const Value& v : table.values)
        bytes.insert(bytes.end(), {v.outcome, v.plies});
    const std::string dir = table_cache_dir();
    mkdir(dir.c_str(), 0755);
    // Tables an earlier build kept are of no more use.
    if (DIR* d = opendir(dir.c_str())) {
        const std::string head = std::string(MATERIAL_ROWS[id].name) + "-";
        while (const dirent* e = readdir(d)) {
            const std::string other = dir + "/" + e->d_name;
            if (other.rfind(dir + "/" + head, 0) == 0 && other.rfind(name, 0) != 0)
                unlink(other.c_str());
        }
        closedir(d);
    }
    const std::string part = name + ".part" + std::to_string(getpid());
    if (!write_file(part, bytes) || std::rename(part.c_str(), name.c_str()) != 0)
        unlink(part.c_str());
}

// Tables are solved on first use only: kpk needs kqk and krk.
struct GeneratedTables {
    Table* by_id[6] = {};
    std::vector<uint8_t> bytes[6][2];
    Table& table(int id)
    {
        if (!by_id[id]) {
            by_id[id] = new Table;
            if (!load_cached_table(id, by_id[id])) {
                const Table* queen = id == 1 ? &table(5) : nullptr;
                const Table* rook = id == 1 ? &table(4) : nullptr;
                *by_id[id] = solve(kind_of_table(id), queen, rook);
                save_cached_table(id, *by_id[id]);
            }
            for (int side = 0; side < 2; ++side)
                bytes[id][side] = table_bytes(*by_id[id], side);
        }
        return *by_id[id];
    }
    const std::vector<uint8_t>& side_bytes(int id, int side) { return table(id), bytes[id][side]; }
};

inline GeneratedTables& generated_tables()
{
    static GeneratedTables tables;
    return tables;
}

// Writes the generated tables into dir as raw files, compressed files or both.
inline void write_tables(const std::string& dir, bool raw, bool compressed,
                         const tbenc::Options& options = {})
{
    for (int id : {1, 4, 5})
        for (int side = 0; side < 2; ++side) {
            const std::string base = dir + "/" + MATERIAL_ROWS[id].name + (side ? ".nbb" : ".nbw");
            const std::vector<uint8_t>& bytes = generated_tables().side_bytes(id, side);
            if (raw)
                write_file(base, bytes);
            if (compressed)
                write_file(base + ".emd", tbenc::encode(bytes, options));
        }
}

} // namespace tbgen
