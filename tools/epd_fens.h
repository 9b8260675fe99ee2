// Position lists for tests and benchmarks: the FEN (first four fields) of
// every line of an EPD or perft file, whatever operations follow it.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::vector<std::string> read_epd_fens(const std::string& path)
{
    std::vector<std::string> fens;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line.substr(0, line.find(';')));
        std::string fen, word;
        for (int i = 0; i < 4 && fields >> word; ++i)
            fen += (i ? " " : "") + word;
        if (!fen.empty())
            fens.push_back(fen);
    }
    return fens;
}
