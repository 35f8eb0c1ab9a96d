// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// MIPS, o32, big- or little-endian: system calls through syscall, the number
// (4000 + n) in v0, the arguments in a0 to a3 and on the stack from 16(sp),
// the answer in v0, with a3 set when it is an error number. The numbers are
// asm/unistd.h's for o32.

namespace rt::arch {

constexpr bool error_flag = true;

enum : long {
    nr_exit = 4001,
    nr_fork = 4002,
    nr_write = 4004,
    nr_close = 4006,
    nr_chdir = 4012,
    nr_sync = 4036,
    nr_geteuid = 4049,
    nr_setsid = 4066,
    nr_sigaction = 4067,
    nr_getrlimit = 4076,
    nr_bdflush = 4134,
    nr_select = 4142, // five arguments, the fifth on the stack
    nr_nanosleep = 4166,
    nr_close_range = 4436,
};

// Beyond korrin's own: what the tests' init on the old kernels asks for.
enum : long {
    nr_read = 4003,
    nr_open = 4005,
    nr_execve = 4011,
    nr_mount = 4021,
    nr_setuid = 4023,
    nr_kill = 4037,
    nr_pipe = 4042, // the descriptors in v0 and v1
    nr_setgid = 4046,
    nr_fcntl = 4055,
    nr_dup2 = 4063,
    nr_reboot = 4088,
    nr_syslog = 4103,
    nr_wait4 = 4114,
    nr_uname = 4122,
};
constexpr bool pipe_in_registers = true;

#define KORRIN_MIPS_CLOBBERS "$1", "$3", "$8", "$9", "$10", "$11", "$12", "$13", "$14", "$15", "$24", "$25", "hi", "lo", "memory"

template <long n>
Answer call(long a = 0, long b = 0, long c = 0)
{
    register long v0 asm("$2") = n;
    register long a0 asm("$4") = a;
    register long a1 asm("$5") = b;
    register long a2 asm("$6") = c;
    register long a3 asm("$7");
    asm volatile("syscall" : "+r"(v0), "=r"(a3) : "r"(a0), "r"(a1), "r"(a2) : KORRIN_MIPS_CLOBBERS);
    return {v0, a3 != 0};
}

// Five arguments, and the second result register, where a call answers in
// two (pipe on some machines): for the tests' init.
template <long n>
Answer call5(long a, long b, long c, long d, long e, long* second = nullptr)
{
    register long v0 asm("$2") = n;
    register long v1 asm("$3");
    register long a0 asm("$4") = a;
    register long a1 asm("$5") = b;
    register long a2 asm("$6") = c;
    register long a3 asm("$7") = d;
    asm volatile("move $8, %6\n\t"
                 "addiu $sp, $sp, -32\n\t"
                 "sw $8, 16($sp)\n\t"
                 "syscall\n\t"
                 "addiu $sp, $sp, 32"
                 : "+r"(v0), "=r"(v1), "+r"(a3)
                 : "r"(a0), "r"(a1), "r"(a2), "r"(e)
                 : "$1", "$8", "$9", "$10", "$11", "$12", "$13", "$14", "$15", "$24", "$25", "hi", "lo", "memory");
    if (second != nullptr)
        *second = v1;
    return {v0, a3 != 0};
}

}

#include "runtime/forms.h"

namespace rt::arch {

// Only SIG_DFL (0) and SIG_IGN (1); the flags come first here.
inline Answer set_disposition(int signal, long disposition, long& previous)
{
    struct Action {
        unsigned long flags;
        long handler;
        unsigned long mask[4];
    } action{0, disposition, {}}, old{};
    Answer const r = call<nr_sigaction>(signal, reinterpret_cast<long>(&action), reinterpret_cast<long>(&old));
    previous = old.handler;
    return r;
}

inline Answer select_timeout(Timeval* timeout)
{
    register long v0 asm("$2") = nr_select;
    register long a0 asm("$4") = 0;
    register long a1 asm("$5") = 0;
    register long a2 asm("$6") = 0;
    register long a3 asm("$7") = 0;
    // The fifth argument goes through t0: its register may be sp itself (a
    // pointer to the caller's own frame), which moves before the store.
    asm volatile("move $8, %6\n\t"
                 "addiu $sp, $sp, -32\n\t"
                 "sw $8, 16($sp)\n\t"
                 "syscall\n\t"
                 "addiu $sp, $sp, 32"
                 : "+r"(v0), "+r"(a3)
                 : "r"(a0), "r"(a1), "r"(a2), "r"(a3), "r"(timeout)
                 : KORRIN_MIPS_CLOBBERS);
    return {v0, a3 != 0};
}

#undef KORRIN_MIPS_CLOBBERS

}

#ifdef KORRIN_RUNTIME_START
// The entry point: argc at the stack pointer, korrin_start takes its
// address; the global pointer first, for the small data it addresses.
asm(".text\n"
    ".global _start\n"
    ".type _start, @function\n"
    ".ent _start\n"
    "_start:\n\t"
    "lui $28, %hi(_gp)\n\t"
    "addiu $28, $28, %lo(_gp)\n\t"
    "move $30, $0\n\t"
    "move $4, $sp\n\t"
    "li $8, -8\n\t"
    "and $sp, $sp, $8\n\t"
    "addiu $sp, $sp, -16\n\t"
    "jal korrin_start\n\t"
    ".end _start\n");
#endif
