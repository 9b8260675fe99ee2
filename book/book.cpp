// The book file: record coding, opening and checking the book at start-up,
// single-entry reads and writes, and the lookup by key (a binary search over
// the sorted entries with a small cache of probed middles, finished by a
// linear scan of the last stretch).
#include "book/book.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

#include "board/clock.h"
#include "board/fileopen.h"
#include "board/output.h"
#include "board/zobrist.h"

int book_enabled = 1;
FILE* book_file = nullptr;
int book_read_only = 0;
int book_entry_limit = 0;
BookCacheSlot* book_cache = nullptr;
std::uint32_t book_cache_probes = 0;
std::uint32_t book_cache_hits = 0;

namespace {

std::uint32_t get_u32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

void put_u32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

[[noreturn]] void book_io_failure(const char* operation)
{
    char text[160];
    snprintf(text, sizeof text, "book: %s: %s", operation, strerror(errno));
    exit_with_message(text);
}

// The open book that failed an operation is turned off; another stream's
// failure is fatal.
void book_stream_failure(FILE* stream, const char* operation)
{
    if (stream != book_file || stream == nullptr)
        book_io_failure(operation);
    char text[160];
    snprintf(text, sizeof text, "book: %s: %s", operation, strerror(errno ? errno : EIO));
    close_broken_book(text);
}

// Reads up to count entries from the stream's current position; returns how
// many whole entries were read. The end of the stream is a quiet stop.
int read_entry_block(int count, BookEntry* out, FILE* stream)
{
    if (count <= 0)
        return 0;
    unsigned char* bytes = static_cast<unsigned char*>(alloc_mem(size_t(count) * BOOK_ENTRY_SIZE));
    size_t got = fread(bytes, BOOK_ENTRY_SIZE, size_t(count), stream);
    if (got < size_t(count) && ferror(stream)) {
        free_mem(bytes);
        book_stream_failure(stream, "fread");
        return 0;
    }
    for (size_t i = 0; i < got; i++)
        book_decode_entry(bytes + i * BOOK_ENTRY_SIZE, &out[i]);
    free_mem(bytes);
    return int(got);
}

void close_book_off()
{
    if (book_file != nullptr)
        fclose(book_file);
    book_file = nullptr;
    book_read_only = 0;
    book_entry_limit = 0;
    book_enabled = 0;
}

} // namespace

void book_decode_header(const unsigned char* bytes, BookHeader* out)
{
    memcpy(out->version, bytes, sizeof out->version);
    memcpy(out->created, bytes + 32, sizeof out->created);
    // Text fields of a damaged file need not be terminated; the last byte of
    // each is kept zero so that they always print as bounded strings.
    out->version[sizeof out->version - 1] = 0;
    out->created[sizeof out->created - 1] = 0;
    out->entry_count = std::int32_t(get_u32(bytes + 60));
    out->depth = std::int32_t(get_u32(bytes + 64));
}

void book_encode_header(const BookHeader* header, unsigned char* bytes)
{
    memcpy(bytes, header->version, sizeof header->version);
    memcpy(bytes + 32, header->created, sizeof header->created);
    put_u32(bytes + 60, std::uint32_t(header->entry_count));
    put_u32(bytes + 64, std::uint32_t(header->depth));
}

void book_decode_entry(const unsigned char* bytes, BookEntry* out)
{
    out->key_low = get_u32(bytes);
    out->key_high = get_u32(bytes + 4);
    out->played = get_u32(bytes + 8);
    out->white_wins = get_u32(bytes + 12);
    out->black_wins = get_u32(bytes + 16);
    out->draws = get_u32(bytes + 20);
    out->learn = get_u32(bytes + 24);
    out->flags = get_u32(bytes + 28);
}

void book_encode_entry(const BookEntry* entry, unsigned char* bytes)
{
    put_u32(bytes, entry->key_low);
    put_u32(bytes + 4, entry->key_high);
    put_u32(bytes + 8, entry->played);
    put_u32(bytes + 12, entry->white_wins);
    put_u32(bytes + 16, entry->black_wins);
    put_u32(bytes + 20, entry->draws);
    put_u32(bytes + 24, entry->learn);
    put_u32(bytes + 28, entry->flags);
}

