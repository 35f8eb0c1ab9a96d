// SPDX-License-Identifier: GPL-2.0-or-later
// A kernel that accepts the flush call, linked in place of the real wrapper:
// every request succeeds, and the daemon call keeps its caller for good, as
// the kernel's own flush daemon would.
#include "kernel/bdflush.h"

#include <climits>
#include <unistd.h>

int bdflush(int function, long data)
{
    if (function == become_flush_daemon)
        for (;;)
            sleep(UINT_MAX);
    if (function >= 2 && function % 2 == 0)
        *reinterpret_cast<long*>(data) = function;
    return 0;
}
