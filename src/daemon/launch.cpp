// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/launch.h"

#include "daemon/title.h"
#include "daemon/update.h"
#include "kernel/bdflush.h"
#include "program.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The loop over 0 to 255 misses what the invoker left open above it, and a
// resident root process would hold that for the life of the machine.
void close_descriptors()
{
    for (int fd = 0; fd <= 255; ++fd)
        close(fd);
    if (close_range(256, ~0U, 0) == 0)
        return;
    long const open_max = sysconf(_SC_OPEN_MAX);
    for (long fd = 256; fd < open_max; ++fd)
        close(static_cast<int>(fd));
}

}

void launch_daemons(char** argv, int argc, int flush_delay, int sync_delay)
{
    if (geteuid() != 0) {
        bdflush(flush_old_buffers, 0);
        sync();
        std::fprintf(stderr, "%s: not run as superuser, bdflush() and sync() called.\n",
                     program_name(argv));
        std::exit(0);
    }

    close_descriptors();
    if (chdir("/") != 0) {
        // Nothing to report it on: standard error is closed.
    }
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGCHLD, SIG_IGN);

    // A failed fork is taken as being the parent.
    if (fork() == 0) {
        set_title(argv, argc, "bdflush (daemon)");
        setsid();
        bdflush(become_flush_daemon, 0);
        std::exit(1);
    }
    if (fork() == 0) {
        set_title(argv, argc, "update (bdflush)");
        setsid();
        update_loop(argv, argc, flush_delay, sync_delay);
    }
    std::exit(0);
}
