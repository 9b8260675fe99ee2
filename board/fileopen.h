// Opening the files the engine reads (endgame tables, the book, a test suite,
// the configuration file): without blocking, and only when they are regular
// files. A pipe or a device named like one would hang the engine, and a
// folder would read as an empty file.
#pragma once

#include <cerrno>
#include <cstdio>

// The errno of a file that exists but is no regular file and no folder
// (folders give EISDIR); file_error_text names it.
constexpr int NOT_REGULAR_FILE = EINVAL; // which these opens never give otherwise

// Like fopen with a reading mode ("r", "rb" or "rb+"); nullptr with errno
// set when the file cannot be opened or is not a regular file.
FILE* open_regular_file(const char* name, const char* mode);
// The system's text for errno, or "not a regular file".
const char* file_error_text(int error);
// "NAME: reason" on standard error, as perror does.
void report_file_error(const char* name);
