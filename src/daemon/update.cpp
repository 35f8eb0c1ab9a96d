// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/update.h"

#include "daemon/title.h"
#include "kernel/bdflush.h"

#include <unistd.h>

void update_loop(char** argv, int argc, int flush_delay, int sync_delay)
{
    // A negative delay becomes a huge unsigned one: that mode sleeps for good.
    do
        sleep(static_cast<unsigned>(flush_delay));
    while (bdflush(flush_old_buffers, 0) == 0);

    set_title(argv, argc, "update (sync)");
    for (;;) {
        sleep(static_cast<unsigned>(sync_delay));
        sync();
    }
}
