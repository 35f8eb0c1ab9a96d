// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Alpha: system calls through callsys, the number in v0, the arguments in
// a0 to a2, the answer in v0, with a3 set when it is an error number. The
// numbers are asm/unistd.h's, most of them OSF/1's: there is no geteuid
// before 2.2's getresuid but getxuid, which answers the effective user in
// a4, and sigaction and select are the OSF/1 ones that Linux 2.0 had.

namespace rt::arch {

constexpr bool error_flag = true;

enum : long {
    nr_exit = 1,
    nr_fork = 2,
    nr_write = 4,
    nr_close = 6,
    nr_chdir = 12,
    nr_getxuid = 24,
    nr_sync = 36,
    nr_select = 93, // osf_select
    nr_getrlimit = 144,
    nr_setsid = 147,
    nr_sigaction = 156, // osf_sigaction
    nr_bdflush = 300,
    nr_getresuid = 344,
    nr_nanosleep = 340,
    nr_close_range = 546,
};

// Beyond korrin's own: what the tests' init on the old kernels asks for.
enum : long {
    nr_read = 3,
    nr_wait4 = 7, // osf_wait4
    nr_setuid = 23,
    nr_kill = 37,
    nr_pipe = 42, // the descriptors in v0 and a4
    nr_open = 45,
    nr_execve = 59,
    nr_dup2 = 90,
    nr_fcntl = 92,
    nr_setgid = 132,
    nr_mount = 302,
    nr_syslog = 310,
    nr_reboot = 311,
    nr_uname = 339,
};
constexpr bool pipe_in_registers = true;

#define KORRIN_ALPHA_CLOBBERS                                                                               \
    "$1", "$2", "$3", "$4", "$5", "$6", "$7", "$8", "$21", "$22", "$23", "$24", "$25", "$27", "$28", "memory"

template <long n>
Answer call(long a = 0, long b = 0, long c = 0)
{
    register long v0 asm("$0") = n;
    register long a0 asm("$16") = a;
    register long a1 asm("$17") = b;
    register long a2 asm("$18") = c;
    register long a3 asm("$19");
    register long a4 asm("$20");
    asm volatile("callsys" : "+r"(v0), "=r"(a3), "=r"(a4), "+r"(a0), "+r"(a1), "+r"(a2) : : KORRIN_ALPHA_CLOBBERS);
    if constexpr (n == nr_getxuid)
        return {a4, a3 != 0};
    if constexpr (n == nr_fork)
        if (a3 == 0 && a4 != 0)
            return {0, false}; // the child, as OSF/1 says it
    return {v0, a3 != 0};
}

// Five arguments, and the second result register, where a call answers in
// two (pipe on some machines): for the tests' init.
template <long n>
Answer call5(long a, long b, long c, long d, long e, long* second = nullptr)
{
    static_assert(n != nr_fork && n != nr_getxuid, "call<>() knows their forms");
    register long v0 asm("$0") = n;
    register long a0 asm("$16") = a;
    register long a1 asm("$17") = b;
    register long a2 asm("$18") = c;
    register long a3 asm("$19") = d;
    register long a4 asm("$20") = e;
    asm volatile("callsys"
                 : "+r"(v0), "+r"(a3), "+r"(a4), "+r"(a0), "+r"(a1), "+r"(a2)
                 :
                 : "$1", "$2", "$3", "$4", "$5", "$6", "$7", "$8", "$21", "$22", "$23", "$24", "$25", "$27", "$28",
                   "memory");
    if (second != nullptr)
        *second = a4;
    return {v0, a3 != 0};
}

#undef KORRIN_ALPHA_CLOBBERS

// getresuid (Linux 2.2 and later) writes the effective user to memory.
// getxuid's answer in a4 is what 2.0 has, but a kernel may leave a4 as it
// was: the 2.4 kernel of the tests does, for every call.
inline long effective_user()
{
    unsigned ids[3] = {};
    if (!call<nr_getresuid>(reinterpret_cast<long>(&ids[0]), reinterpret_cast<long>(&ids[1]),
                            reinterpret_cast<long>(&ids[2]))
             .error)
        return ids[1];
    return call<nr_getxuid>().value;
}

// osf_select reads two 32-bit words; Linux 2.0's select read two longs. With
// no microseconds and a zero after them, both read the same seconds.
struct Timeval {
    int seconds;
    int microseconds;
    long zero;
};

// Only SIG_DFL (0) and SIG_IGN (1).
inline Answer set_disposition(int signal, long disposition, long& previous)
{
    struct Action {
        long handler;
        unsigned long mask;
        int flags;
    } action{disposition, 0, 0}, old{};
    Answer const r = call<nr_sigaction>(signal, reinterpret_cast<long>(&action), reinterpret_cast<long>(&old));
    previous = old.handler;
    return r;
}

inline Answer select_timeout(Timeval* timeout)
{
    register long v0 asm("$0") = nr_select;
    register long a0 asm("$16") = 0;
    register long a1 asm("$17") = 0;
    register long a2 asm("$18") = 0;
    register long a3 asm("$19") = 0;
    register long a4 asm("$20") = reinterpret_cast<long>(timeout);
    asm volatile("callsys"
                 : "+r"(v0), "+r"(a3), "+r"(a4), "+r"(a0), "+r"(a1), "+r"(a2)
                 :
                 : "$1", "$2", "$3", "$4", "$5", "$6", "$7", "$8", "$21", "$22", "$23", "$24", "$25", "$27", "$28",
                   "memory");
    return {v0, a3 != 0};
}

}

