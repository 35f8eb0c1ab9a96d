// SPDX-License-Identifier: GPL-2.0-or-later
#include "runtime/runtime.h"
#include "runtime/sys.h"

#include <cerrno>

namespace rt {

void put(Output& out, const char* text, std::size_t length)
{
    bool newline = false;
    for (std::size_t i = 0; i < length; ++i) {
        if (out.used == out.size && !flush(out) && out.fd < 0)
            return;
        out.buffer[out.used++] = text[i];
        ++out.count;
        newline = newline || text[i] == '\n';
    }
    if (newline && out.line_buffered)
        flush(out);
}

bool flush(Output& out)
{
    if (out.fd < 0)
        return false;
    for (std::size_t done = 0; done < out.used;) {
        long const n = arch::syscall<arch::nr_write>(out.fd, reinterpret_cast<long>(out.buffer + done),
                                      static_cast<long>(out.used - done));
        if (n == -EINTR)
            continue;
        if (n <= 0) {
            out.failed = true;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    out.used = 0;
    return !out.failed;
}

namespace {

std::size_t length_of(const char* s)
{
    std::size_t n = 0;
    while (s[n] != '\0')
        ++n;
    return n;
}

void pad(Output& out, char fill, int count)
{
    for (; count > 0; --count)
        put(out, &fill, 1);
}

}

// On i386 a va_list is a plain char*, which tidy would have const.
void vformat(Output& out, const char* format, std::va_list arguments) // NOLINT(readability-non-const-parameter)
{
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            put(out, p, 1);
            continue;
        }
        const char* const conversion = p++;
        bool left = false;
        bool zeros = false;
        for (; *p == '-' || *p == '0'; ++p)
            (*p == '-' ? left : zeros) = true;
        int width = 0;
        for (; *p >= '0' && *p <= '9'; ++p)
            if (width < 4096)
                width = width * 10 + (*p - '0');
        bool const is_long = *p == 'l';
        p += is_long;

        char digits[3 * sizeof(long)];
        const char* text = nullptr;
        std::size_t length = 1;
        bool negative = false;
        bool number = false;
        switch (*p) {
        case 'd':
        case 'i':
        case 'u':
        case 'x': {
            unsigned long magnitude;
            if (*p == 'd' || *p == 'i') {
                long const value = is_long ? va_arg(arguments, long) : va_arg(arguments, int);
                negative = value < 0;
                magnitude = negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
            } else {
                magnitude = is_long ? va_arg(arguments, unsigned long) : va_arg(arguments, unsigned);
            }
            // Constant divisors: machines without a divide instruction
            // multiply instead, and need no helper of the C library's.
            char* d = digits + sizeof digits;
            if (*p == 'x')
                do
                    *--d = "0123456789abcdef"[magnitude % 16];
                while ((magnitude /= 16) != 0);
            else
                do
                    *--d = static_cast<char>('0' + magnitude % 10);
                while ((magnitude /= 10) != 0);
            text = d;
            length = static_cast<std::size_t>(digits + sizeof digits - d);
            number = true;
            break;
        }
        case 'c':
            digits[0] = static_cast<char>(va_arg(arguments, int));
            text = digits;
            break;
        case 's':
            text = va_arg(arguments, const char*);
            if (text == nullptr)
                text = "(null)";
            length = length_of(text);
            break;
        case '%':
            put(out, "%", 1);
            continue;
        default:
            // Not a conversion of ours: it stands as written.
            put(out, conversion, static_cast<std::size_t>(p - conversion) + (*p != '\0'));
            if (*p == '\0')
                return;
            continue;
        }
        int const padding = width - static_cast<int>(length) - negative;
        bool const zero_fill = zeros && number && !left;
        if (!left && !zero_fill)
            pad(out, ' ', padding);
        if (negative)
            put(out, "-", 1);
        if (zero_fill)
            pad(out, '0', padding);
        put(out, text, length);
        if (left)
            pad(out, ' ', padding);
    }
}

void format(Output& out, const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    vformat(out, format, arguments);
    va_end(arguments);
}

}
