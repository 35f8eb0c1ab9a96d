// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// sigaction(2) as i386's first kernels had it, before Linux 2.2 added the rt_
// one; arm, m68k, powerpc and sparc took it over. Included by those
// machines' headers, after their call<>() and numbers.

namespace rt::arch {

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
