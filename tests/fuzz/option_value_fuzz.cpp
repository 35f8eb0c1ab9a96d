// SPDX-License-Identifier: GPL-2.0-or-later
// option_value against an independent reading of the same rules: blanks, a
// sign, decimal digits up to the first other character, clamped to 32 bits.
#include "cli/options.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int expected_value(const char* text)
{
    while (blank(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    std::int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (magnitude <= std::int64_t{1} << 32)
            magnitude = magnitude * 10 + (*text - '0');
    std::int64_t const value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int>(value);
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 256)
        return 0;
    char text[257];
    std::memcpy(text, data, size);
    text[size] = '\0';

    errno = 1234;
    int const got = option_value(text);
    if (errno != 1234)
        std::abort();
    if (got != expected_value(text))
        std::abort();
    return 0;
}
