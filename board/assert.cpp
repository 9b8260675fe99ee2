// The failure path of ASSERT.
#include "board/assert.h"

#include <cstdio>
#include <cstdlib>

#include "board/output.h"

void assertion_failed(const char* file, int line, const char* condition)
{
    // Standard error, since standard output may belong to an interface;
    // the log too, where a user's report is most likely to come from.
    fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
    fflush(stderr);
    if (log_file) {
        fprintf(log_file, "%s:%d: assertion failed: %s\n", file, line, condition);
        fflush(log_file);
    }
    abort();
}
