// Configuration file: six keys read from "quarvel.cfg" (or the file given
// with -c), below the command line and above the built-in defaults.
#pragma once

#include <cstdint>

constexpr int CONFIG_STRING = 0;
constexpr int CONFIG_INT = 1;
constexpr int CONFIG_SIZE = 2;

// Longest word and longest string line the reader keeps, terminator excluded.
constexpr int CONFIG_WORD_LIMIT = 63;
constexpr int CONFIG_LINE_LIMIT = 255;

struct ConfigItem {
    const char* name;
    int kind;
    void* value; // char** for CONFIG_STRING, int32_t* otherwise
    int is_set;  // a value came from the file or the command line
    int fixed;   // the command line gave the value; the file leaves it
};

// The settings themselves. Strings live in memory of their own once set; a
// replaced string is not freed (callers may still hold the old pointer).
extern int resign_threshold; // RESIGN, centipawns (700)
extern int hash_total_bytes; // HASH, bytes (32M)
extern char* log_file_name;  // LOGFNAME, "" = no log
extern char* book_file_name; // BOOK, "quarvel.bok"
extern int tb_cache_bytes;   // EGTB_HASH_SIZE, bytes (1M)
extern char* tb_path;        // TB_PATH, directories separated by ';'

constexpr int CONFIG_COUNT = 6;
extern ConfigItem CONFIG_TABLE[CONFIG_COUNT];

// Applies a command-line value to the key and marks it fixed. Unknown keys
// change nothing.
void set_config_value(const char* key, const char* value);
// True when the command line or the file gave the key a value.
bool config_key_set(const char* key);

// Reads the configuration file; a missing file is reported and ignored.
void load_config(const char* file_name);

// Frees every string value the reader made. Only for a process that reads
// configuration files over and over and has first put every string key back
// to a value of its own (the fuzz harness): the engine reads one file once.
void release_config_values();

// Lists every key with its value on standard output (option -C).
void print_config();

// "64M" -> 67108864: the leading decimal number scaled by a K/M/G suffix
// (either case). An empty text gives 0; values beyond the 32-bit range are
// clamped to the largest value that fits.
std::int32_t parse_size(const char* text);
