// Checked memory, fatal errors and the one output channel with its log file.
#pragma once

#include <cstddef>
#include <cstdio>

extern FILE* log_file;
extern int output_enabled; // owned by start-up; 1 at start
extern int protocol_mode;  // owned by the command handler: 0 console, 1 xboard, 2 UCI

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
