// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// i386: system calls through int $0x80, the number in eax, the arguments in
// ebx, ecx and edx, the answer in eax (-4095..-1 being an error number).
// Every call here is in Linux 1.2's table, but for nanosleep (Linux 2.0) and
// close_range (5.9), whose callers go on without them.

namespace rt::arch {

constexpr bool error_flag = false;

enum : long {
    nr_exit = 1,
    nr_fork = 2,
    nr_write = 4,
    nr_close = 6,
    nr_chdir = 12,
    nr_sync = 36,
    nr_geteuid = 49, // the 16-bit one: 0 stays 0
    nr_setsid = 66,
    nr_sigaction = 67,
    nr_getrlimit = 76,
    nr_select = 82, // the old one: its five arguments in one block
    nr_bdflush = 134,
    nr_nanosleep = 162,
    nr_close_range = 436,
};

// Beyond korrin's own: what the tests' init on the old kernels asks for.
enum : long {
    nr_read = 3,
    nr_open = 5,
    nr_execve = 11,
    nr_mount = 21,
    nr_setuid = 23,
    nr_kill = 37,
    nr_pipe = 42,
    nr_setgid = 46,
    nr_fcntl = 55,
    nr_dup2 = 63,
    nr_reboot = 88,
    nr_syslog = 103,
    nr_wait4 = 114,
    nr_uname = 122,
};
constexpr bool pipe_in_registers = false;

template <long n>
Answer call(long a = 0, long b = 0, long c = 0)
{
    long r;
    asm volatile("int $0x80" : "=a"(r) : "0"(n), "b"(a), "c"(b), "d"(c) : "memory");
    return {r, false};
}

// Five arguments, and the second result register, where a call answers in
// two (pipe on some machines): for the tests' init.
template <long n>
Answer call5(long a, long b, long c, long d, long e, long* second = nullptr)
{
    long r;
    long edx = c;
    asm volatile("int $0x80" : "=a"(r), "+d"(edx) : "0"(n), "b"(a), "c"(b), "S"(d), "D"(e) : "memory");
    if (second != nullptr)
        *second = edx;
    return {r, false};
}

}

#include "runtime/forms.h"
#include "runtime/old-sigaction.h"
#include "runtime/old-select.h"

#ifdef KORRIN_RUNTIME_START
// The entry point, for the one file that defines it: the kernel starts the
// program with argc, argv and the environment on the stack, and korrin_start
// takes their address.
extern "C" [[gnu::naked]] void _start() // NOLINT(misc-definitions-in-headers): one file defines it
{
    asm("xor %ebp, %ebp\n\t"
        "mov %esp, %eax\n\t"
        "and $-16, %esp\n\t"
        "sub $12, %esp\n\t"
        "push %eax\n\t"
        "cld\n\t"
        "call korrin_start\n\t"
        "hlt");
}
#endif
