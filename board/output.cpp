// The output channel: every line decides between standard output and the log
// file by protocol mode, and is flushed at once so that an interface sees it
// immediately and the log survives an abrupt end. Also checked memory and
// the fatal exit.
#include "board/output.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

FILE* log_file = nullptr;
int output_enabled = 1;
int protocol_mode = PROTOCOL_CONSOLE;

namespace {

int write_to(FILE* stream, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = vfprintf(stream, format, copy);
    va_end(copy);
    fflush(stream);
    return n;
}

} // namespace

int emit_text(const char* format, ...)
{
    if (!output_enabled)
        return 0;
    int n = 0;
    va_list args;
    va_start(args, format);
    if (protocol_mode == PROTOCOL_CONSOLE)
        n = write_to(stdout, format, args);
    if (log_file)
        n = write_to(log_file, format, args);
    va_end(args);
    return n;
}

int emit_text_any_mode(const char* format, ...)
{
    int n = 0;
    va_list args;
    va_start(args, format);
    if (output_enabled)
        n = write_to(stdout, format, args);
    if (log_file)
        n = write_to(log_file, format, args);
    va_end(args);
    return n;
}

void open_log_file(const char* name)
{
    if (!name || !name[0])
        return;
    log_file = fopen(name, "a");
    if (!log_file)
        perror(name);
}

void close_log_file()
{
    if (log_file)
        fclose(log_file);
    log_file = nullptr;
}

void exit_with_message(const char* text)
{
    emit_text("%s\n", text);
    // Standard error too: in xboard and UCI modes standard output belongs to
    // the interface, and with output off nothing else would show the reason.
    fprintf(stderr, "%s\n", text);
    fflush(stderr);
    exit(1);
}

void* alloc_mem(size_t bytes)
{
    void* block = malloc(bytes ? bytes : 1);
    if (!block)
        exit_with_message("malloc: ran out of memory");
    return block;
}

void* alloc_zeroed_mem(size_t bytes)
{
    void* block = calloc(bytes ? bytes : 1, 1);
    if (!block)
        exit_with_message("malloc: ran out of memory");
    return block;
}

void free_mem(void* block)
{
    free(block);
}

char* dup_string(const char* text)
{
    size_t n = strlen(text) + 1;
    char* copy = static_cast<char*>(alloc_mem(n));
    memcpy(copy, text, n);
    return copy;
}
