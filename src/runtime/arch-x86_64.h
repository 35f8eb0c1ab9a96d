// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// x86_64: system calls through syscall, the number in rax, the arguments in
// rdi, rsi, rdx, r10 and r8, the answer in rax (-4095..-1 being an error
// number). There is no flush call.

namespace rt::arch {

constexpr bool error_flag = false;

enum : long {
    nr_write = 1,
    nr_close = 3,
    nr_rt_sigaction = 13,
    nr_select = 23,
    nr_nanosleep = 35,
    nr_fork = 57,
    nr_exit = 60,
    nr_chdir = 80,
    nr_getrlimit = 97,
    nr_geteuid = 107,
    nr_setsid = 112,
    nr_sync = 162,
    nr_close_range = 436,
    nr_bdflush = -1,
};

inline long syscall5(long n, long a, long b, long c, long d, long e)
{
    long r;
    register long r10 asm("r10") = d;
    register long r8 asm("r8") = e;
    asm volatile("syscall"
                 : "=a"(r)
                 : "0"(n), "D"(a), "S"(b), "d"(c), "r"(r10), "r"(r8)
                 : "rcx", "r11", "memory");
    return r;
}

template <long n>
Answer call(long a = 0, long b = 0, long c = 0)
{
    return {syscall5(n, a, b, c, 0, 0), false};
}

}

#include "runtime/forms.h"

namespace rt::arch {

// Only SIG_DFL (0) and SIG_IGN (1): no handler, so no restorer is needed.
inline Answer set_disposition(int signal, long disposition, long& previous)
{
    struct Action {
        long handler, flags, restorer;
        unsigned long mask;
    } action{disposition, 0, 0, 0}, old{};
    long const r = syscall5(nr_rt_sigaction, signal, reinterpret_cast<long>(&action),
                            reinterpret_cast<long>(&old), sizeof old.mask, 0);
    previous = old.handler;
    return {r, false};
}

inline Answer select_timeout(Timeval* timeout)
{
    return {syscall5(nr_select, 0, 0, 0, 0, reinterpret_cast<long>(timeout)), false};
}

}

#ifdef KORRIN_RUNTIME_START
// The entry point, for the one file that defines it: the kernel starts the
// program with argc, argv and the environment on the stack, and korrin_start
// takes their address.
extern "C" [[gnu::naked]] void _start() // NOLINT(misc-definitions-in-headers): one file defines it
{
    asm("xor %ebp, %ebp\n\t"
        "mov %rsp, %rdi\n\t"
        "and $-16, %rsp\n\t"
        "call korrin_start\n\t"
        "hlt");
}
#endif
