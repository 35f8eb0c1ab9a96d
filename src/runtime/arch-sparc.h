// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// 32-bit SPARC (V8): system calls through t 0x10, the number in g1, the
// arguments in o0 to o4, the answer in o0, with the carry set when it is an
// error number. fork answers the parent's PID in the child too, which o1
// tells apart, and sigaction takes the signal of its old layout as a negative
// number. The numbers are asm/unistd.h's for 32-bit SPARC.

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
    nr_select = 93, // five arguments
    nr_getrlimit = 144,
    nr_setsid = 175,
    nr_sigaction = 198,
    nr_bdflush = 225,
    nr_nanosleep = 249,
    nr_close_range = 436,
};

// Beyond korrin's own: what the tests' init on the old kernels asks for.
enum : long {
    nr_read = 3,
    nr_open = 5,
    nr_wait4 = 7,
    nr_setuid = 23,
    nr_kill = 37,
    nr_pipe = 42, // the descriptors in o0 and o1
    nr_setgid = 46,
    nr_reboot = 55,
    nr_execve = 59,
    nr_dup2 = 90,
    nr_fcntl = 92,
    nr_mount = 167,
    nr_uname = 189,
    nr_syslog = 207,
};
constexpr bool pipe_in_registers = true;

inline Answer trap(long n, long a, long b, long c, long d, long e, long& second)
{
    register long g1 asm("g1") = n;
    register long o0 asm("o0") = a;
    register long o1 asm("o1") = b;
    register long o2 asm("o2") = c;
    register long o3 asm("o3") = d;
    register long o4 asm("o4") = e;
    long carry;
    asm volatile("t 0x10\n\t"
                 "addx %%g0, %%g0, %1"
                 : "+r"(o0), "=r"(carry), "+r"(o1), "+r"(o2), "+r"(o3), "+r"(o4)
                 : "r"(g1)
                 : "g2", "g3", "g4", "cc", "memory");
    second = o1;
    return {o0, carry != 0};
}

template <long n>
Answer call(long a = 0, long b = 0, long c = 0)
{
    if constexpr (n == nr_sigaction)
        a = -a; // the old layout's signal: every kernel takes it so, today's only so
    long second;
    Answer answer = trap(n, a, b, c, 0, 0, second);
    if constexpr (n == nr_fork)
        if (!answer.error && second != 0)
            answer.value = 0; // the child
    return answer;
}

// Five arguments, and the second result register, where a call answers in
// two (pipe on some machines): for the tests' init.
template <long n>
Answer call5(long a, long b, long c, long d, long e, long* second = nullptr)
{
    static_assert(n != nr_fork && n != nr_sigaction, "call<>() knows their forms");
    long o1;
    Answer const answer = trap(n, a, b, c, d, e, o1);
    if (second != nullptr)
        *second = o1;
    return answer;
}

}

#include "runtime/forms.h"
#include "runtime/old-sigaction.h"

namespace rt::arch {

inline Answer select_timeout(Timeval* timeout)
{
    long second;
    return trap(nr_select, 0, 0, 0, 0, reinterpret_cast<long>(timeout), second);
}

}

#ifdef KORRIN_RUNTIME_START
// The entry point: argc above the register window's save area, korrin_start
// takes its address, from a frame of its own below.
asm(".text\n"
    ".global _start\n"
    ".type _start, #function\n"
    "_start:\n\t"
    "mov %g0, %fp\n\t"
    "add %sp, 64, %o0\n\t"
    "and %sp, -8, %sp\n\t"
    "call korrin_start\n\t"
    " sub %sp, 96, %sp\n");
#endif
