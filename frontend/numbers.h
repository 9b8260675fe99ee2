// The one reader of the decimal numbers the front end is given: command
// words, UCI values, command-line options and configuration keys.
#pragma once

// The number `text` begins with: leading blanks and a sign allowed, digits up
// to the first other character. Text without digits (or nullptr) reads as 0;
// a number beyond the range of long long is saturated to it. When `whole` is
// given it tells whether the number was all of the text.
long long read_decimal(const char* text, bool* whole = nullptr);

// A value brought into [low, high].
constexpr long long clamp_value(long long value, long long low, long long high)
{
    return value < low ? low : (value > high ? high : value);
}

// read_decimal saturated to the range of int.
int read_int(const char* text);
