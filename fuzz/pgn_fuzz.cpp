// Arbitrary PGN text through the book builder, which writes its runs and the
// book in a private scratch folder. The book it writes must read back: a
// header and whole entries sorted by key.
#include <unistd.h>

#include "book/book.h"
#include "fuzz/fuzz_support.h"

namespace {

Position* engine_position; // the engine's own, kept for the whole run

void check_book(const char* name)
{
    FILE* f = std::fopen(name, "rb");
    if (f == nullptr)
        return; // nothing written: the builder said why
    BookHeader header;
    if (read_book_header(f, &header) != 1)
        fuzz_fail("built book has no header");
    BookEntry previous{}, entry;
    for (int i = 0; i < header.entry_count; i++) {
        if (read_book_entries(1, &entry, f) != 0)
            fuzz_fail("built book holds fewer entries than its header says");
        if (i > 0 && book_entry_key(&entry) <= book_entry_key(&previous))
            fuzz_fail("built book is not sorted by key");
        previous = entry;
    }
    std::fclose(f);
    std::remove(name);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    engine_position = fuzz_engine_start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The builder writes its runs in the current folder: ours only while it
    // runs, since libFuzzer keeps files relative to the folder it started in.
    fuzz_write_file("games.pgn", data, size);
    char home[4096];
    if (getcwd(home, sizeof home) == nullptr || chdir(fuzz_scratch_folder()) != 0)
        std::abort();
    // A text that holds no game is refused with exit code 1.
    const int code = fuzz_run_allowing_exit([] { build_book("games.pgn", "games.bok", 60, 1); });
    if (code != -1 && code != 1)
        fuzz_fail("the book builder exited");
    check_book("games.bok");
    if (chdir(home) != 0)
        std::abort();
    return 0;
}
