// Checked memory, fatal errors and the one output channel with its log file.
#pragma once

#include <cstddef>
#include <cstdio>

// Protocol modes held in protocol_mode.
constexpr int PROTOCOL_CONSOLE = 0;
constexpr int PROTOCOL_XBOARD = 1;
constexpr int PROTOCOL_UCI = 2;

extern FILE* log_file;
// 0: the output channel prints nothing (-q). Set by start-up; 1 at start.
extern int output_enabled;
// PROTOCOL_CONSOLE, _XBOARD or _UCI; set by the command handler and only
// ever raised ("xboard", "uci").
extern int protocol_mode;

int emit_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
int emit_text_any_mode(const char* format, ...) __attribute__((format(printf, 1, 2)));
void open_log_file(const char* name);
void close_log_file();
[[noreturn]] void exit_with_message(const char* text);
void* alloc_mem(size_t bytes);
// A zeroed block; large ones come as fresh pages from the system, zero
// without a clearing pass and only touched when used.
void* alloc_zeroed_mem(size_t bytes);
void free_mem(void* block);
char* dup_string(const char* text);
