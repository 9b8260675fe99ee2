// A compressor for the block format the table reader decodes, written from
// the format's description alone: header and block index with its check
// value, one canonical Huffman code per file whose lengths are stored in the
// two-level form, and blocks of literals and matches over 24 distances.
// Blocks that do not shrink are stored.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <queue>
#include <vector>

#include "tablebases/datacomp.h"

namespace tbenc {

// The common reflected CRC-32 register update without inversions, applied
// to every byte XOR 0xFF.
inline uint32_t check_value(const uint8_t* bytes, size_t length, uint32_t crc = 0)
{
    for (size_t i = 0; i < length; ++i) {
        crc ^= uint32_t(bytes[i] ^ 0xFF);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

struct BitWriter {
    std::vector<uint8_t> bytes;
    int used = 0; // bits used in the last byte
    void put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i, used = (used + 1) & 7) {
            if (used == 0)
                bytes.push_back(0);
            if ((value >> i) & 1)
                bytes.back() |= uint8_t(0x80 >> used);
        }
    }
};

// Code lengths from symbol frequencies, at most `limit` bits (halving the
// frequencies until they fit); a lone used symbol gets length 1.
inline std::vector<uint8_t> huffman_lengths(std::vector<uint64_t> freq, int limit)
{
    const int n = int(freq.size());
    std::vector<uint8_t> lengths(n, 0);
    for (;;) {
        using Node = std::pair<uint64_t, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
        for (int s = 0; s < n; ++s)
            if (freq[s])
                heap.push({freq[s], s});
        if (heap.size() <= 1) {
            if (!heap.empty())
                lengths[heap.top().second] = 1;
            return lengths;
        }
        std::vector<int> parent(2 * n, -1);
        for (int next = n; heap.size() > 1; ++next) {
            Node a = heap.top();
            heap.pop();
            Node b = heap.top();
            heap.pop();
            parent[a.second] = parent[b.second] = next;
            heap.push({a.first + b.first, next});
        }
        int longest = 0;
        for (int s = 0; s < n; ++s)
            if (freq[s]) {
                int depth = 0;
                for (int p = s; parent[p] >= 0; p = parent[p])
                    ++depth;
                lengths[s] = uint8_t(std::min(depth, 255));
                longest = std::max(longest, depth);
            }
        if (longest <= limit)
            return lengths;
        for (auto& f : freq)
            f = (f + 1) / 2;
    }
}

// Canonical codes (shorter first, then by symbol); a code with one used
// symbol writes no bits.
struct Code {
    std::vector<uint8_t> lengths;
    std::vector<uint32_t> codes;
    bool silent;
    explicit Code(const std::vector<uint8_t>& l)
        : lengths(l), codes(l.size()),
          silent(std::count_if(l.begin(), l.end(), [](uint8_t x) { return x; }) == 1)
    {
        uint32_t code = 0;
        for (int length = 1; length <= 31; ++length, code <<= 1)
            for (size_t s = 0; s < l.size(); ++s)
                if (l[s] == length)
                    codes[s] = code++;
    }
    void put(BitWriter& w, int symbol) const
    {
        if (!silent)
            w.put(codes[symbol], lengths[symbol]);
    }
};

inline bool all_zero(const std::vector<uint8_t>& v)
{
    return std::all_of(v.begin(), v.end(), [](uint8_t x) { return x == 0; });
}

// Up to 128 lengths: flag, width 5, each length, a 4-bit count of further
// zeros after every zero.
inline void write_small_lengths(BitWriter& w, const std::vector<uint8_t>& lengths)
{
    w.put(all_zero(lengths), 1);
    if (all_zero(lengths))
        return;
    w.put(5, 5);
    for (size_t i = 0; i < lengths.size();) {
        w.put(lengths[i], 5);
        if (lengths[i++] != 0)
            continue;
        int zeros = 0;
        while (zeros < 15 && i + zeros < lengths.size() && lengths[i + zeros] == 0)
            ++zeros;
        w.put(uint32_t(zeros), 4);
        i += size_t(zeros);
    }
}

// The 1024 main-code lengths in the two-level form: a symbol per length or
// run (runs 2..33 in the second symbol, longer ones with extra bits).
inline void write_main_lengths(BitWriter& w, const std::vector<uint8_t>& lengths)
{
    w.put(all_zero(lengths), 1);
    if (all_zero(lengths))
        return;
    struct Item {
        int a, b, extra_bits;
        uint32_t extra;
    };
    std::vector<Item> items;
    std::vector<uint64_t> fa(64, 0), fb(64, 0);
    for (size_t i = 0, run; i < lengths.size(); i += run) {
        for (run = 1; i + run < lengths.size() && lengths[i + run] == lengths[i];)
            ++run;
        const uint32_t rest = uint32_t(run - 33);
        int k = 0;
        while (run > 33 && (rest >> (k + 1)) != 0)
            ++k;
        items.push_back(run < 2     ? Item{lengths[i], -1, 0, 0}
                        : run <= 33 ? Item{32 + lengths[i], int(run) - 2, 0, 0}
                                    : Item{32 + lengths[i], 32 + k, k, rest - (1u << k)});
        ++fa[items.back().a];
        if (items.back().b >= 0)
            ++fb[items.back().b];
    }
    std::vector<uint8_t> la = huffman_lengths(fa, 31), lb = huffman_lengths(fb, 31), both(la);
    both.insert(both.end(), lb.begin(), lb.end());
    write_small_lengths(w, both);
    const Code ca(la), cb(lb);
    for (const Item& it : items) {
        ca.put(w, it.a);
        if (it.b >= 0) {
            cb.put(w, it.b);
            w.put(it.extra, it.extra_bits);
        }
    }
}

struct Options {
    int block_bits = 13;
    bool matches = true;
    int distances[DATACOMP_DISTANCES] = {1,  2,  3,  4,  5,  6,   7,   8,   9,    10,   12,   16,
                                         24, 32, 48, 64, 96, 128, 256, 512, 1024, 2048, 4096, 8191};
};

struct Token {
    int symbol, extra_bits;
    uint32_t extra;
};

// Literals and greedy longest matches (at least 3 bytes) of one block.
inline std::vector<Token> tokenize(const uint8_t* data, int size, const Options& o)
{
    std::vector<Token> tokens;
    for (int pos = 0; pos < size;) {
        int best_length = 0, best_number = 0;
        for (int d = 0; o.matches && d < DATACOMP_DISTANCES; ++d) {
            const int distance = o.distances[d];
            int length = 0;
            while (distance > 0 && distance <= pos && pos + length < size && length < 4000 &&
                   data[pos + length] == data[pos + length - distance])
                ++length;
            if (length > best_length)
                best_length = length, best_number = d;
        }
        if (best_length < 3) {
            tokens.push_back({data[pos++], 0, 0});
            continue;
        }
        int k = 1;
        while ((1 << (k + 1)) + 13 < best_length)
            ++k;
        const int base = 256 + best_number * 32;
        tokens.push_back(best_length <= 15
                             ? Token{base + best_length - 1, 0, 0}
                             : Token{base + 14 + k, k, uint32_t(best_length - (1 << k) - 14)});
        pos += best_length;
    }
    return tokens;
}

inline void put_be32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(v >> (24 - 8 * i));
}

