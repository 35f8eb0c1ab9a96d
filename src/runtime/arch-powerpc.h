// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// 32-bit PowerPC: system calls through sc, the number in r0, the arguments
// in r3 to r7, the answer in r3, with CR0's summary-overflow bit set when it
// is an error number. The numbers are asm/unistd.h's.

namespace rt::arch {

constexpr bool error_flag = true;

enum : long {
    nr_exit = 1,
    nr_fork = 2,
    nr_write = 4,
    nr_close = 6,
    nr_chdir = 12,
    nr_sync = 36,
    nr_geteuid = 49,
    nr_setsid = 66,
    nr_sigaction = 67,
    nr_getrlimit = 76,
    nr_bdflush = 134,
    nr_select = 142, // _newselect: five arguments
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

inline Answer trap(long n, long a, long b, long c, long d, long e)
{
    register long r0 asm("r0") = n;
    register long r3 asm("r3") = a;
    register long r4 asm("r4") = b;
    register long r5 asm("r5") = c;
    register long r6 asm("r6") = d;
    register long r7 asm("r7") = e;
    unsigned long cr;
    asm volatile("sc\n\t"
                 "mfcr %1"
                 : "+r"(r0), "=r"(cr), "+r"(r3), "+r"(r4), "+r"(r5), "+r"(r6), "+r"(r7)
                 :
                 : "r8", "r9", "r10", "r11", "r12", "cr0", "ctr", "xer", "memory");
    return {r3, (cr & (1UL << 28)) != 0};
}

template <long n>
Answer call(long a = 0, long b = 0, long c = 0)
{
    return trap(n, a, b, c, 0, 0);
}

// Five arguments, and the second result register, where a call answers in
// two (pipe on some machines): for the tests' init.
template <long n>
Answer call5(long a, long b, long c, long d, long e, long* second = nullptr)
{
    if (second != nullptr)
        *second = 0;
    return trap(n, a, b, c, d, e);
}

}

#include "runtime/forms.h"
#include "runtime/old-sigaction.h"

namespace rt::arch {

inline Answer select_timeout(Timeval* timeout)
{
    return trap(nr_select, 0, 0, 0, 0, reinterpret_cast<long>(timeout));
}

}

#ifdef KORRIN_RUNTIME_START
// The entry point: argc at the stack pointer, korrin_start takes its
// address, under a first frame whose back chain is zero.
asm(".text\n"
    ".global _start\n"
    ".type _start, @function\n"
    "_start:\n\t"
    "mr 3, 1\n\t"
    "clrrwi 1, 1, 4\n\t"
    "li 0, 0\n\t"
    "stwu 1, -16(1)\n\t"
    "stw 0, 0(1)\n\t"
    "bl korrin_start\n");
#endif
