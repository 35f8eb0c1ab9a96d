// SPDX-License-Identifier: GPL-2.0-or-later
#include "runtime/runtime.h"

#include <cerrno>
#include <climits>

namespace rt {

long to_long(const char* text, char** end, int& error)
{
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool const negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (*p < '0' || *p > '9') {
        if (end != nullptr)
            *end = const_cast<char*>(text);
        return 0;
    }
    // The magnitude is gathered as unsigned, up to |LONG_MIN|.
    unsigned long const limit = negative ? 0UL - static_cast<unsigned long>(LONG_MIN) : LONG_MAX;
    unsigned long magnitude = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        auto const digit = static_cast<unsigned>(*p - '0');
        if (magnitude > (limit - digit) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (end != nullptr)
        *end = const_cast<char*>(p);
    if (overflow) {
        error = ERANGE;
        return negative ? LONG_MIN : LONG_MAX;
    }
    return negative ? static_cast<long>(0UL - magnitude) : static_cast<long>(magnitude);
}

}
