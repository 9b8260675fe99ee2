// Opening-book speed: lookups per second in a large book file (found and
// missing keys, with the cache hit rate) and games per second of the book
// builder over the shared game file read several times.
// Usage: bookbench [entries, default 1000000] [copies of the game file,
// default 20] [game file, default data/pgn/engine-games.pgn of the repository]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "book/book.h"

#ifndef QUARVEL_DATA_DIR
#define QUARVEL_DATA_DIR "data"
#endif

namespace {

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void write_book(const char* name, const std::vector<std::uint64_t>& keys)
{
    FILE* f = fopen(name, "wb");
    if (!f) {
        perror(name);
        exit(1);
    }
    BookHeader header{};
    snprintf(header.version, sizeof header.version, "%s", BOOK_VERSION);
    snprintf(header.created, sizeof header.created, "%s", format_current_date());
    header.entry_count = int(keys.size());
    unsigned char bytes[BOOK_HEADER_SIZE];
    book_encode_header(&header, bytes);
    fwrite(bytes, sizeof bytes, 1, f);
    for (std::uint64_t key : keys) {
        BookEntry e{std::uint32_t(key), std::uint32_t(key >> 32), 1, 1, 0, 0, BOOK_LEARN_UNIT, 0};
        unsigned char entry[BOOK_ENTRY_SIZE];
        book_encode_entry(&e, entry);
        fwrite(entry, sizeof entry, 1, f);
    }
    if (fclose(f) != 0) {
        perror(name);
        exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int entries = argc > 1 ? atoi(argv[1]) : 1000000;
    const int copies = argc > 2 ? atoi(argv[2]) : 20;
    const std::string default_pgn = std::string(QUARVEL_DATA_DIR) + "/pgn/engine-games.pgn";
    const char* pgn_name = argc > 3 ? argv[3] : default_pgn.c_str();
    std::string games;
    if (FILE* in = fopen(pgn_name, "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, in)) > 0)
            games.append(buffer, n);
        fclose(in);
    } else {
        perror(pgn_name);
        return 1;
    }
    init_bitboard_tables();
    init_hash_keys();
    output_enabled = 0;

    char dir[] = "/tmp/quarvel-bookbench-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) {
        perror("bookbench");
        return 1;
    }

    std::mt19937_64 rng(1);
    std::set<std::uint64_t> unique;
    while (int(unique.size()) < entries)
        unique.insert(rng() | 1); // odd keys; even keys are never in the book
    std::vector<std::uint64_t> keys(unique.begin(), unique.end());
    write_book("bench.bok", keys);
    if (open_book("bench.bok") != 0)
        return 1;

    Position* pos = create_position();
    setup_new_game(pos);
    const int lookups = 50000;
    int found = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < lookups; i++) {
        *pos->key_top = i % 2 ? keys[rng() % keys.size()] : rng() & ~std::uint64_t(1);
        found += find_book_entry(pos, 0, entries) >= 0;
    }
    double t = seconds_since(start);
    printf(
        "book lookups: entries %d lookups %d found %d seconds %.3f per-second %.0f cache %.2f%%\n",
        entries, lookups, found, t, lookups / t,
        compute_percent(book_cache_hits, book_cache_probes));

    FILE* out = fopen("games.pgn", "wb");
    for (int i = 0; i < copies; i++)
        fwrite(games.data(), 1, games.size(), out);
    fclose(out);
    start = std::chrono::steady_clock::now();
    build_book("games.pgn", "built.bok", 60, 2);
    t = seconds_since(start);
    const int game_count = 200 * copies;
    BookHeader built{};
    FILE* book = fopen("built.bok", "rb");
    if (book == nullptr || read_book_header(book, &built) != 1)
        return 1;
    fclose(book);
    printf("book build: games %d depth 60 entries %d seconds %.3f games-per-second %.0f\n",
           game_count, built.entry_count, t, game_count / t);

    destroy_position(pos);
    remove("bench.bok");
    remove("games.pgn");
    remove("built.bok");
    if (chdir("/tmp") == 0)
        rmdir(dir);
    return 0;
}
