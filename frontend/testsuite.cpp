// EPD test-suite runner: searches every position of a suite for a fixed time
// and tells whether the move found is one of the best moves ("bm") or avoids
// every listed move ("am").
#include "frontend/testsuite.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "board/board.h"
#include "board/diagram.h"
#include "board/fileopen.h"
#include "frontend/frontend.h"
#include "search/history.h"
#include "search/root.h"
#include "search/search.h"
#include "search/think.h"
#include "search/timecontrol.h"
#include "search/transposition.h"

int test_avoid_mode = 0;
Move test_solutions[TEST_SOLUTION_LIMIT];
int test_solution_count = 0;
int test_extra_plies = 3;
int test_streak = 0;
std::uint32_t test_first_solve_time = 0;
int test_solved = 0;

namespace {

constexpr int EPD_LINE_LIMIT = 255; // characters of one suite line
constexpr int TEST_NAME_LIMIT = 31; // characters of a position's name
constexpr int MOVE_WORD_LIMIT = 19; // characters of one solution word

struct SuiteFiles {
    FILE* suite = nullptr;
    FILE* result_log = nullptr;
    FILE* failed = nullptr;
};

void close_suite_files(SuiteFiles* files)
{
    for (FILE** f : {&files->suite, &files->result_log, &files->failed})
        if (*f != nullptr) {
            std::fclose(*f);
            *f = nullptr;
        }
}

// Opens one of the runner's files in the shared temporary folder. Anyone can
// plant a name there, so a symbolic link is never followed, a file must be a
// plain one of ours with no second name, and it is emptied only after these
// checks. A refusal is reported; the run goes on without the file.
FILE* open_shared_temp(const std::string& name, bool append)
{
    const char* path = name.c_str();
    // Non-blocking, so that a planted pipe cannot hang the run.
    const int fd = open(
        path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : 0),
        0666);
    if (fd < 0) {
        std::perror(path);
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) {
        std::fprintf(stderr, "%s: not a file of our own, left alone\n", path);
        close(fd);
        return nullptr;
    }
    FILE* stream = nullptr;
    if (fcntl(fd, F_SETFL, append ? O_APPEND : 0) == 0 && (append || ftruncate(fd, 0) == 0))
        stream = fdopen(fd, append ? "a" : "w");
    if (stream == nullptr) {
        std::perror(path);
        close(fd);
    }
    return stream;
}

// Reads one line of any length. Returns false at the end of the file; *overlong
// tells that the line did not fit the limit (its text is then cut).
bool read_suite_line(FILE* stream, char* line, bool* overlong)
{
    int length = 0;
    int c;
    *overlong = false;
    while ((c = std::fgetc(stream)) != EOF && c != '\n') {
        if (length < EPD_LINE_LIMIT)
            line[length++] = char(c);
        else
            *overlong = true;
    }
    line[length] = '\0';
    return c != EOF || length > 0 || *overlong;
}

// Name of a test: the word after "id", or the text between its quotes.
void read_test_name(const char* line, int number, char* name)
{
    const char* id = std::strstr(line, "id ");
    if (id == nullptr) {
        std::snprintf(name, TEST_NAME_LIMIT + 1, "test %d", number);
        return;
    }
    const char* p = id + 3;
    while (*p == ' ' || *p == '\t')
        p++;
    const char* end;
    if (*p == '"') {
        p++;
        end = std::strchr(p, '"');
        if (end == nullptr)
            end = p + std::strcspn(p, ";");
    } else {
        end = p + std::strcspn(p, " \t;");
    }
    int length = int(end - p);
    if (length > TEST_NAME_LIMIT)
        length = TEST_NAME_LIMIT;
    std::memcpy(name, p, size_t(length));
    name[length] = '\0';
}

[[noreturn]] void fail_invalid_solution(Position* pos, const char* word)
{
    show_board(pos);
    emit_text("Invalid move: %s\n", word);
    std::fprintf(stderr, "Invalid move: %s\n", word);
    close_log_file();
    std::exit(1);
}

