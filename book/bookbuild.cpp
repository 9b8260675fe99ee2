// The book builder: replays the games of a PGN file up to a depth, counts
// every position reached after a move in a pool in memory, spills the pool
// as sorted run files, merges the runs by streaming (up to 20 at a time) and
// writes the positions played often enough as the book.
#include "book/book.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "board/attacks.h"
#include "board/clock.h"
#include "board/diagram.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/output.h"

int book_run_count = 0;

namespace {

constexpr char MERGE_FILE_NAME[] = "book.tmp";

// The files this build created and that still exist; a build that fails
// half-way or is interrupted removes them, and nothing else: a file of the
// same name that was there before is not ours to delete. A signal handler
// reads these, so they are plain flags and a fixed buffer, changed only
// while the signals are held (see hold_signals).
volatile sig_atomic_t runs_owned = 0;       // run files 0 .. runs_owned - 1
volatile sig_atomic_t merge_file_owned = 0; // "book.tmp"
char book_temp_name[PATH_MAX + 32];         // the new book beside its target, until renamed

// "book.tmp.N" without the C library's formatting, which a signal handler
// may not call.
void run_file_name(char* buffer, size_t size, int number)
{
    char digits[16];
    int n = 0;
    unsigned value = unsigned(number);
    do
        digits[n++] = char('0' + value % 10);
    while ((value /= 10) != 0 && n < int(sizeof digits));
    size_t at = 0;
    for (const char* p = MERGE_FILE_NAME; *p && at + 1 < size; p++)
        buffer[at++] = *p;
    if (at + 1 < size)
        buffer[at++] = '.';
    while (n > 0 && at + 1 < size)
        buffer[at++] = digits[--n];
    buffer[at] = 0;
}

// Gives back what a running build_book holds (see below); defined with it.
void release_build();

// Safe inside a signal handler: unlink and the name above only.
void remove_temporary_files()
{
    char name[32];
    for (int i = 0; i < runs_owned; i++) {
        run_file_name(name, sizeof name, i);
        unlink(name);
    }
    runs_owned = 0;
    if (merge_file_owned)
        unlink(MERGE_FILE_NAME);
    merge_file_owned = 0;
    if (book_temp_name[0] != 0)
        unlink(book_temp_name);
    book_temp_name[0] = 0;
}

const int BUILD_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction signals_before[3];

// An interrupted build leaves no temporary file to block the next one; the
// signal then ends the program as it would have without the builder.
void on_build_signal(int signal_number)
{
    remove_temporary_files();
    ::signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void catch_build_signals()
{
    for (int i = 0; i < 3; i++) {
        struct sigaction action;
        memset(&action, 0, sizeof action);
        action.sa_handler = on_build_signal;
        sigemptyset(&action.sa_mask);
        sigaction(BUILD_SIGNALS[i], nullptr, &signals_before[i]);
        // A signal the caller ignores (nohup) stays ignored.
        if (signals_before[i].sa_handler != SIG_IGN)
            sigaction(BUILD_SIGNALS[i], &action, nullptr);
    }
}

void restore_build_signals()
{
    for (int i = 0; i < 3; i++)
        sigaction(BUILD_SIGNALS[i], &signals_before[i], nullptr);
}

// Creating or renaming a file and noting it are one step for the handler.
sigset_t hold_signals()
{
    sigset_t held, before;
    sigemptyset(&held);
    for (int signal_number : BUILD_SIGNALS)
        sigaddset(&held, signal_number);
    sigprocmask(SIG_BLOCK, &held, &before);
    return before;
}

void release_signals(const sigset_t& before)
{
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

// A new file that no one else can have prepared: an existing file or a
// planted symbolic link of that name makes it fail instead of being written.
FILE* create_exclusive(const char* name)
{
    const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr)
        close(fd);
    return stream;
}

// A build that fails leaves neither files nor memory behind: processes that
// run the builder and go on after its exit (tests, fuzzing) see no leak.
[[noreturn]] void fail_with_perror(const char* what)
{
    perror(what);
    remove_temporary_files();
    release_build();
    exit(1);
}

[[noreturn]] void fail_with_text(const char* text)
{
    remove_temporary_files();
    release_build();
    exit_with_message(text);
}

[[noreturn]] void fail_io(const char* operation)
{
    char text[160];
    snprintf(text, sizeof text, "book: %s: %s", operation, strerror(errno ? errno : EIO));
    fail_with_text(text);
}

int write_header(FILE* stream, const BookHeader* header)
{
    unsigned char bytes[BOOK_HEADER_SIZE];
    book_encode_header(header, bytes);
    if (fseeko(stream, 0, SEEK_SET) != 0)
        return 0;
    return fwrite(bytes, BOOK_HEADER_SIZE, 1, stream) == 1;
}

void write_entry(FILE* stream, const BookEntry* entry)
{
    unsigned char bytes[BOOK_ENTRY_SIZE];
    book_encode_entry(entry, bytes);
    if (fwrite(bytes, BOOK_ENTRY_SIZE, 1, stream) != 1)
        fail_io("fwrite");
}

// 1 when an entry was read, 0 at the end of the stream.
int read_entry(FILE* stream, BookEntry* out)
{
    unsigned char bytes[BOOK_ENTRY_SIZE];
    if (fread(bytes, BOOK_ENTRY_SIZE, 1, stream) != 1) {
        if (ferror(stream))
            fail_io("fread");
        return 0;
    }
    book_decode_entry(bytes, out);
    return 1;
}

void add_counts(BookEntry* into, const BookEntry* from)
{
    into->played += from->played;
    into->white_wins += from->white_wins;
    into->black_wins += from->black_wins;
    into->draws += from->draws;
    into->flags |= from->flags;
}

void set_version(BookHeader* header, const char* created)
{
    memset(header, 0, sizeof *header);
    memcpy(header->version, BOOK_VERSION, sizeof BOOK_VERSION);
    snprintf(header->created, sizeof header->created, "%s", created);
}

void close_checked(FILE* stream)
{
    if (fclose(stream) != 0)
        fail_io("fwrite");
}

// ---------------------------------------------------------------------------
// PGN tokens. A token is kept up to BOOK_TOKEN_MAX characters; the rest of a
// longer one is read and dropped, but its length and last two characters are
// remembered so that a long one-token comment still counts as closed.

struct Token {
    char text[BOOK_TOKEN_MAX + 1];
    int length; // whole length, also beyond what was kept
    int last;
    int second_last;
};

int read_token(FILE* stream, Token* token)
{
    int c;
    do
        c = getc(stream);
    while (c != EOF && isspace(c));
    if (c == EOF)
        return 0;
    int kept = 0;
    token->length = 0;
    token->last = token->second_last = 0;
    while (c != EOF && !isspace(c)) {
        if (kept < BOOK_TOKEN_MAX)
            token->text[kept++] = char(c);
        token->second_last = token->last;
        token->last = c;
        token->length++;
        c = getc(stream);
    }
    token->text[kept] = 0;
    return 1;
}

void skip_nested(FILE* stream, int open, int close)
{
    int depth = 1;
    int c;
    while (depth > 0 && (c = getc(stream)) != EOF) {
        if (c == open)
            depth++;
        else if (c == close)
            depth--;
    }
}

// The whole rest of the line, however long: the tail of a long tag must not
// be read as moves.
void drop_line(FILE* stream)
{
    int c;
    do
        c = getc(stream);
    while (c != EOF && c != '\n');
}

struct Builder {
    FILE* pgn;
    Position* pos;
    BookEntry** index;
    BookEntry* pool_block;
    BookEntry** pool;
    int pool_count;
    int result;
    int ply;
    int games;
    int game_abandoned; // a refused move: the board no longer follows the game
    int moves_counted;  // moves that went into the book, over all games
    int setup_game;     // the game starts from a set-up position, not ours
    int moves_seen;     // move texts since the last tag
    int depth;
    u32 last_progress;
};

// The build in progress, or nullptr.
Builder* active_build = nullptr;

// The builder's position, key index and entry pool, taken by the first
// build and kept for the process: a process that builds many books (tests,
// fuzzing) would pay for 11 MB of fresh pages on every build. A build hands
// the index back empty by clearing only the slots its entries used.
Position* kept_position = nullptr;
BookEntry** kept_index = nullptr;
BookEntry* kept_pool_block = nullptr;
BookEntry** kept_pool = nullptr;
bool kept_index_empty = false;

void take_build_tables(Builder* b)
{
    if (kept_index == nullptr) {
        kept_position = create_position();
        kept_index = static_cast<BookEntry**>(alloc_mem(sizeof(BookEntry*) * BOOK_INDEX_SLOTS));
        kept_pool_block = static_cast<BookEntry*>(alloc_mem(sizeof(BookEntry) * BOOK_POOL_SIZE));
        memset(kept_pool_block, 0, sizeof(BookEntry) * BOOK_POOL_SIZE);
        kept_pool = static_cast<BookEntry**>(alloc_mem(sizeof(BookEntry*) * BOOK_POOL_SIZE));
        for (int i = 0; i < BOOK_POOL_SIZE; i++)
            kept_pool[i] = &kept_pool_block[i];
    }
    // Also after a build that never handed the index back.
    if (!kept_index_empty)
        memset(kept_index, 0, sizeof(BookEntry*) * BOOK_INDEX_SLOTS);
    kept_index_empty = false;
    b->pos = kept_position;
    b->index = kept_index;
    b->pool_block = kept_pool_block;
    b->pool = kept_pool; // any order of the block's entries: each is cleared when taken
}

void give_back_build_tables(const Builder* b)
{
    // Once the pool has been written out and reused, slots may point at
    // entries that hold other keys now: only a full clear finds those.
    if (b->moves_counted >= BOOK_POOL_SIZE)
        return;
    for (int i = 0; i < b->pool_count; i++)
        b->index[book_entry_key(b->pool[i]) % BOOK_INDEX_SLOTS] = nullptr;
    kept_index_empty = true;
}

void release_build()
{
    Builder* b = active_build;
    if (b == nullptr)
        return;
    active_build = nullptr;
    restore_build_signals();
    fclose(b->pgn);
    give_back_build_tables(b);
}

void count_move(Builder* b, const char* text)
{
    while (*text == '*')
        text++;
    if (*text == 0)
        return;
    b->moves_seen = 1;
    Position* pos = b->pos;
    if (b->ply >= b->depth || b->result == RESULT_NONE || b->game_abandoned || b->setup_game ||
        !state_stack_has_room(pos)) {
        b->ply++;
        return;
    }
    int annotation = 0;
    for (const char* p = text; *p; p++) {
        if (*p == '!')
            annotation++;
        else if (*p == '?')
            annotation--;
    }
    Move move = parse_move(pos, text);
    const int mover = pos->side_to_move;
    int refused = move == 0 || !is_move_valid(pos, move);
    if (!refused) {
        make_move(pos, move);
        if (is_in_check(pos, mover)) {
            unmake_move(pos, move);
            refused = 1;
        }
    }
    if (refused) {
        report_invalid_move(pos, move);
        b->game_abandoned = 1;
        b->ply++;
        return;
    }

    const u64 key = *pos->key_top;
    BookEntry** slot = &b->index[key % BOOK_INDEX_SLOTS];
    BookEntry* entry = *slot;
    if (entry == nullptr || book_entry_key(entry) != key) {
        entry = b->pool[b->pool_count++];
        memset(entry, 0, sizeof *entry);
        entry->key_low = std::uint32_t(key);
        entry->key_high = std::uint32_t(key >> 32);
        entry->learn = BOOK_LEARN_UNIT;
        *slot = entry;
    }
    switch (annotation) {
        case -2: entry->flags |= BOOK_MARK_BAD; break;
        case -1: entry->flags |= BOOK_MARK_DUBIOUS; break;
        case 1: entry->flags |= BOOK_MARK_GOOD; break;
        case 2: entry->flags |= BOOK_MARK_VERY_GOOD; break;
        default: break;
    }
    entry->played++;
    if (b->result == RESULT_WHITE_WON)
        entry->white_wins++;
    else if (b->result == RESULT_BLACK_WON)
        entry->black_wins++;
    else if (b->result == RESULT_DRAW)
        entry->draws++;
    b->moves_counted++;

    if (b->pool_count >= BOOK_POOL_SIZE) {
        write_book_run(b->pool, BOOK_POOL_SIZE, b->depth);
        memset(b->pool_block, 0, sizeof(BookEntry) * BOOK_POOL_SIZE);
        b->pool_count = 0;
    }
    b->ply++;
}

void read_result_tag(Builder* b, FILE* stream)
{
    Token value;
    if (!read_token(stream, &value))
        value.text[0] = 0;
    if (strcmp(value.text, "\"1-0\"]") == 0)
        b->result = RESULT_WHITE_WON;
    else if (strcmp(value.text, "\"0-1\"]") == 0)
        b->result = RESULT_BLACK_WON;
    else if (strcmp(value.text, "\"1/2-1/2\"]") == 0)
        b->result = RESULT_DRAW;
    else if (strcmp(value.text, "\"*\"]") == 0)
        b->result = RESULT_NONE;
    else {
        char text[BOOK_TOKEN_MAX + 16];
        snprintf(text, sizeof text, "Parse error: %s", value.text);
        fail_with_text(text);
    }
}

// Reads the rest of a [FEN tag's line; true when its value is the standard
// start position, the move counters aside.
bool is_start_position_tag(FILE* stream)
{
    char value[BOOK_TOKEN_MAX + 1];
    int length = 0, quotes = 0, c;
    while ((c = getc(stream)) != EOF && c != '\n') {
        if (c == '"')
            quotes++;
        else if (quotes == 1 && length < BOOK_TOKEN_MAX && (!isspace(c) || length > 0))
            value[length++] = isspace(c) ? ' ' : char(c);
    }
    value[length] = 0;
    const size_t fields = strlen(START_POSITION_FEN);
    return strncmp(value, START_POSITION_FEN, fields) == 0 &&
           (value[fields] == 0 || value[fields] == ' ');
}

void start_game(Builder* b, u32 start)
{
    b->games++;
    if (b->games % 1000 == 0) {
        u32 now = get_time_cs();
        emit_text("Games %d, positions %d, %s(sec)\n", b->games, b->pool_count,
                  format_time(b->last_progress != 0 ? b->last_progress : start, now));
        b->last_progress = now;
    }
    setup_new_game(b->pos);
    b->ply = 0;
    b->game_abandoned = 0;
}

void read_games(Builder* b, FILE* stream, u32 start)
{
    Token token;
    while (read_token(stream, &token)) {
        const char* text = token.text;
        switch (text[0]) {
            case '$': break;
            case '(':
            case '{': {
                const int close = text[0] == '(' ? ')' : '}';
                if (token.last == close || (token.length >= 2 && token.second_last == close))
                    break;
                skip_nested(stream, text[0], close);
                break;
            }
            case '[':
                // The first tag after moves opens the next game's tag section.
                if (b->moves_seen) {
                    b->moves_seen = 0;
                    b->setup_game = 0;
                }
                if (strcmp(text, "[Result") == 0) {
                    read_result_tag(b, stream);
                } else if (strcmp(text, "[FEN") == 0) {
                    emit_text("SN\n");
                    b->result = RESULT_NONE;
                    // A result tag after it lets the game count, but only from our
                    // own start position: games are replayed from there, so the
                    // moves of any other set-up would write wrong positions.
                    if (!is_start_position_tag(stream))
                        b->setup_game = 1;
                } else {
                    drop_line(stream);
                }
                break;
            default:
                if (isdigit(static_cast<unsigned char>(text[0]))) {
                    if (text[0] == '1' && text[1] == '.' && text[2] != '.')
                        start_game(b, start);
                    if (strcmp(text, "1/2-1/2") == 0 || strcmp(text, "1-0") == 0 ||
                        strcmp(text, "0-1") == 0)
                        break;
                    const char* dot = strrchr(text, '.');
                    count_move(b, dot != nullptr ? dot + 1 : text);
                } else {
                    count_move(b, text);
                }
                break;
        }
    }
}

struct MergeRun {
    FILE* stream;
    char name[32];
    int to_come; // entries not yet consumed, the current one included
    int has_current;
    BookEntry current;
};

void fetch_next(MergeRun* run)
{
    if (read_entry(run->stream, &run->current))
        run->has_current = 1;
    else
        run->to_come = 0; // a run shorter than its header: nothing more will come
}

// Where the book really goes: the end of a chain of symbolic links, also
// when that end does not exist yet (it is then created, as any write through
// the link would). The links themselves stay.
std::string resolve_book_target(const char* book_name)
{
    std::string path = book_name;
    for (int hops = 0; hops < 40; hops++) {
        struct stat st;
        char link[PATH_MAX];
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        const ssize_t length = readlink(path.c_str(), link, sizeof link - 1);
        if (length < 0)
            return path;
        link[length] = 0;
        const size_t slash = path.rfind('/');
        path = link[0] == '/' || slash == std::string::npos ? std::string(link)
                                                            : path.substr(0, slash + 1) + link;
    }
    errno = ELOOP;
    fail_with_perror(book_name);
}

// The book replaces only a regular file the user may write (a device, a
// pipe or a folder of that name is not a book; a read-only book is kept
// from change, by root too). Returns the mode of the book it replaces, or
// -1 when there is none yet.
int check_book_target(const char* book_name, const std::string& target)
{
    struct stat st;
    if (stat(target.c_str(), &st) != 0)
        return -1;
    const char* refusal = nullptr;
    if (!S_ISREG(st.st_mode))
        refusal = "is not a regular file";
    else if ((st.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0)
        refusal = "is read-only";
    if (refusal != nullptr) {
        char text[160];
        snprintf(text, sizeof text, "Book file %.60s %s: nothing written", book_name, refusal);
        fail_with_text(text);
    }
    return int(st.st_mode & 07777);
}

// The book is written beside its target and renamed into place once whole,
// so a failed build leaves a good book as it was; it keeps the mode of the
// book it replaces.
FILE* create_book_temp(const char* book_name, std::string* target)
{
    *target = resolve_book_target(book_name);
    const int mode = check_book_target(book_name, *target);
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = *target + ".new";
        name += std::to_string(getpid() + attempt);
        if (name.size() >= sizeof book_temp_name) {
            errno = ENAMETOOLONG;
            break;
        }
        const sigset_t before = hold_signals();
        FILE* stream = create_exclusive(name.c_str());
        if (stream != nullptr)
            memcpy(book_temp_name, name.c_str(), name.size() + 1);
        release_signals(before);
        if (stream != nullptr) {
            if (mode >= 0 && fchmod(fileno(stream), mode_t(mode)) != 0)
                fail_with_perror(book_name);
            return stream;
        }
        if (errno != EEXIST)
            break; // the directory refuses new files
    }
    fail_with_perror(book_name);
}

// True when both names lead to the same file.
bool same_file(FILE* stream, const char* name)
{
    struct stat a, b;
    return fstat(fileno(stream), &a) == 0 && stat(name, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

} // namespace

const char* format_current_date()
{
    static char text[32];
    time_t now = time(nullptr);
    char buffer[64];
    const char* formatted = ctime_r(&now, buffer);
    snprintf(text, sizeof text, "%.24s", formatted != nullptr ? formatted : "");
    return text;
}

int compare_book_entries(const void* a, const void* b)
{
    const BookEntry* x = *static_cast<const BookEntry* const*>(a);
    const BookEntry* y = *static_cast<const BookEntry* const*>(b);
    const u64 kx = book_entry_key(x), ky = book_entry_key(y);
    return kx < ky ? -1 : kx > ky ? 1 : 0;
}

void write_book_run(BookEntry** entries, int count, int depth)
{
    char name[32];
    run_file_name(name, sizeof name, book_run_count);
    runs_owned = book_run_count;
    book_run_count++;
    const sigset_t before = hold_signals();
    FILE* stream = create_exclusive(name);
    if (stream != nullptr)
        runs_owned = book_run_count;
    release_signals(before);
    if (stream == nullptr)
        fail_with_perror(name);
    if (count > 0)
        qsort(entries, size_t(count), sizeof(BookEntry*), compare_book_entries);

    BookHeader header;
    set_version(&header, "1999");
    header.entry_count = count;
    header.depth = depth;
    if (!write_header(stream, &header))
        fail_with_perror(name);

    for (int i = 0; i < count;) {
        BookEntry copy = *entries[i];
        const u64 key = book_entry_key(&copy);
        int j = i + 1;
        for (; j < count && book_entry_key(entries[j]) == key; j++) {
            add_counts(&copy, entries[j]);
            header.entry_count--;
        }
        write_entry(stream, &copy);
        i = j;
    }
    if (!write_header(stream, &header))
        fail_with_perror(name);
    close_checked(stream);
}

namespace {

// Opens the n newest runs, newest first, and reads their headers; returns
// the newest run's header, which the merged run takes over.
BookHeader open_merge_runs(MergeRun* runs, int n)
{
    BookHeader first_header;
    for (int i = 0; i < n; i++) {
        MergeRun* run = &runs[i];
        book_run_count--;
        run_file_name(run->name, sizeof run->name, book_run_count);
        run->stream = fopen(run->name, "rb");
        BookHeader header;
        if (run->stream == nullptr || read_book_header(run->stream, &header) != 1)
            fail_with_perror(run->name);
        if (i == 0)
            first_header = header;
        run->to_come = header.entry_count > 0 ? header.entry_count : 0;
        run->has_current = 0;
    }
    return first_header;
}

// Merges the runs' entries (each sorted by key) into out, the counts of
// equal keys added up into the earliest run's entry; returns how many
// entries it wrote.
int merge_run_entries(MergeRun* runs, int n, FILE* out)
{
    int written = 0;
    for (;;) {
        int any = 0;
        for (int i = 0; i < n; i++) {
            if (runs[i].to_come > 0 && !runs[i].has_current)
                fetch_next(&runs[i]);
            if (runs[i].to_come > 0)
                any = 1;
        }
        if (!any)
            break;
        for (int a = 0; a < n; a++) {
            if (runs[a].to_come <= 0)
                continue;
            for (int b = a + 1; b < n; b++) {
                if (runs[b].to_come <= 0 ||
                    book_entry_key(&runs[b].current) != book_entry_key(&runs[a].current))
                    continue;
                add_counts(&runs[a].current, &runs[b].current);
                runs[b].to_come--;
                runs[b].has_current = 0;
                if (runs[b].to_come > 0)
                    fetch_next(&runs[b]);
            }
        }
        int best = -1;
        for (int i = 0; i < n; i++) {
            if (runs[i].to_come <= 0)
                continue;
            if (best < 0 || book_entry_key(&runs[i].current) < book_entry_key(&runs[best].current))
                best = i;
        }
        if (best < 0)
            break;
        write_entry(out, &runs[best].current);
        written++;
        runs[best].to_come--;
        runs[best].has_current = 0;
    }
    return written;
}

// The merged runs go, newest first, so the runs still present stay numbered
// from 0 on; the merged file then takes the first free number. The rename
// replaces whatever took the free name in between.
void replace_merged_runs(MergeRun* runs, int n)
{
    for (int i = 0; i < n; i++)
        fclose(runs[i].stream);
    for (int i = 0; i < n; i++) {
        const sigset_t before = hold_signals();
        const int removed = remove(runs[i].name) == 0;
        if (removed)
            runs_owned = book_run_count + n - 1 - i;
        release_signals(before);
        if (!removed)
            fail_with_perror(runs[i].name);
    }

    char name[32];
    run_file_name(name, sizeof name, book_run_count);
    const sigset_t before = hold_signals();
    const int renamed = rename(MERGE_FILE_NAME, name) == 0;
    if (renamed) {
        merge_file_owned = 0;
        book_run_count++;
        runs_owned = book_run_count;
    }
    release_signals(before);
    if (!renamed)
        fail_with_perror("rename");
}

} // namespace

int merge_book_runs()
{
    int n = book_run_count;
    if (n < 2)
        return -1;
    if (n > BOOK_MERGE_MAX)
        n = BOOK_MERGE_MAX;

    emit_text("Merging");
    for (int i = 0; i < n; i++)
        emit_text(" book.tmp.%d", book_run_count - 1 - i);
    emit_text("\n");

    MergeRun runs[BOOK_MERGE_MAX];
    const BookHeader first_header = open_merge_runs(runs, n);

    const sigset_t before = hold_signals();
    FILE* out = create_exclusive(MERGE_FILE_NAME);
    if (out != nullptr)
        merge_file_owned = 1;
    release_signals(before);
    if (out == nullptr || !write_header(out, &first_header))
        fail_with_perror(MERGE_FILE_NAME);

    BookHeader header = first_header;
    header.entry_count = merge_run_entries(runs, n, out);
    snprintf(header.created, sizeof header.created, "%.27s", format_current_date());
    if (!write_header(out, &header))
        fail_with_perror("fwrite");
    close_checked(out);
    replace_merged_runs(runs, n);
    return 0;
}

void filter_book(const char* input_name, const char* book_name, int min_played)
{
    emit_text("Removing moves played lesser then %d times\n", min_played);
    std::string target;
    FILE* book = create_book_temp(book_name, &target);
    FILE* input = fopen(input_name, "rb");
    if (input == nullptr)
        fail_with_perror(input_name);

    BookHeader header;
    if (read_book_header(input, &header) != 1) {
        if (!ferror(input))
            errno = EIO;
        fail_io("fread");
    }
    if (!write_header(book, &header))
        fail_io("fwrite");

    int written = 0;
    u64 previous = 0; // every key must be above 0 and above the one before
    BookEntry entry;
    while (read_entry(input, &entry)) {
        const u64 key = book_entry_key(&entry);
        if (key <= previous) {
            fclose(book);
            fail_with_text("Duplicated hashkeys");
        }
        previous = key;
        if (entry.played >= std::uint32_t(min_played)) {
            write_entry(book, &entry);
            written++;
        }
    }

    if (written == 0) {
        // An empty book would only replace a good one with nothing.
        fclose(book);
        fclose(input);
        char text[160];
        snprintf(text, sizeof text,
                 "No position played at least %d times: book %.60s left as it was", min_played,
                 book_name);
        fail_with_text(text);
    }

    snprintf(header.created, sizeof header.created, "%.27s", format_current_date());
    header.entry_count = written;
    if (!write_header(book, &header))
        fail_io("fwrite");
    close_checked(book);
    fclose(input);
    const sigset_t before = hold_signals();
    const int renamed = rename(book_temp_name, target.c_str()) == 0;
    if (renamed)
        book_temp_name[0] = 0;
    release_signals(before);
    if (!renamed)
        fail_with_perror(book_name);
}

void build_book(const char* pgn_file_name, const char* book_file_name, int depth, int min_played)
{
    const u32 start = get_time_cs();
    emit_text("Creating book %s %d\n", book_file_name, depth);

    // The target and the PGN file are checked before anything is taken that
    // would need giving back, and the target now rather than after the build.
    check_book_target(book_file_name, resolve_book_target(book_file_name));
    FILE* pgn = fopen(pgn_file_name, "rb");
    if (pgn == nullptr) {
        // Nothing was built: the exit code must not report success.
        perror(pgn_file_name);
        exit(1);
    }
    if (same_file(pgn, book_file_name)) {
        fclose(pgn);
        char text[160];
        snprintf(text, sizeof text, "Book file %.60s is the PGN file itself: nothing written",
                 book_file_name);
        exit_with_message(text);
    }

    Builder b;
    memset(&b, 0, sizeof b);
    b.pgn = pgn;
    take_build_tables(&b);
    setup_new_game(b.pos);
    book_run_count = 0;
    runs_owned = 0;
    b.depth = depth;
    active_build = &b;
    catch_build_signals();

    read_games(&b, pgn, start);
    if (b.moves_counted == 0) {
        // An empty book would only replace a good one with nothing.
        char text[200];
        snprintf(text, sizeof text, "No game counted in %.60s: book %.60s left as it was",
                 pgn_file_name, book_file_name);
        fail_with_text(text);
    }
    write_book_run(b.pool, b.pool_count, depth);
    emit_text("\n");

    while (merge_book_runs() == 0) {
    }
    char run_name[32];
    run_file_name(run_name, sizeof run_name, 0);
    filter_book(run_name, book_file_name, min_played);
    remove(run_name);
    runs_owned = 0;
    release_build();
}
