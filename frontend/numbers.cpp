#include "frontend/numbers.h"

#include <climits>
#include <cstdlib>

long long read_decimal(const char* text, bool* whole)
{
    if (text == nullptr) {
        if (whole != nullptr)
            *whole = false;
        return 0;
    }
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    if (whole != nullptr)
        *whole = end != text && *end == '\0';
    return value;
}

int read_int(const char* text)
{
    return int(clamp_value(read_decimal(text), INT_MIN, INT_MAX));
}
