// Start-up: defaults, command line, configuration file, tables, then either
// a one-shot task (test suite, book building) or the main loop.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include "board/board.h"
#include "book/book.h"
#include "frontend/commands.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/input.h"
#include "frontend/mainloop.h"
#include "frontend/numbers.h"
#include "frontend/startup.h"
#include "frontend/testsuite.h"
#include "search/evaluate.h"
#include "search/hashmem.h"
#include "search/multipv.h"
#include "search/root.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "search/transposition.h"
#include "tablebases/tbprobe.h"

namespace {

const char* const OPTION_STRING = "qdnHL:m:c:CaN:b:h:exT:t:p:B:I:D:oP:l:v";

const char* const USAGE_LINES[] = {
    "usage: quarvel [options]\n",
    "   Book options:\n",
    "   -B FILE       Use FILE as opening book\n",
    "   -I PGN-file   Build opening book from PGN-file\n",
    "   -D DEPTH      Cut book lines at DEPTH\n",
    "   -P MINPLAYED  Add moves played more then n-times\n",
    "   -o            Disable opening book\n",
    "\n   Output options:\n",
    "   -v            Print the version number and exit\n",
    "   -d            Print diagram\n",
    "   -n            Print move number before whites move\n",
    "   -H            Print hash usage\n",
    "   -q            Suppress all output\n",
    "   -l FILE       Send log output to FILE\n",
    "\n   Search options:\n",
    "   -a            Start in analyze mode\n",
    "   -N MOVES      Start in analyze mode and analyze N-best moves\n",
    "   -e            Disable Pondering\n",
    "   -m DEPTH      Max depth\n",
    "\n   Other options:\n",
    "   -c FILE       Configuration file\n",
    "   -C            Print default configuration\n",
    "   -h SIZE       Hash size (xxM, xxK or bytes)\n",
    "   -b FEN        Load FEN position\n",
    "   -x            Disable endgame tables\n",
    "\n   Test suite:\n",
    "   -T FILE       Run an epd test suite from FILE\n",
    "   -t SEC        Test time (default 10 seconds)\n",
    "   -p PLY        Extra test ply (default 3)\n",
};

// Settings that live only while start-up runs.
struct StartupSettings {
    const char* config_file = "quarvel.cfg";
    bool config_named = false; // -c given
    const char* fen = nullptr;
    const char* test_file = nullptr;
    int test_seconds = 10;
    int test_extra_plies = 3;
    const char* pgn_file = nullptr;
    int book_depth = 60;
    int book_min_played = 2;
};

// The usage text is the answer to a command line the program cannot use;
// the exit code says so.
[[noreturn]] void print_usage()
{
    for (const char* line : USAGE_LINES)
        fputs(line, stdout);
    fflush(stdout);
    exit(1);
}

void apply_options(int argc, char** argv, StartupSettings* settings)
{
    opterr = 1;
    int option;
    while ((option = getopt(argc, argv, OPTION_STRING)) != -1) {
        switch (option) {
            case 'q': output_enabled = 0; break;
            case 'd': show_diagram = 1; break;
            case 'n': show_move_numbers = 1; break;
            case 'H': show_hash_usage = 1; break;
            case 'm':
                max_depth = read_int(optarg) * ONE_PLY;
                level_max_depth = max_depth;
                break;
            case 'c':
                settings->config_file = optarg;
                settings->config_named = true;
                break;
            case 'C': print_config(); exit(0);
            case 'a':
                analyze_mode = 1;
                search_requested = 1;
                break;
            case 'N':
                analyze_mode = 1;
                search_requested = 1;
                multipv_lines = read_int(optarg);
                break;
            case 'b': settings->fen = optarg; break;
            case 'h':
                set_config_value("HASH", optarg);
                printf("Hash size %d\n", hash_total_bytes);
                fflush(stdout);
                break;
            case 'e': ponder_enabled = 0; break;
            case 'x': tb_enabled = 0; break;
            case 'T': settings->test_file = optarg; break;
            case 't': settings->test_seconds = read_int(optarg); break;
            case 'p': settings->test_extra_plies = read_int(optarg); break;
            case 'B': set_config_value("BOOK", optarg); break;
            case 'I':
                settings->pgn_file = optarg;
                tb_enabled = 0;
                break;
            case 'D': settings->book_depth = read_int(optarg); break;
            case 'o': book_enabled = 0; break;
            case 'P': settings->book_min_played = read_int(optarg); break;
            case 'l': set_config_value("LOGFNAME", optarg); break;
            case 'v': emit_text("Quarvel %s\n", QUARVEL_VERSION); exit(0);
            default:
                // -L, a letter the string does not hold, a missing argument.
                print_usage();
        }
    }
}

// The default configuration file and book are optional, so their absence is
// not reported: GUIs that read the start-up text take "No such file or
// directory" there for a failed start. A file the user named still is.
bool default_file_absent(const char* name)
{
    return access(name, F_OK) != 0 && errno == ENOENT;
}

// The log appends text: never into the book or the games a build reads.
// Same file by device and inode, whatever the names.
void refuse_log_into(const char* name, const char* what)
{
    struct stat log_st, st;
    if (log_file == nullptr || name == nullptr || fstat(fileno(log_file), &log_st) != 0 ||
        stat(name, &st) != 0 || log_st.st_dev != st.st_dev || log_st.st_ino != st.st_ino)
        return;
    close_log_file();
    fprintf(stderr, "Log file %s is the %s: no log written\n", log_file_name, what);
    fflush(stderr);
}

void log_start_time()
{
    time_t now = time(nullptr);
    emit_text("Logfile: %s", ctime(&now));
}

} // namespace

int main(int argc, char** argv)
{
    Position* pos = create_position();
    StartupSettings settings;
    own_clock = 30000;

    apply_options(argc, argv, &settings);

    emit_text("Quarvel %s\n", QUARVEL_VERSION);
    input_init();
    setvbuf(stdin, nullptr, _IONBF, 0);
    printf("feature done=0\n");
    fflush(stdout);

    if (settings.config_named || !default_file_absent(settings.config_file))
        load_config(settings.config_file);
    open_log_file(log_file_name != nullptr ? log_file_name : "");
    refuse_log_into(book_enabled || settings.pgn_file != nullptr ? book_file_name : nullptr,
                    "book file");
    refuse_log_into(settings.pgn_file, "PGN file");
    log_start_time();
    // The book builder needs the keys, not the search's tables.
    start_engine(pos, !(settings.pgn_file != nullptr && settings.test_file == nullptr));
    if (settings.fen != nullptr)
        set_board_for_play(pos, settings.fen);

    // With an interface on the pipe the tables wait for "xboard" or the UCI
    // option, so that start-up answers at once.
    if (isatty(STDIN_FILENO) || settings.test_file != nullptr)
        init_tablebases_from_path();

    if (settings.test_file != nullptr) {
        run_test_suite(settings.test_file, settings.test_seconds, settings.test_extra_plies);
        fflush(stdout);
        close_log_file();
        destroy_position(pos);
        return 0;
    }
    if (settings.pgn_file != nullptr) {
        build_book(settings.pgn_file, book_file_name, settings.book_depth,
                   settings.book_min_played);
        fflush(stdout);
        close_log_file();
        destroy_position(pos);
        return 0;
    }
    if (book_enabled && !config_key_set("BOOK") && default_file_absent(book_file_name))
        book_enabled = 0;
    if (book_enabled)
        open_book(book_file_name);
    node_count = 0;
    run_main_loop(pos);
}
