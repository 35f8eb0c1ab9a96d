// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// One system call (at its start) or one process exit in the output of
// strace -f -tt -o FILE.
struct TraceEvent {
    pid_t pid = 0;
    double time = 0;   // seconds since midnight
    std::string call;  // the system call's name, or "exit"
    std::string line;  // the rest of the line as strace wrote it
    int exit_status = -1;
};

std::vector<TraceEvent> parse_trace(const std::string& text);

// The events of one call (or "exit"), optionally of one process only.
std::vector<TraceEvent> events(const std::vector<TraceEvent>& trace, const std::string& call, pid_t pid = 0);