// Reads the move words after "bm " / "am " up to ";" or the end of the line.
void read_solutions(Position* pos, const char* p)
{
    test_solution_count = 0;
    while (*p != '\0' && *p != ';' && std::isprint(static_cast<unsigned char>(*p))) {
        while (*p == ' ' || *p == '\t')
            p++;
        if (*p == '\0' || *p == ';')
            break;
        size_t length = std::strcspn(p, " \t;");
        char word[MOVE_WORD_LIMIT + 2];
        // A word past the limit cannot be a move; it fails the test below.
        size_t kept = length > MOVE_WORD_LIMIT + 1 ? MOVE_WORD_LIMIT + 1 : length;
        std::memcpy(word, p, kept);
        word[kept] = '\0';
        p += length;
        Move move = kept <= MOVE_WORD_LIMIT ? parse_move(pos, word) : 0;
        if (!is_generated_legal_move(pos, move))
            fail_invalid_solution(pos, word);
        if (test_solution_count < TEST_SOLUTION_LIMIT)
            test_solutions[test_solution_count++] = move;
    }
}

void prepare_search(Position* pos)
{
    clear_hash();
    *pos->key_top = compute_hash_key(pos);
    for (auto& slot : pos->killers)
        slot[0] = slot[1] = 0;
    std::memset(history, 0, sizeof history);
    show_board(pos);
}

constexpr int CS_PER_SECOND = 100;

// The running totals of one suite.
struct SuiteTally {
    int tested = 0;
    int solved = 0;
    unsigned long node_sum = 0;
    u32 time_sum = 0;
    char average[16] = "0.00";
};

// The result log is appended to, the list of failed positions started anew;
// either may be refused. Without the suite itself no position can be tested:
// that must not look like success, so the run ends with a failure.
void open_suite_files(SuiteFiles* files, const char* file_name)
{
    files->result_log = open_shared_temp(temp_path("quarvel.test"), true);
    files->failed = open_shared_temp(temp_path("failed.epd"), false);
    files->suite = open_regular_file(file_name, "r");
    if (files->suite == nullptr) {
        report_file_error(file_name);
        close_suite_files(files);
        close_log_file();
        std::exit(1);
    }
}

// Centiseconds per position; a huge -t must not wrap to a negative time.
int centiseconds_per_position(int seconds)
{
    if (seconds <= 0)
        return 0;
    return seconds > INT_MAX / CS_PER_SECOND ? INT_MAX : seconds * CS_PER_SECOND;
}

// Sets up the position of a suite line and tells whether its moves are to be
// found ("bm") or avoided ("am"). Returns the text after the operation's
// name, or nullptr when the line is skipped (with a note unless it is blank).
const char* read_test_line(Position* pos, const char* line, int line_number)
{
    const char* ops = std::strstr(line, "bm ");
    test_avoid_mode = 0;
    if (ops == nullptr) {
        ops = std::strstr(line, "am ");
        test_avoid_mode = 1;
    }
    if (ops == nullptr) {
        if (line[0] != '\0')
            emit_text("Skipping line %d: neither bm nor am\n", line_number);
        return nullptr;
    }
    if (!set_board_for_play(pos, line)) {
        emit_text("Skipping line %d: not a position\n", line_number);
        return nullptr;
    }
    return ops;
}

void search_test_position(Position* pos, const char* name, int search_time)
{
    emit_text("Testing: %s   %s:", name, test_avoid_mode ? "Avoid" : "Solution");
    for (int i = 0; i < test_solution_count; i++)
        emit_text(" %s", format_move_san(pos, test_solutions[i]));
    emit_text("\n");

    prepare_search(pos);
    stop_search = 0;
    time_target = time_maximum = search_time;
    test_streak = 0;
    test_first_solve_time = 0;
    test_solved = 0;
    think(pos);
}

