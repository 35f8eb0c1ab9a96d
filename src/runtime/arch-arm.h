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
    register long r0 asm("r0") = a;
    register long r1 asm("r1") = b;
    register long r2 asm("r2") = c;
    asm volatile("swi %[number]" : "+r"(r0) : [number] "i"(0x900000 + n), "r"(r1), "r"(r2) : "memory");
    return {r0, false};
}

// Five arguments, and the second result register, where a call answers in
// two (pipe on some machines): for the tests' init.
template <long n>
Answer call5(long a, long b, long c, long d, long e, long* second = nullptr)
{
    register long r0 asm("r0") = a;
    register long r1 asm("r1") = b;
    register long r2 asm("r2") = c;
    register long r3 asm("r3") = d;
    register long r4 asm("r4") = e;
    asm volatile("swi %[number]"
                 : "+r"(r0), "+r"(r1)
                 : [number] "i"(0x900000 + n), "r"(r2), "r"(r3), "r"(r4)
                 : "memory");
    if (second != nullptr)
        *second = r1;
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
