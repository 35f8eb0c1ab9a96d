// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// geteuid as it is, and select's timeout as two longs: the forms of every
// machine but alpha. Included by those machines' headers, after their
// call<>() and numbers.

namespace rt::arch {

inline long effective_user()
{
    return call<nr_geteuid>().value;
}

struct Timeval {
    long seconds;
    long microseconds;
};

}
