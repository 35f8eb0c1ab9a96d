// SPDX-License-Identifier: GPL-2.0-or-later
// Runs after every other test: fails if any process that a test started is
// still alive, by its title or by the tag tests hand to what they start.
#include "support/daemons.h"
#include "support/process.h"

#include <cstdio>
#include <dirent.h>
#include <string>

int main()
{
    int left = 0;
    for (pid_t pid : titled_processes()) {
        std::printf("left behind: %d %s\n", pid, proc_cmdline(pid).c_str());
        ++left;
    }
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        pid_t const pid = std::atoi(entry->d_name);
        if (pid <= 0 || !alive(pid))
            continue;
        std::string const environ = proc_environ(pid);
        if (environ.find(std::string("\0KORRIN_TEST_TAG=", 17)) != std::string::npos ||
            environ.rfind("KORRIN_TEST_TAG=", 0) == 0) {
            std::printf("left behind: %d (tagged) %s\n", pid, proc_cmdline(pid).c_str());
            ++left;
        }
    }
    if (proc)
        closedir(proc);
    std::printf("%d processes left behind by the tests\n", left);
    return left == 0 ? 0 : 1;
}