// The whole compressed file for `data`.
inline std::vector<uint8_t> encode(const std::vector<uint8_t>& data, const Options& o = Options())
{
    const size_t block_size = size_t(1) << o.block_bits;
    const int n = int((data.size() + block_size - 1) / block_size);
    auto size_of = [&](int i) {
        return int(std::min(block_size, data.size() - size_t(i) * block_size));
    };
    std::vector<std::vector<Token>> blocks;
    std::vector<uint64_t> freq(DATACOMP_SYMBOLS, 0);
    for (int i = 0; i < n; ++i) {
        blocks.push_back(tokenize(data.data() + size_t(i) * block_size, size_of(i), o));
        for (const Token& t : blocks.back())
            ++freq[t.symbol];
    }
    const std::vector<uint8_t> lengths = huffman_lengths(freq, 31);
    const Code code(lengths);
    std::vector<std::vector<uint8_t>> payload;
    for (int i = 0; i < n; ++i) {
        BitWriter w;
        for (const Token& t : blocks[i]) {
            code.put(w, t.symbol);
            w.put(t.extra, t.extra_bits);
        }
        if (w.bytes.empty())
            w.bytes.push_back(0);
        const auto start = data.begin() + long(size_t(i) * block_size);
        payload.push_back(int(w.bytes.size()) >= size_of(i)
                              ? std::vector<uint8_t>(start, start + size_of(i))
                              : w.bytes);
    }
    BitWriter index;
    const uint32_t mask = uint32_t(block_size) - 1;
    for (int i = 0; i < n; ++i)
        index.put(uint32_t(payload[i].size()) & mask, o.block_bits);
    index.put(uint32_t(size_of(n - 1)) & mask, o.block_bits);
    for (int d = 0; d < DATACOMP_DISTANCES; ++d)
        index.put(uint32_t(o.distances[d]) & mask, o.block_bits);
    index.used = 0;
    write_main_lengths(index, lengths);

    std::vector<uint8_t> out(80 + 8 * size_t(n), 0);
    std::memcpy(out.data(), DATACOMP_BANNER, 64);
    out[70] = uint8_t(o.block_bits);
    out[71] = DATACOMP_DISTANCES;
    put_be32(out, 72, uint32_t(n));
    put_be32(out, 76, DATACOMP_HEADER_WORD);
    out.insert(out.end(), index.bytes.begin(), index.bytes.end());
    out.resize(out.size() + 4);
    put_be32(out, 64, uint32_t(out.size()));
    put_be32(out, out.size() - 4, check_value(out.data(), out.size() - 4));
    for (const auto& p : payload)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Recomputes the header check value after a test changed header bytes.
inline void reseal(std::vector<uint8_t>& file)
{
    const uint32_t d = (uint32_t(file[64]) << 24) | (uint32_t(file[65]) << 16) |
                       (uint32_t(file[66]) << 8) | file[67];
    if (d >= 84 && d <= file.size())
        put_be32(file, d - 4, check_value(file.data(), d - 4));
}

} // namespace tbenc
