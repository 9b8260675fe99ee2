// The generated three-man tables (solved once per process) written out as
// raw or compressed table files into scratch directories, for the table
// tests and the table benchmark.
#pragma once

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

// Tables are solved on first use only: kpk needs kqk and krk.
struct GeneratedTables {
    Table* by_id[6] = {};
    std::vector<uint8_t> bytes[6][2];
    Table& table(int id)
    {
        if (!by_id[id]) {
            const Table* queen = id == 1 ? &table(5) : nullptr;
            const Table* rook = id == 1 ? &table(4) : nullptr;
            by_id[id] = new Table(solve(id == 1 ? PAWN : id == 4 ? ROOK : QUEEN, queen, rook));
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
