// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The forms of i386's first kernels, which arm, m68k and powerpc share:
// geteuid as it is, and sigaction(2) before Linux 2.2 added the rt_ one.
// Included by those machines' headers, after their call<>() and numbers.

namespace rt::arch {

inline long effective_user()
{
    return call<nr_geteuid>().value;
}

struct Timeval {
    long seconds;
    long microseconds;
};

// A one-word mask. Handlers are not supported: only SIG_DFL (0) and SIG_IGN (1).
inline Answer set_disposition(int signal, long disposition, long& previous)
{
    struct Action {
        long handler, mask, flags, restorer;
    } action{disposition, 0, 0, 0}, old{};
    Answer const r = call<nr_sigaction>(signal, reinterpret_cast<long>(&action), reinterpret_cast<long>(&old));
    previous = old.handler;
    return r;
}

}
