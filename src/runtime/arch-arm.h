// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// ARM, the old ABI that every ARM kernel with the flush call used (the new
// one came with 2.6.16): the call's number in the trap itself, swi 0x900000
// + number, the arguments in r0 to r2, the answer in r0 (-4095..-1 being an
// error number). The numbers are asm/unistd-oabi.h's.

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
    register long r0 asm("r0") = a;
    register long r1 asm("r1") = b;
    register long r2 asm("r2") = c;
    asm volatile("swi %[number]" : "+r"(r0) : [number] "i"(0x900000 + n), "r"(r1), "r"(r2) : "memory");
    return {r0, false};
}

}

#include "runtime/forms.h"
#include "runtime/old-sigaction.h"
#include "runtime/old-select.h"

#ifdef KORRIN_RUNTIME_START
// The entry point: argc, argv and the environment on the stack, whose address
// korrin_start takes.
asm(".text\n"
    ".global _start\n"
    ".type _start, %function\n"
    "_start:\n\t"
    "mov fp, #0\n\t"
    "mov r0, sp\n\t"
    "bic sp, sp, #7\n\t"
    "bl korrin_start\n");
#endif
