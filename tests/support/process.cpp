// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void exec_child(const Launch& launch)
{
    if (launch.unprivileged &&
        (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
         setresuid(65534, 65534, 65534) != 0)) {
        std::fprintf(stderr, "cannot become nobody: %s\n", std::strerror(errno));
        _exit(126);
    }
    for (const auto& pair : launch.env)
        putenv(const_cast<char*>(pair.c_str()));
    // Descriptors above 2 that the test does not hand on must not leak into
    // the program under test; it would otherwise be blamed for them.
    for (int fd = 3; fd < 1024; ++fd) {
        bool keep = false;
        for (int kept : launch.inherit)
            keep = keep || kept == fd;
        if (!keep)
            close(fd);
    }
    std::vector<char*> argv;
    for (const auto& arg : launch.argv)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvpe(launch.path.c_str(), argv.data(), environ);
    std::fprintf(stderr, "exec %s: %s\n", launch.path.c_str(), std::strerror(errno));
    _exit(127);
}

Outcome decode(int wait_status)
{
    Outcome outcome;
    if (WIFEXITED(wait_status)) {
        outcome.status = WEXITSTATUS(wait_status);
    } else if (WIFSIGNALED(wait_status)) {
        outcome.signal = WTERMSIG(wait_status);
    }
    return outcome;
}

}

Outcome run(const Launch& launch)
{
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return Outcome{"", "pipe failed", -1, 0, false};
    pid_t const pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(launch.merged ? out[1] : err[1], 2);
        exec_child(launch);
    }
    close(out[1]);
    close(err[1]);

    std::string collected[2];
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    auto const deadline = Clock::now() + std::chrono::duration<double>(launch.timeout);
    bool timed_out = false;
    int open_pipes = 2;
    while (open_pipes > 0) {
        auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            ssize_t const n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                collected[i].append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    for (auto& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
    }
    Outcome outcome = decode(wait_status);
    outcome.out = std::move(collected[0]);
    outcome.err = std::move(collected[1]);
    outcome.timed_out = timed_out;
    return outcome;
}

pid_t start(const Launch& launch, const std::string& out_file, const std::string& err_file)
{
    pid_t const pid = fork();
    if (pid == 0) {
        int const out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int const err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        exec_child(launch);
    }
    return pid;
}

Outcome finish(pid_t pid, double timeout)
{
    auto const deadline = Clock::now() + std::chrono::duration<double>(timeout);
    int wait_status = 0;
    bool timed_out = false;
    for (;;) {
        pid_t const done = waitpid(pid, &wait_status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            break;
        if (Clock::now() > deadline) {
            timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &wait_status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Outcome outcome = decode(wait_status);
    outcome.timed_out = timed_out;
    return outcome;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string describe(const Outcome& outcome)
{
    std::ostringstream text;
    text << "status " << outcome.status << ", signal " << outcome.signal
         << (outcome.timed_out ? ", timed out" : "") << "\n--- stdout ---\n"
         << outcome.out << "\n--- stderr ---\n" << outcome.err;
    return text.str();
}
