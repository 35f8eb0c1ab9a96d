// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Finds every process a test started, detached ones included, and kills them
// all by PID when it goes out of scope, whether the test passed or not.
//
// The test process becomes a child subreaper, so the daemons that korrin
// detaches are re-parented to it rather than to init and show up as its
// descendants. Where that is not possible (under qemu-user), processes are
// also found by a tag in their environment, which the test hands down.
class DaemonGuard {
public:
    DaemonGuard();
    ~DaemonGuard();
    DaemonGuard(const DaemonGuard&) = delete;
    DaemonGuard& operator=(const DaemonGuard&) = delete;

    // NAME=value to add to the environment of whatever the test starts.
    const std::string& tag() const { return tag_; }

    // Every live process started by this test, itself excluded.
    std::vector<pid_t> find() const;

    // The first process found whose command line starts with title, waiting
    // up to timeout seconds for one to appear; 0 when none did.
    pid_t wait_for_title(const std::string& title, double timeout) const;

    // SIGKILLs every process found, reaping those that are our children.
    void kill_all();

private:
    std::string tag_;
};

std::string proc_cmdline(pid_t pid);
std::string proc_environ(pid_t pid);
std::string proc_status_field(pid_t pid, const std::string& field);
bool alive(pid_t pid);
// Processes anywhere on the machine whose title is one of korrin's.
std::vector<pid_t> titled_processes();
