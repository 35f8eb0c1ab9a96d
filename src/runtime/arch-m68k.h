// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// m68k: system calls through trap #0, the number in d0, the arguments in d1
// to d3, the answer in d0 (-4095..-1 being an error number). The numbers
// are i386's, as in asm/unistd.h.

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
    register long d0 asm("d0") = n;
    register long d1 asm("d1") = a;
    register long d2 asm("d2") = b;
    register long d3 asm("d3") = c;
    asm volatile("trap #0" : "+r"(d0) : "r"(d1), "r"(d2), "r"(d3) : "memory");
    return {d0, false};
}

// Five arguments, and the second result register, where a call answers in
// two (pipe on some machines): for the tests' init.
template <long n>
Answer call5(long a, long b, long c, long d, long e, long* second = nullptr)
{
    register long d0 asm("d0") = n;
    register long d1 asm("d1") = a;
    register long d2 asm("d2") = b;
    register long d3 asm("d3") = c;
    register long d4 asm("d4") = d;
    register long d5 asm("d5") = e;
    asm volatile("trap #0" : "+r"(d0), "+r"(d1) : "r"(d2), "r"(d3), "r"(d4), "r"(d5) : "memory");
    if (second != nullptr)
        *second = d1;
    return {d0, false};
}

}

#include "runtime/forms.h"
#include "runtime/old-sigaction.h"
#include "runtime/old-select.h"

#ifdef KORRIN_RUNTIME_START
// The entry point: argc at the stack pointer, korrin_start takes its address.
asm(".text\n"
    ".global _start\n"
    ".type _start, @function\n"
    "_start:\n\t"
    "sub.l %fp, %fp\n\t"
    "move.l %sp, %a0\n\t"
    "move.l %a0, -(%sp)\n\t"
    "jsr korrin_start\n");
#endif
