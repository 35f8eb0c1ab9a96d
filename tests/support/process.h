// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// What a finished child left behind.
struct Outcome {
    std::string out;
    std::string err;
    int status = -1; // exit status, or -1 when killed by a signal
    int signal = 0;
    bool timed_out = false;
};

struct Launch {
    std::string path;               // what to execute; looked up in PATH without a slash
    std::vector<std::string> argv;  // the argument vector, argv[0] included; may be empty
    std::vector<std::string> env;   // NAME=value pairs added to the environment
    double timeout = 20;            // seconds before the child is killed
    std::vector<int> inherit;       // descriptors the child keeps besides 0, 1 and 2
    bool unprivileged = false;      // run as nobody (65534:65534, no groups), like setpriv
    bool merged = false;            // standard error goes where standard output goes, as on a terminal
};

// Runs a child to its end, collecting standard output and error.
Outcome run(const Launch& launch);

// Starts a child in the background with its output going to files; returns
// its PID. The caller must see it killed.
pid_t start(const Launch& launch, const std::string& out_file, const std::string& err_file);

// Waits for a started child, up to timeout seconds; SIGKILLs it after that.
Outcome finish(pid_t pid, double timeout);

std::string read_file(const std::string& path);
std::string describe(const Outcome& outcome);
