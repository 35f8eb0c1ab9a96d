// SPDX-License-Identifier: GPL-2.0-or-later
// A process that retitles itself with set_title and waits to be looked at:
// title_probe TITLE [ARGUMENT...]
#include "daemon/title.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    // The title must not live inside the area it is written over.
    static char title[256];
    std::strncpy(title, argv[1], sizeof title - 1);
    set_title(argv, argc, title);
    std::puts("ready");
    std::fflush(stdout);
    pause();
}
