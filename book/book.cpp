// Stand-in for the opening book: no book is ever open, so every caller takes
// its no-book path.
#include "book/book.h"

#include "board/output.h"

int book_enabled = 1;
FILE* book_file = nullptr;
int book_read_only = 0;
std::uint32_t book_cache_probes = 0;
std::uint32_t book_cache_hits = 0;

int open_book(const char* file_name)
{
    (void)file_name;
    book_enabled = 0;
    return -1;
}

int read_book_header(FILE* stream, BookHeader* out)
{
    (void)stream;
    (void)out;
    return 0;
}

int read_book_entries(int count, BookEntry* out, FILE* stream)
{
    (void)count;
    (void)out;
    (void)stream;
    return -1;
}

void read_book_entry(int index, BookEntry* out)
{
    (void)index;
    *out = BookEntry{};
}

void write_book_entry(int index, const BookEntry* entry)
{
    (void)index;
    (void)entry;
}

int scan_book_entries(Position* pos, int count, const BookEntry* entries)
{
    (void)pos;
    (void)count;
    (void)entries;
    return -1;
}

int find_book_entry(Position* pos, int first, int end)
{
    (void)pos;
    (void)first;
    (void)end;
    return -1;
}

Move choose_book_move(Position* pos)
{
    (void)pos;
    return 0;
}

void sort_book_candidates(int count, Move* moves, BookCandidate* candidates)
{
    (void)count;
    (void)moves;
    (void)candidates;
}

void learn_from_result(Position* pos)
{
    (void)pos;
}

void build_book(const char* pgn_file_name, const char* book_file_name, int depth,
                int min_played)
{
    (void)book_file_name;
    (void)depth;
    (void)min_played;
    emit_text("Cannot build a book from %s: no book support in this build\n", pgn_file_name);
}
