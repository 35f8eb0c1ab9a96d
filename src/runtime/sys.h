// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

namespace rt::arch {

// What the kernel answered: on machines where a flag says that a call failed
// (mips and alpha: a3; powerpc: CR0.SO; sparc: the carry), error is that
// flag and value the positive error number; elsewhere error is false and
// value the result register, -4095..-1 being a negative error number.
struct Answer {
    long value;
    bool error;
};

}

// The machine's trap, entry point, system-call numbers and structures.
#if defined(__i386__)
#include "runtime/arch-i386.h"
#elif defined(__x86_64__)
#include "runtime/arch-x86_64.h"
#elif defined(__arm__)
#include "runtime/arch-arm.h"
#elif defined(__m68k__)
#include "runtime/arch-m68k.h"
#elif defined(__mips__) && _MIPS_SIM == _ABIO32
#include "runtime/arch-mips.h"
#elif defined(__powerpc__) && !defined(__powerpc64__)
#include "runtime/arch-powerpc.h"
#elif defined(__alpha__)
#include "runtime/arch-alpha.h"
#elif defined(__sparc__) && !defined(__arch64__)
#include "runtime/arch-sparc.h"
#else
// cppcheck-suppress preprocessorErrorDirective
#error "korrin's runtime has no header for this machine"
#endif

namespace rt::arch {

// The answer as a negative error number or the result, the one convention
// that the rest of the runtime reads.
inline long raw(Answer answer)
{
    return answer.error ? -answer.value : answer.value;
}

template <long n>
long syscall(long a = 0, long b = 0, long c = 0)
{
    return raw(call<n>(a, b, c));
}

}
