// Configuration file and command-line settings for the six configurable keys.
//
// The file is read word by word with a reader of our own rather than fscanf,
// so that every word and every string line stays within its buffer whatever
// the file holds. A number or size is the next word wherever it stands, also
// on a later line; a key name or a comment standing there is no value, so a
// value left out never swallows the next setting.
#include "frontend/config.h"
#include "frontend/numbers.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/clock.h"
#include "board/fileopen.h"
#include "board/output.h"
#include "search/hashmem.h"

namespace {

char default_log_file_name[] = "";
char default_book_file_name[] = "quarvel.bok";
char default_tb_path[] = "c:\\chess\\tb";

} // namespace

int resign_threshold = 700;
int hash_total_bytes = 33554432;
char* log_file_name = default_log_file_name;
char* book_file_name = default_book_file_name;
int tb_cache_bytes = 1048576;
char* tb_path = default_tb_path;

ConfigItem CONFIG_TABLE[CONFIG_COUNT] = {
    {"RESIGN", CONFIG_INT, &resign_threshold, 0, 0},
    {"HASH", CONFIG_SIZE, &hash_total_bytes, 0, 0},
    {"LOGFNAME", CONFIG_STRING, &log_file_name, 0, 0},
    {"BOOK", CONFIG_STRING, &book_file_name, 0, 0},
    {"EGTB_HASH_SIZE", CONFIG_SIZE, &tb_cache_bytes, 0, 0},
    {"TB_PATH", CONFIG_STRING, &tb_path, 0, 0},
};

std::int32_t parse_size(const char* text)
{
    if (text == nullptr || text[0] == '\0')
        return 0;
    long long number = read_decimal(text);
    long long scale = 1;
    switch (text[std::strlen(text) - 1]) {
        case 'K':
        case 'k': scale = 1024; break;
        case 'M':
        case 'm': scale = 1048576; break;
        case 'G':
        case 'g': scale = 1073741824; break;
        default: break;
    }
    // Sizes are held in 32 bits; anything beyond saturates instead of wrapping.
    if (number > INT32_MAX / scale)
        return INT32_MAX;
    if (number < INT32_MIN / scale)
        return INT32_MIN;
    return std::int32_t(number * scale);
}

