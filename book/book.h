// Opening book: the file records, opening the book and looking positions up
// (bookfile.cpp), the weighted move choice and learning from game results
// (bookchoice.cpp), and the builder that turns PGN games into a book
// (bookbuild.cpp).
//
// The book file is a 68-byte header followed by 32-byte entries, all
// integers little-endian, entries sorted ascending by their 64-bit Zobrist
// key. Each entry describes the position reached after a book move, so the
// key tables of board/zobrist are part of the file format.
#pragma once

#include <cstdint>
#include <cstdio>

#include "board/position.h"

constexpr int BOOK_HEADER_SIZE = 68;
constexpr int BOOK_ENTRY_SIZE = 32;
constexpr int BOOK_CACHE_SLOTS = 10000;
constexpr int BOOK_SCAN_LIMIT = 512;
constexpr std::uint32_t BOOK_LEARN_UNIT = 50000;
constexpr std::uint32_t BOOK_LEARN_MIN = 12500;
constexpr std::uint32_t BOOK_LEARN_MAX = 200000;
inline constexpr char BOOK_VERSION[] = "0.3";

// Builder capacities.
constexpr int BOOK_INDEX_SLOTS = 1000000;
constexpr int BOOK_POOL_SIZE = 100000;
constexpr int BOOK_MERGE_MAX = 20;
constexpr int BOOK_TOKEN_MAX = 255;

// BookEntry::flags: bits 0-2 the last learned result, then annotation marks.
constexpr std::uint32_t BOOK_LAST_MASK = 7;
constexpr std::uint32_t BOOK_LAST_WON = 1;
constexpr std::uint32_t BOOK_LAST_LOST = 2;
constexpr std::uint32_t BOOK_LAST_DRAW = 4;
constexpr std::uint32_t BOOK_MARK_GOOD = 8;
constexpr std::uint32_t BOOK_MARK_VERY_GOOD = 16;
constexpr std::uint32_t BOOK_MARK_DUBIOUS = 32;
constexpr std::uint32_t BOOK_MARK_BAD = 64;

// In-memory forms of the little-endian file records. The files are read and
// written field by field (book_decode_*/book_encode_*), never as raw structs.
struct BookHeader {
    char version[32]; // "0.3"
    char created[28]; // ctime text without its line break
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

struct BookCacheSlot {
    std::uint64_t key; // 0: empty
    int index;
};

inline std::uint64_t book_entry_key(const BookEntry* entry)
{
    return (std::uint64_t(entry->key_high) << 32) | entry->key_low;
}

// 1: the engine may play from the book (option -o and "book off" clear it).
extern int book_enabled;
// The open book stream, or nullptr when no book is open.
extern FILE* book_file;
extern int book_read_only;
// Whole entries the open file holds; every lookup stays below it.
extern int book_entry_limit;
extern BookCacheSlot* book_cache;
extern std::uint32_t book_cache_probes;
extern std::uint32_t book_cache_hits;
// Number of the builder's next temporary run file.
extern int book_run_count;

// Record coding.
void book_decode_header(const unsigned char* bytes, BookHeader* out);
void book_encode_header(const BookHeader* header, unsigned char* bytes);
void book_decode_entry(const unsigned char* bytes, BookEntry* out);
void book_encode_entry(const BookEntry* entry, unsigned char* bytes);

// 0 when a book was opened, -1 when the book is off.
int open_book(const char* file_name);
int read_book_header(FILE* stream, BookHeader* out);
int read_book_entries(int count, BookEntry* out, FILE* stream);
// 1 on success; 0 when the book broke, which turns it off (close_broken_book).
int read_book_entry(int index, BookEntry* out);
int write_book_entry(int index, const BookEntry* entry);
// A book that breaks after start-up (cut short, unreadable, changed under
// the engine) is reported with `reason` and turned off; the game goes on.
void close_broken_book(const char* reason);
int scan_book_entries(Position* pos, int count, const BookEntry* entries);
int find_book_entry(Position* pos, int first, int end);

// A book move for the side to move, or 0.
Move choose_book_move(Position* pos);
void sort_book_candidates(int count, Move* moves, BookCandidate* candidates);
void learn_from_result(Position* pos);

// Builds a book from a PGN file (option -I).
void build_book(const char* pgn_file_name, const char* book_file_name, int depth, int min_played);
void write_book_run(BookEntry** entries, int count, int depth);
int compare_book_entries(const void* a, const void* b);
int merge_book_runs();
void filter_book(const char* input_name, const char* book_name, int min_played);
const char* format_current_date();
