// The UCI option table, the "option" lines printed from it and "setoption".
#include "frontend/uci_options.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "board/board.h"
#include "book/book.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/numbers.h"
#include "search/hashmem.h"
#include "search/levels.h"
#include "search/settings.h"
#include "search/transposition.h"
#include "tablebases/tbprobe.h"

namespace {

// A spin value outside the announced range is brought back with a message,
// so that a GUI typo can neither overflow a byte count nor empty a table.
int clamp_option(const UciOption& option, const char* value)
{
    long long given = read_decimal(value);
    long long clamped = clamp_value(given, option.min, option.max);
    if (clamped != given)
        emit_text("%s %lld out of range %d..%d, using %lld\n", option.name, given, option.min,
                  option.max, clamped);
    return int(clamped);
}

bool set_hash(Position*, const UciOption& option, const char* value)
{
    int megabytes = clamp_option(option, value);
    // Interfaces send the size before every game: tables of that size stay
    // as they are, with what they have learnt.
    const bool in_use = megabytes * 1048576 == hash_total_bytes && hash_table != nullptr &&
                        pawn_hash_table != nullptr;
    hash_total_bytes = megabytes * 1048576;
    set_hash_sizes(hash_total_bytes);
    if (!in_use) {
        resize_hash(hash_entry_count);
        alloc_pawn_and_eval_cache();
    }
    return true;
}

bool set_multipv(Position*, const UciOption& option, const char* value)
{
    multipv_lines = clamp_option(option, value);
    return true;
}

bool set_tb_path(Position*, const UciOption&, const char* value)
{
    if (tb_enabled == 0)
        return true;
    char* path = static_cast<char*>(alloc_mem(std::strlen(value) + 1));
    std::strcpy(path, value);
    tb_path = path;
    emit_text("Initializing tablebases: %s\n", tb_path);
    tb_max_men = init_tablebases(tb_path);
    if (tb_max_men == 0) {
        emit_text("No endgame tables found\n");
        tb_enabled = 0;
    } else if (tb_cache_buffer == nullptr) {
        // GUIs send only the options the user changed: without a cache the
        // registered tables would never answer, so the configured size serves.
        tb_cache_buffer = alloc_mem(size_t(tb_cache_bytes));
        set_tb_cache(tb_cache_buffer, unsigned(tb_cache_bytes));
    }
    return true;
}

bool set_tb_cache_size(Position*, const UciOption& option, const char* value)
{
    if (tb_enabled == 0)
        return true;
    if (tb_max_men == 0) {
        tb_enabled = 0;
        return true;
    }
    tb_cache_bytes = clamp_option(option, value) * 1048576;
    char size_text[32];
    emit_text("Initializing tablebase cache: %s\n", format_size(size_text, tb_cache_bytes));
    void* block = alloc_mem(size_t(tb_cache_bytes));
    set_tb_cache(block, unsigned(tb_cache_bytes));
    // The cache now uses the new block only; the one it replaces can go.
    if (tb_cache_buffer != nullptr)
        free_mem(tb_cache_buffer);
    tb_cache_buffer = block;
    return true;
}

bool clear_hash_table(Position*, const UciOption&, const char*)
{
    clear_hash();
    return true;
}

bool set_own_book(Position*, const UciOption&, const char* value)
{
    // Only the exact word switches the book off.
    book_enabled = std::strcmp(value, "false") == 0 ? 0 : 1;
    return true;
}

bool set_play_level(Position* pos, const UciOption&, const char* value)
{
    // The level has its own answer to a value out of range.
    set_level(pos, read_int(value));
    return true;
}

// Adapters send "go ponder" only to engines that announce this option; the
// pondering itself follows "go ponder" and "ponderhit" whatever it says.
bool accept_ponder(Position*, const UciOption&, const char* value)
{
    return std::strcmp(value, "true") == 0 || std::strcmp(value, "false") == 0;
}

const char* const TYPE_NAMES[] = {"spin", "check", "string", "button"};

std::string joined_words(const char* const* tokens, int from, int to)
{
    std::string text;
    for (int i = from; i < to; i++) {
        if (i > from)
            text += ' ';
        text += tokens[i];
    }
    return text;
}

void ignore_line(int count, const char* const* tokens)
{
    emit_text("Ignored:");
    for (int i = 0; i < count; i++)
        emit_text(" %s", tokens[i]);
    emit_text("\n");
}

const UciOption* find_option(const std::string& name)
{
    for (int i = 0; i < UCI_OPTION_COUNT; i++) {
        const UciOption& option = UCI_OPTIONS[i];
        if (name == option.name || (option.also != nullptr && name == option.also))
            return &option;
    }
    return nullptr;
}

} // namespace

const UciOption UCI_OPTIONS[] = {
    {"Hash", nullptr, UCI_SPIN, "32", 1, 2047, set_hash},
    {"MultiPV", "multipv", UCI_SPIN, "1", 1, 20, set_multipv},
    {"NalimovPath", nullptr, UCI_STRING, "c:\\chess\\tb", 0, 0, set_tb_path},
    {"NalimovCache", nullptr, UCI_SPIN, "1", 1, 128, set_tb_cache_size},
    {"Clear Hash", nullptr, UCI_BUTTON, nullptr, 0, 0, clear_hash_table},
    {"OwnBook", nullptr, UCI_CHECK, "true", 0, 0, set_own_book},
    {"Play level", nullptr, UCI_SPIN, "11", 1, 11, set_play_level},
    {"Ponder", nullptr, UCI_CHECK, "false", 0, 0, accept_ponder},
};
const int UCI_OPTION_COUNT = int(std::size(UCI_OPTIONS));

void print_uci_options()
{
    for (const UciOption& option : UCI_OPTIONS) {
        std::printf("option name %s type %s", option.name, TYPE_NAMES[option.type]);
        if (option.type == UCI_SPIN)
            std::printf(" min %d max %d", option.min, option.max);
        if (option.default_value != nullptr)
            std::printf(" default %s", option.default_value);
        std::printf("\n");
    }
}

void uci_command_setoption(Position* pos, int count, const char* const* tokens)
{
    // The name runs from "name" to "value", the value from "value" to the end
    // of the line.
    int name_at = 1;
    while (name_at < count && std::strcmp(tokens[name_at], "name") != 0)
        name_at++;
    int value_at = name_at + 1;
    while (value_at < count && std::strcmp(tokens[value_at], "value") != 0)
        value_at++;
    const UciOption* option = find_option(joined_words(tokens, name_at + 1, value_at));
    if (option == nullptr) {
        if (count > 2)
            ignore_line(count, tokens);
        return;
    }
    if (option->type == UCI_BUTTON) {
        option->set(pos, *option, nullptr);
        return;
    }
    if (value_at + 1 >= count)
        return; // no value: nothing to set
    // A string keeps all its words, with single blanks between them.
    std::string value = option->type == UCI_STRING ? joined_words(tokens, value_at + 1, count)
                                                   : std::string(tokens[value_at + 1]);
    if (!option->set(pos, *option, value.c_str()))
        ignore_line(count, tokens);
}
