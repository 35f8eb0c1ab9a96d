// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// korrin's own runtime: what the program asks of a C library, made of bare
// system calls that Linux 1.2 already had. libc.cpp and stdio.cpp give it the
// C library's names, which korrin's code calls; the pieces below carry them
// and are tested beside glibc, whose behaviour they copy.

#include <cstdarg>
#include <cstddef>

namespace rt {

// Text on its way to a descriptor, kept in buffer until it is full or
// flushed. With fd -1 it is never written: what does not fit is dropped.
struct Output {
    int fd;
    char* buffer;
    std::size_t size;
    std::size_t used = 0;
    bool line_buffered = false; // flush at each newline
    bool failed = false;        // a write failed; its text is gone
    std::size_t count = 0;      // bytes put, written or not
};
void put(Output& out, const char* text, std::size_t length);
bool flush(Output& out);

// Writes what standard output holds; exit calls it (stdio.cpp).
void flush_standard_output();

// printf's conversions that korrin prints with: d, i, u, x, c, s and %, the
// l length, the - and 0 flags and a width.
void vformat(Output& out, const char* format, std::va_list arguments);
void format(Output& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// glibc's getopt without long options, optional arguments or messages of its
// own: operands are moved behind the options, unless the option string
// starts with '+' or the environment has POSIXLY_CORRECT, and a leading ':'
// (after any '+') makes a missing argument ':' rather than '?'.
struct Getopt {
    int optind = 1; // 0 starts afresh
    int optopt = '?';
    char* optarg = nullptr;
    char* next = nullptr; // the rest of a group of options, as in -ds5
    int first_operand = 1, last_operand = 1;
    bool in_order = false, initialized = false;
};
int getopt(Getopt& state, int argc, char** argv, const char* options, bool posixly_correct);

// strtol in base 10 for this platform's long: white space, a sign, digits;
// beyond the range, the nearest limit and ERANGE in error (else left alone).
long to_long(const char* text, char** end, int& error);

// glibc's text for an error number; nullptr where it says "Unknown error N".
const char* error_text(int number);

}
