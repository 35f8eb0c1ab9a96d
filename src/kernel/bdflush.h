// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cerrno>

// Function codes of the kernel's buffer-flush call. Parameter i (0 to 8) is
// read with 2 + 2i, the data word holding the address of a long, and set with
// 3 + 2i, the data word holding the new value.
constexpr int become_flush_daemon = 0;
constexpr int flush_old_buffers = 1;
constexpr int read_parameter(int i) { return 2 + 2 * i; }
constexpr int set_parameter(int i) { return 3 + 2 * i; }

// Asks the kernel's flush machinery for one thing. Returns 0 on success; any
// other result is a failure, -1 with errno set when the kernel said why.
int bdflush(int function, long data);

// The flush call's own error test: only -125..-1 are error numbers. Anything
// else, -126 and below included, is the kernel's answer and passes unchanged
// with errno left alone.
inline int bdflush_result(long raw)
{
    if (raw >= -125 && raw <= -1) {
        errno = static_cast<int>(-raw);
        return -1;
    }
    return static_cast<int>(raw);
}
