// Shared by the table tests: whole-file reads, sparse files, the generated
// three-man tables and their scratch directories (from tools/tb_files.h), and
// a way to see what the fatal registration paths print.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/tb_files.h"

namespace tbtest {

inline bool sanitized_run()
{
    const char* v = std::getenv("QUARVEL_SANITIZED");
    return v && *v && *v != '0';
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

using tbgen::generated_tables;
using tbgen::GeneratedTables;
using tbgen::make_scratch_dir;
using tbgen::remove_dir;
using tbgen::write_tables;

// Standard output goes to standard error inside a death test, where gtest
// can match it.
inline void stdout_to_stderr()
{
    std::fflush(stdout);
    dup2(2, 1);
}

} // namespace tbtest