namespace {

ConfigItem* find_config_item(const char* name)
{
    for (ConfigItem& item : CONFIG_TABLE)
        if (std::strcmp(item.name, name) == 0)
            return &item;
    return nullptr;
}

// A whole decimal integer, optionally signed, that fits in 32 bits.
bool parse_strict_int(const char* text, int* result)
{
    if (text == nullptr || text[0] == '\0')
        return false;
    bool whole = false;
    long long value = read_decimal(text, &whole);
    if (!whole || value < INT32_MIN || value > INT32_MAX)
        return false;
    *result = int(value);
    return true;
}

// Digits with at most one K, M or G suffix, giving a positive size in bytes.
// "64MB", "0", "-1M" or "3M1" are refused: each would leave a table empty,
// tiny or wrapped around. A long number saturates far above every limit
// instead of wrapping, so that it still reads as too large.
bool parse_strict_size(const char* text, std::int64_t* result)
{
    if (text == nullptr || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    const char* p = text;
    std::int64_t number = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
        number = std::min<std::int64_t>(number * 10 + (*p - '0'), std::int64_t(1) << 32);
    std::int64_t scale = 1;
    if (*p != '\0') {
        if (std::strchr("KkMmGg", *p) == nullptr || p[1] != '\0')
            return false;
        scale = std::strchr("Kk", *p) ? 1024 : std::strchr("Mm", *p) ? 1048576 : 1073741824;
    }
    if (number == 0)
        return false;
    *result = number * scale;
    return true;
}

// A well-formed hash size above the largest budget is cut to it, as the UCI
// option is; any other size must fit the 32-bit setting.
bool store_size(ConfigItem* item, const char* text)
{
    std::int64_t size = 0;
    if (!parse_strict_size(text, &size))
        return false;
    if (item->value == &hash_total_bytes && size > HASH_MAX_BYTES) {
        char limit[32];
        emit_text("Hash size %s too large, using %s\n", text, format_size(limit, HASH_MAX_BYTES));
        size = HASH_MAX_BYTES;
    }
    if (size > INT32_MAX)
        return false;
    *static_cast<int*>(item->value) = int(size);
    return true;
}

// A replaced value is never freed, since callers may still hold it; the list
// keeps every value we made reachable for the life of the process.
std::vector<char*>& made_values()
{
    static std::vector<char*>* made = new std::vector<char*>;
    return *made;
}

// Stores a value for the item; false (and nothing changed) when it is unusable.
bool store_config_value(ConfigItem* item, const char* text)
{
    switch (item->kind) {
        case CONFIG_STRING: {
            char* copy = dup_string(text != nullptr ? text : "");
            made_values().push_back(copy);
            *static_cast<char**>(item->value) = copy;
            return true;
        }
        case CONFIG_INT: return parse_strict_int(text, static_cast<int*>(item->value));
        case CONFIG_SIZE: return store_size(item, text);
        default: return false;
    }
}

// ---- the file reader ----

bool is_blank(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Next word, at most CONFIG_WORD_LIMIT characters kept (the rest of a longer
// word is dropped, so it cannot turn into further words). The character that
// ends the word is left unread, so the caller still sees the line end.
bool read_word(FILE* file, char* word)
{
    int c = std::fgetc(file);
    while (c != EOF && std::isspace(c))
        c = std::fgetc(file);
    if (c == EOF)
        return false;
    int length = 0;
    while (c != EOF && !std::isspace(c)) {
        if (length < CONFIG_WORD_LIMIT)
            word[length++] = char(c);
        c = std::fgetc(file);
    }
    word[length] = '\0';
    if (c != EOF)
        std::ungetc(c, file);
    return true;
}

// Rest of the current line (its '\n' consumed), at most CONFIG_LINE_LIMIT
// characters kept. Returns false when the line was longer and got cut.
bool read_rest_of_line(FILE* file, char* line)
{
    int length = 0;
    bool cut = false;
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n') {
        if (length < CONFIG_LINE_LIMIT)
            line[length++] = char(c);
        else
            cut = true;
    }
    line[length] = '\0';
    return !cut;
}

void skip_rest_of_line(FILE* file)
{
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n') {
    }
}

void load_string_value(FILE* file, ConfigItem* item)
{
    char line[CONFIG_LINE_LIMIT + 1];
    if (!read_rest_of_line(file, line))
        emit_text("Warning: line of %s longer than %d characters, cut\n", item->name,
                  CONFIG_LINE_LIMIT);
    char* open = std::strchr(line, '"');
    if (open == nullptr) {
        // No quote at all: the empty text, as the file format has it; say so
        // when something unquoted stood there, which was surely meant as a value.
        char* p = line;
        while (*p != '\0' && is_blank(static_cast<unsigned char>(*p)))
            ++p;
        if (*p != '\0')
            emit_text("Warning: value of %s is not quoted: %s\n", item->name, p);
        store_config_value(item, "");
        item->is_set = 1;
        return;
    }
    char* value = open + 1;
    char* close = std::strchr(value, '"');
    if (close == nullptr) {
        emit_text("Warning: missing closing quote for %s\n", item->name);
        close = value + std::strlen(value);
        // The value runs to the line end; a carriage return or trailing blanks
        // there are never part of a file or directory name.
        while (close > value && std::isspace(static_cast<unsigned char>(close[-1])))
            --close;
    }
    *close = '\0';
    store_config_value(item, value);
    item->is_set = 1;
}

// Returns true when the word read is not the value but the next thing to
// handle (a key or a comment); it is left in `word`.
bool load_number_value(FILE* file, ConfigItem* item, char* word)
{
    if (!read_word(file, word)) {
        emit_text("Warning: no value for %s\n", item->name);
        return false;
    }
    if (word[0] == '#' || find_config_item(word) != nullptr) {
        emit_text("Warning: no value for %s\n", item->name);
        return true;
    }
    if (!store_config_value(item, word)) {
        emit_text("Warning: bad value for %s: %s\n", item->name, word);
        return false;
    }
    item->is_set = 1;
    return false;
}

} // namespace

void set_config_value(const char* key, const char* value)
{
    ConfigItem* item = find_config_item(key);
    if (item == nullptr)
        return;
    if (!store_config_value(item, value)) {
        // Left unfixed, so a good value from the file can still apply.
        emit_text("Warning: bad value for %s: %s\n", item->name, value != nullptr ? value : "");
        return;
    }
    item->is_set = 1;
    item->fixed = 1;
}

bool config_key_set(const char* key)
{
    const ConfigItem* item = find_config_item(key);
    return item != nullptr && item->is_set;
}

void load_config(const char* file_name)
{
    if (file_name == nullptr || file_name[0] == '\0') {
        std::fprintf(stderr, "No config file\n");
        return;
    }
    FILE* file = open_regular_file(file_name, "r");
    if (file == nullptr) {
        report_file_error(file_name);
        return;
    }
    emit_text("Loading configuration: %s\n", file_name);

    char word[CONFIG_WORD_LIMIT + 1];
    bool pending = false; // `word` already holds the next word
    while (pending || read_word(file, word)) {
        pending = false;
        if (word[0] == '#') {
            skip_rest_of_line(file);
            continue;
        }
        ConfigItem* item = find_config_item(word);
        if (item == nullptr) {
            emit_text("Warning: unknown symbol: %s\n", word);
            continue;
        }
        if (item->fixed) {
            skip_rest_of_line(file);
            continue;
        }
        if (item->kind == CONFIG_STRING)
            load_string_value(file, item);
        else
            pending = load_number_value(file, item, word);
    }
    std::fclose(file);
}

void release_config_values()
{
    for (char* value : made_values())
        std::free(value);
    made_values().clear();
}

void print_config()
{
    for (const ConfigItem& item : CONFIG_TABLE) {
        switch (item.kind) {
            case CONFIG_STRING: {
                const char* text = *static_cast<char* const*>(item.value);
                std::printf("%s \"%s\"\n", item.name, text != nullptr ? text : "");
                break;
            }
            case CONFIG_INT:
                std::printf("%s %d\n", item.name, *static_cast<const int*>(item.value));
                break;
            case CONFIG_SIZE: {
                int size = *static_cast<const int*>(item.value);
                if (size >= 1048576)
                    std::printf("%s %dM\n", item.name, size / 1048576);
                else
                    std::printf("%s %dK\n", item.name, size / 1024);
                break;
            }
            default: break;
        }
    }
    std::fflush(stdout);
}
