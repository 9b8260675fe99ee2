// Shared by the table tests: scratch directories, whole-file reads, the
// generated three-man tables (computed once per process) and a way to see
// what the fatal registration paths print.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/tb_encoder.h"
#include "tests/tb_generator.h"

namespace tbtest {

inline bool sanitized_run()
{
    const char* v = std::getenv("QUARVEL_SANITIZED");
    return v && *v && *v != '0';
}

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

inline std::vector<uint8_t> read_file(const std::string& name)
{
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(name.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;)
            bytes.push_back(uint8_t(c));
        std::fclose(f);
    }
    return bytes;
}

// A file of the given length that takes no room on disk.
inline bool make_sparse_file(const std::string& name, off_t length)
{
    return tbgen::write_file(name, {}) && truncate(name.c_str(), length) == 0;
}

// Tables are solved on first use only: kpk needs kqk and krk.
struct GeneratedTables {
    tbgen::Table* by_id[6] = {};
    std::vector<uint8_t> bytes[6][2];
    tbgen::Table& table(int id)
    {
        if (!by_id[id]) {
            const tbgen::Table* queen = id == 1 ? &table(5) : nullptr;
            const tbgen::Table* rook = id == 1 ? &table(4) : nullptr;
            by_id[id] = new tbgen::Table(tbgen::solve(id == 1   ? PAWN
                                                      : id == 4 ? ROOK
                                                                : QUEEN,
                                                      queen, rook));
            for (int side = 0; side < 2; ++side)
                bytes[id][side] = tbgen::table_bytes(*by_id[id], side);
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
                tbgen::write_file(base, bytes);
            if (compressed)
                tbgen::write_file(base + ".emd", tbenc::encode(bytes, options));
        }
}

// Standard output goes to standard error inside a death test, where gtest
// can match it.
inline void stdout_to_stderr()
{
    std::fflush(stdout);
    dup2(2, 1);
}

} // namespace tbtest
