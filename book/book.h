// Opening book: file records, lookup, move choice, learning and the builder.
//
// This build carries no book support yet: open_book opens nothing and leaves
// the book off, choose_book_move answers no move, learning and building do
// nothing. The names, records and signatures are those the front end and the
// later book code share.
#pragma once

#include <cstdint>
#include <cstdio>

#include "board/position.h"

constexpr int BOOK_HEADER_SIZE = 68;
constexpr int BOOK_ENTRY_SIZE = 32;
constexpr int BOOK_CACHE_SLOTS = 10000;
constexpr int BOOK_SCAN_LIMIT = 512;
constexpr std::uint32_t BOOK_LEARN_UNIT = 50000;

// In-memory forms of the little-endian file records.
struct BookHeader {
    char version[32];       // "0.3"
    char created[28];       // ctime text without its line break
    std::int32_t entry_count;
    std::int32_t depth;
};
static_assert(sizeof(BookHeader) == BOOK_HEADER_SIZE, "BookHeader mirrors the 68-byte header");

struct BookEntry {
    std::uint32_t key_low;
    std::uint32_t key_high;
    std::uint32_t played;
    std::uint32_t white_wins;
    std::uint32_t black_wins;
    std::uint32_t draws;
    std::uint32_t learn;
    std::uint32_t flags;
};
static_assert(sizeof(BookEntry) == BOOK_ENTRY_SIZE, "BookEntry mirrors the 32-byte entry");

struct BookCandidate {
    BookEntry entry;
    int weight;
};

// 1: the engine may play from the book (option -o and "book off" clear it).
extern int book_enabled;
// The open book stream, or nullptr when no book is open.
extern FILE* book_file;
extern int book_read_only;
extern std::uint32_t book_cache_probes;
extern std::uint32_t book_cache_hits;

// 0 when a book was opened, -1 when the book is off.
int open_book(const char* file_name);
int read_book_header(FILE* stream, BookHeader* out);
int read_book_entries(int count, BookEntry* out, FILE* stream);
void read_book_entry(int index, BookEntry* out);
void write_book_entry(int index, const BookEntry* entry);
int scan_book_entries(Position* pos, int count, const BookEntry* entries);
int find_book_entry(Position* pos, int first, int end);

// A book move for the side to move, or 0.
Move choose_book_move(Position* pos);
void sort_book_candidates(int count, Move* moves, BookCandidate* candidates);
void learn_from_result(Position* pos);

// Builds a book from a PGN file (option -I).
void build_book(const char* pgn_file_name, const char* book_file_name, int depth,
                int min_played);
