// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The old select of i386, arm and m68k: its five arguments in one block,
// whose address is the call's one argument. After forms.h.

namespace rt::arch {

inline Answer select_timeout(Timeval* timeout)
{
    struct {
        long count;
        void *read, *write, *except;
        Timeval* timeout;
    } block{0, nullptr, nullptr, nullptr, timeout};
    return call<nr_select>(reinterpret_cast<long>(&block));
}

}
