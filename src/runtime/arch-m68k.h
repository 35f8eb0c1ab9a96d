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
