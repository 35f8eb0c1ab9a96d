// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/daemons.h"

#include "support/process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::vector<pid_t> all_pids()
{
    std::vector<pid_t> pids;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return pids;
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long const pid = std::strtol(entry->d_name, &end, 10);
        if (pid > 0 && *end == '\0')
            pids.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return pids;
}

pid_t parent_of(pid_t pid)
{
    std::string const stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    auto const close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    fields >> state >> parent;
    return parent;
}

bool is_zombie(pid_t pid)
{
    return proc_status_field(pid, "State").rfind("Z", 0) == 0;
}

}

std::string proc_cmdline(pid_t pid)
{
    return read_file("/proc/" + std::to_string(pid) + "/cmdline");
}

std::string proc_environ(pid_t pid)
{
    return read_file("/proc/" + std::to_string(pid) + "/environ");
}

std::string proc_status_field(pid_t pid, const std::string& field)
{
    std::istringstream status(read_file("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) {
            auto const value = line.find_first_not_of(" \t", field.size() + 1);
            return value == std::string::npos ? "" : line.substr(value);
        }
    return "";
}

bool alive(pid_t pid)
{
    return kill(pid, 0) == 0 && !is_zombie(pid);
}

std::vector<pid_t> titled_processes()
{
    std::vector<pid_t> found;
    for (pid_t pid : all_pids()) {
        std::string const cmdline = proc_cmdline(pid);
        for (const char* title : {"bdflush (daemon)", "update (bdflush)", "update (sync)"})
            if (cmdline.rfind(title, 0) == 0 && !is_zombie(pid))
                found.push_back(pid);
    }
    return found;
}

DaemonGuard::DaemonGuard()
    : tag_("KORRIN_TEST_TAG=" + std::to_string(getpid()) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))
{
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
}

DaemonGuard::~DaemonGuard()
{
    kill_all();
}

std::vector<pid_t> DaemonGuard::find() const
{
    pid_t const self = getpid();
    std::vector<pid_t> const pids = all_pids();
    std::map<pid_t, pid_t> parents;
    for (pid_t pid : pids)
        parents[pid] = parent_of(pid);

    std::vector<pid_t> found;
    for (pid_t pid : pids) {
        if (pid == self || is_zombie(pid))
            continue;
        bool ours = false;
        for (pid_t up = parents[pid]; up > 1 && !ours; up = parents.count(up) ? parents[up] : 0)
            ours = up == self;
        if (!ours) {
            std::string const environ = proc_environ(pid);
            ours = environ.find(tag_ + '\0') != std::string::npos;
        }
        if (ours)
            found.push_back(pid);
    }
    return found;
}

pid_t DaemonGuard::wait_for_title(const std::string& title, double timeout) const
{
    auto const deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    do {
        for (pid_t pid : find())
            if (proc_cmdline(pid).rfind(title, 0) == 0)
                return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return 0;
}

void DaemonGuard::kill_all()
{
    // Tracees first: a tracer killed before them would leave them stopped.
    for (int round = 0; round < 50; ++round) {
        std::vector<pid_t> const pids = find();
        std::vector<pid_t> live;
        for (pid_t pid : pids)
            if (!is_zombie(pid))
                live.push_back(pid);
        for (pid_t pid : live)
            if (proc_cmdline(pid).rfind("strace", 0) != 0)
                kill(pid, SIGKILL);
        for (pid_t pid : live)
            kill(pid, SIGKILL);
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        if (live.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