#ifdef KORRIN_RUNTIME_START
// The entry point: argc at the stack pointer, korrin_start takes its
// address; the global pointer first, as every function expects it.
asm(".text\n"
    ".globl _start\n"
    ".ent _start\n"
    "_start:\n\t"
    "br $29, 1f\n"
    "1:\tldgp $29, 0($29)\n\t"
    ".prologue 0\n\t"
    "mov $30, $16\n\t"
    "bic $30, 15, $30\n\t"
    "mov $31, $15\n\t"
    "jsr $26, korrin_start\n\t"
    "call_pal 0\n\t"
    ".end _start\n");

// Alpha has no divide instruction, and the compiler calls these for an
// unsigned division or remainder (made for size, -Os, where it would rather
// not multiply), in the C library's convention: the operands in t10 and t11,
// the result in t12, back through t9, every other register kept but at.
// Shift and subtract, a bit a turn.
asm(".set noat\n"
    ".macro korrin_divide result\n\t"
    "lda $30, -32($30)\n\t"
    "stq $1, 0($30)\n\t"
    "stq $2, 8($30)\n\t"
    "stq $3, 16($30)\n\t"
    "mov $24, $1\n\t"
    "clr $2\n\t"
    "clr $3\n\t"
    "lda $28, 64($31)\n"
    "1:\tsrl $1, 63, $27\n\t"
    "addq $2, $2, $2\n\t"
    "or $2, $27, $2\n\t"
    "addq $1, $1, $1\n\t"
    "addq $3, $3, $3\n\t"
    "cmpule $25, $2, $27\n\t"
    "beq $27, 2f\n\t"
    "subq $2, $25, $2\n\t"
    "or $3, 1, $3\n"
    "2:\tsubq $28, 1, $28\n\t"
    "bne $28, 1b\n\t"
    "mov \\result, $27\n\t"
    "ldq $1, 0($30)\n\t"
    "ldq $2, 8($30)\n\t"
    "ldq $3, 16($30)\n\t"
    "lda $30, 32($30)\n\t"
    "ret $31, ($23), 1\n"
    ".endm\n"
    ".text\n"
    ".globl __divqu\n"
    ".ent __divqu\n"
    "__divqu:\n\t"
    ".prologue 0\n\t"
    "korrin_divide $3\n"
    ".end __divqu\n"
    ".globl __remqu\n"
    ".ent __remqu\n"
    "__remqu:\n\t"
    ".prologue 0\n\t"
    "korrin_divide $2\n"
    ".end __remqu\n"
    ".set at\n");
#endif
