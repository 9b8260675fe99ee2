// Regular files only, opened without blocking.
#include "board/fileopen.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE* open_regular_file(const char* name, const char* mode)
{
    const int access_mode = std::strchr(mode, '+') != nullptr ? O_RDWR : O_RDONLY;
    // Non-blocking, so that opening a pipe without a writer returns at once.
    const int fd = open(name, access_mode | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = NOT_REGULAR_FILE;
    else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    FILE* stream = error == 0 ? fdopen(fd, mode) : nullptr;
    if (stream == nullptr) {
        if (error == 0)
            error = errno;
        close(fd);
        errno = error;
    }
    return stream;
}

const char* file_error_text(int error)
{
    return error == NOT_REGULAR_FILE ? "not a regular file" : std::strerror(error);
}

void report_file_error(const char* name)
{
    const int error = errno;
    std::fprintf(stderr, "%s: %s\n", name, file_error_text(error));
    std::fflush(stderr);
}
