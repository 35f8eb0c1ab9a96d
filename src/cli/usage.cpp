// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/usage.h"

#include "program.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr char usage_options[] =
    "  -0  Max fraction of LRU list to examine for dirty blocks \n"
    "  -1  Max number of dirty blocks to write each time bdflush activated \n"
    "  -2  Num of clean buffers to be loaded onto free list by refill_freelist \n"
    "  -3  Dirty block threshold for activating bdflush in refill_freelist \n"
    "  -4  Percentage of cache to scan for free clusters \n"
    "  -5  Time for data buffers to age before flushing \n"
    "  -6  Time for non-data (dir, bitmap, etc) buffers to age before flushing \n"
    "  -7  Time buffer cache load average constant \n"
    "  -8  LAV ratio (used to determine threshold for buffer fratricide) \n"
    "  -d  Display kernel parameters\n"
    "  -f  Call flush this often (in seconds)\n"
    "  -h  Give this help\n"
    "  -s  If acting as update then call sync this often (in seconds)\n";

}

void print_usage(char** argv)
{
    // Whatever a display has buffered comes first on a shared terminal.
    std::fflush(stdout);
    std::fprintf(stderr, "usage: %s [-012345678] [-d] [-s sync-delay] [-f flush-delay]\n",
                 program_name(argv));
    std::fputs(usage_options, stderr);
    std::exit(1);
}