// Counts the searched position and reports it on screen, in the result log,
// and (when not solved) in the list of failed positions.
void report_test_result(Position* pos, const SuiteFiles* files, SuiteTally* tally, const char* name,
                        const char* line)
{
    int score = pos->root_score;
    u32 now = get_time_cs();
    tally->tested++;
    tally->node_sum += (unsigned long)node_count;
    // A search that ran no iteration (a depth limit of 0, a position
    // without moves) leaves no move of this position behind.
    char best[32] = "none";
    if (is_generated_legal_move(pos, pos->pv[0][0]))
        std::snprintf(best, sizeof best, "%s", format_move_san(pos, pos->pv[0][0]));
    u32 start = u32(pos->search_start);
    u32 solve_end = test_solved ? test_first_solve_time : now;
    if (test_solved)
        tally->solved++;
    tally->time_sum += solve_end - start;
    char score_text[32];
    format_score(score_text, score);
    std::snprintf(tally->average, sizeof tally->average, "%s",
                  format_time(0, tally->time_sum / u32(tally->tested)));

    emit_text("Best move: %s (%s)  %s ", best, score_text, test_solved ? "Solved" : "Not solved");
    emit_text("(%d/%d)\n", tally->solved, tally->tested);
    if (files->result_log != nullptr) {
        std::fprintf(files->result_log, " %s: %ld nodes %s %s %s\n", name, long(node_count),
                     format_time(start, solve_end), best, test_solved ? "Solved" : "Failed");
        std::fflush(files->result_log);
    }
    if (!test_solved && files->failed != nullptr) {
        std::fprintf(files->failed, "%s\n", line);
        std::fflush(files->failed);
    }
    emit_text("\n");
}

void print_suite_summary(u32 suite_start, const SuiteTally* tally)
{
    if (tally->tested == 0)
        return;
    u32 now = get_time_cs();
    u32 elapsed = now - suite_start;
    if (elapsed < 1)
        elapsed = 1;
    int nps = int((tally->node_sum / elapsed) * CS_PER_SECOND);
    char total[16];
    std::snprintf(total, sizeof total, "%s", format_time(suite_start, now));
    emit_text("Time: %s, Average: %s, Nodes: %lu, nps: %d\n", total, tally->average,
              tally->node_sum, nps);
    emit_text("Summary: %d/%d\n", tally->solved, tally->tested);
}

} // namespace

void run_test_suite(const char* file_name, int seconds, int extra_plies)
{
    u32 suite_start = get_time_cs();
    emit_text("Testing %s, %d seconds, extra ply %d\n", file_name, seconds, extra_plies);

    SuiteFiles files;
    open_suite_files(&files, file_name);
    Position* pos = create_position();
    setup_new_game(pos);
    test_extra_plies = extra_plies;
    if (files.result_log != nullptr)
        std::fprintf(files.result_log, "Testing %s (%d seconds)\n", file_name, seconds);
    test_mode = 1;

    const int search_time = centiseconds_per_position(seconds);
    SuiteTally tally;
    char line[EPD_LINE_LIMIT + 1];
    bool overlong;
    int line_number = 0;
    while (read_suite_line(files.suite, line, &overlong)) {
        if (line[0] == '*')
            continue;
        line[std::strcspn(line, "\r\n")] = '\0';
        line_number++;
        if (overlong) {
            emit_text("Skipping line %d: longer than %d characters\n", line_number, EPD_LINE_LIMIT);
            continue;
        }
        const char* ops = read_test_line(pos, line, line_number);
        if (ops == nullptr)
            continue;
        char name[TEST_NAME_LIMIT + 1];
        read_test_name(line, tally.tested + 1, name);
        read_solutions(pos, ops + 2);
        search_test_position(pos, name, search_time);
        report_test_result(pos, &files, &tally, name, line);
    }
    test_mode = 0;

    print_suite_summary(suite_start, &tally);
    close_suite_files(&files);
    destroy_position(pos);
}

void check_test_solution(Position* pos, int final)
{
    Move best = pos->pv[0][0];
    bool listed = false;
    for (int i = 0; i < test_solution_count; i++)
        if (test_solutions[i] == best)
            listed = true;

    if (test_avoid_mode) {
        test_solved = 1;
        if (listed) {
            test_solved = 0;
            test_streak = 0;
            test_first_solve_time = 0;
            return;
        }
    } else {
        test_solved = 0;
        if (!listed) {
            test_streak = 0;
            test_first_solve_time = 0;
            return;
        }
        test_solved = 1;
    }
    if (final)
        test_streak++;
    if (test_first_solve_time == 0)
        test_first_solve_time = get_time_cs();
    if (!test_avoid_mode && test_streak == test_extra_plies)
        stop_search = 1;
}
