// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/options.h"
#include "daemon/launch.h"

#include <cstdio>

int main(int argc, char** argv)
{
    // Standard output gets a buffer of its own, so that no run allocates.
    static char output_buffer[BUFSIZ];
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

    Options options;
    int const status = parse_options(argc, argv, options);
    if (status != go_on)
        return status;
    launch_daemons(argv, argc, options.flush_delay, options.sync_delay);
}