int open_book(const char* file_name)
{
    if (file_name == nullptr || file_name[0] == 0) {
        emit_text("Opening book disabled");
        close_book_off();
        return -1;
    }
    emit_text("Open book: %s\n", file_name);
    if (book_file != nullptr) {
        fclose(book_file);
        book_file = nullptr;
    }
    book_read_only = 0;
    book_entry_limit = 0;
    book_file = open_regular_file(file_name, "rb+");
    if (book_file == nullptr) {
        // A pipe, device or folder is no book, read-only or not.
        if (errno != EISDIR && errno != NOT_REGULAR_FILE)
            book_file = open_regular_file(file_name, "rb");
        if (book_file == nullptr) {
            int error = errno;
            close_book_off();
            emit_text("Cannot open opening book: %s: %s\n", file_name, file_error_text(error));
            return -1;
        }
        emit_text("Book open in read only mode\n");
        book_read_only = 1;
    }

    BookHeader header;
    if (read_book_header(book_file, &header) != 1) {
        emit_text("Invalid book file: %s\n", file_name);
        close_book_off();
        return -1;
    }
    emit_text("Book version %s created %s\n", header.version, header.created);
    emit_text("%d book moves, depth=%d\n", header.entry_count, header.depth);
    if (memcmp(header.version, BOOK_VERSION, sizeof BOOK_VERSION) != 0) {
        emit_text("Fatal: cannot use book version %s, expecting %s\n", header.version,
                  BOOK_VERSION);
        close_book_off();
        return -1;
    }

    // A header that promises more entries than the file holds (a truncated
    // copy, a damaged count) would send the lookup past the end of the file,
    // where a read failure ends the program; such a book is refused.
    long long entries_present = -1;
    if (fseeko(book_file, 0, SEEK_END) == 0) {
        off_t size = ftello(book_file);
        if (size >= BOOK_HEADER_SIZE)
            entries_present = (static_cast<long long>(size) - BOOK_HEADER_SIZE) / BOOK_ENTRY_SIZE;
    }
    if (header.entry_count < 0 || entries_present < header.entry_count) {
        emit_text("Invalid book file: %s\n", file_name);
        close_book_off();
        return -1;
    }
    book_entry_limit = header.entry_count;

    if (book_cache == nullptr)
        book_cache =
            static_cast<BookCacheSlot*>(alloc_mem(sizeof(BookCacheSlot) * BOOK_CACHE_SLOTS));
    memset(book_cache, 0, sizeof(BookCacheSlot) * BOOK_CACHE_SLOTS);

    unsigned stir = ((get_time_cs() % 50u) + 2u) / 2u;
    for (unsigned i = 0; i < stir; i++)
        draw_random32();
    return 0;
}

int read_book_header(FILE* stream, BookHeader* out)
{
    unsigned char bytes[BOOK_HEADER_SIZE];
    if (stream == nullptr || fseeko(stream, 0, SEEK_SET) != 0)
        return 0;
    if (fread(bytes, BOOK_HEADER_SIZE, 1, stream) != 1)
        return 0;
    book_decode_header(bytes, out);
    return 1;
}

int read_book_entries(int count, BookEntry* out, FILE* stream)
{
    return read_entry_block(count, out, stream) == count ? 0 : -1;
}

void close_broken_book(const char* reason)
{
    emit_text("%s\n", reason);
    emit_text("Opening book disabled\n");
    close_book_off();
}

int read_book_entry(int index, BookEntry* out)
{
    unsigned char bytes[BOOK_ENTRY_SIZE];
    if (book_file == nullptr || index < 0 ||
        fseeko(book_file, off_t(BOOK_HEADER_SIZE) + off_t(BOOK_ENTRY_SIZE) * index, SEEK_SET) !=
            0) {
        book_stream_failure(book_file, "fseek");
        return 0;
    }
    if (fread(bytes, BOOK_ENTRY_SIZE, 1, book_file) != 1) {
        // A short read leaves errno untouched; name the cause all the same.
        if (!ferror(book_file))
            errno = EIO;
        book_stream_failure(book_file, "fread");
        return 0;
    }
    book_decode_entry(bytes, out);
    return 1;
}

int write_book_entry(int index, const BookEntry* entry)
{
    unsigned char bytes[BOOK_ENTRY_SIZE];
    book_encode_entry(entry, bytes);
    if (book_file == nullptr || index < 0 ||
        fseeko(book_file, off_t(BOOK_HEADER_SIZE) + off_t(BOOK_ENTRY_SIZE) * index, SEEK_SET) !=
            0) {
        book_stream_failure(book_file, "fseek");
        return 0;
    }
    if (fwrite(bytes, BOOK_ENTRY_SIZE, 1, book_file) != 1) {
        book_stream_failure(book_file, "fwrite");
        return 0;
    }
    return 1;
}

int scan_book_entries(Position* pos, int count, const BookEntry* entries)
{
    const std::uint64_t key = *pos->key_top;
    const std::uint32_t low = std::uint32_t(key), high = std::uint32_t(key >> 32);
    for (int i = 0; i < count; i++)
        if (entries[i].key_low == low && entries[i].key_high == high)
            return i;
    return -1;
}

int find_book_entry(Position* pos, int first, int end)
{
    if (book_file == nullptr)
        return -1;
    if (first < 0)
        first = 0;
    if (end > book_entry_limit)
        end = book_entry_limit;
    const int n = end - first;
    if (n <= 0)
        return -1;

    if (n <= BOOK_SCAN_LIMIT) {
        BookEntry* block = static_cast<BookEntry*>(alloc_mem(sizeof(BookEntry) * size_t(n)));
        int found = -1;
        if (fseeko(book_file, off_t(BOOK_HEADER_SIZE) + off_t(BOOK_ENTRY_SIZE) * first, SEEK_SET) !=
            0) {
            free_mem(block);
            book_stream_failure(book_file, "fseek");
            return -1;
        }
        int got = read_entry_block(n, block, book_file);
        int index = scan_book_entries(pos, got, block);
        if (index >= 0)
            found = first + index;
        free_mem(block);
        return found;
    }

    const int mid = first + n / 2;
    std::uint64_t entry_key;
    BookCacheSlot* slot = &book_cache[mid % BOOK_CACHE_SLOTS];
    book_cache_probes++;
    if (slot->index == mid && slot->key != 0) {
        book_cache_hits++;
        entry_key = slot->key;
    } else {
        BookEntry entry;
        if (!read_book_entry(mid, &entry))
            return -1;
        entry_key = book_entry_key(&entry);
        slot->key = entry_key;
        slot->index = mid;
    }
    const std::uint64_t key = *pos->key_top;
    if (key == entry_key)
        return mid;
    if (key > entry_key)
        return find_book_entry(pos, mid, end);
    return find_book_entry(pos, first, mid);
}
