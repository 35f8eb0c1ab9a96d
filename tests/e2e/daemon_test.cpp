// SPDX-License-Identifier: GPL-2.0-or-later
// The program's main job on the real kernel: the superuser's run detaches and
// leaves the kernel-daemon process and the update process behind; anybody
// else's flushes and syncs once. Every process a test starts is found and
// killed by PID (DaemonGuard), whether the test passes or not.
#include "support/daemons.h"
#include "support/korrin.h"
#include "support/trace.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <map>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using testing::HasSubstr;
using Clock = std::chrono::steady_clock;

namespace {

const std::string notice_suffix = ": not run as superuser, bdflush() and sync() called.\n";

class Daemons : public testing::Test {
protected:
    Launch tagged(Launch launch)
    {
        launch.env.push_back(guard.tag());
        return launch;
    }

    // Starts strace on korrin in the background and waits until its trace
    // satisfies done (or timeout seconds pass); returns the parsed trace.
    std::vector<TraceEvent> trace_until(const Launch& launch, const std::vector<std::string>& options,
                                        double timeout, bool (*done)(const std::vector<TraceEvent>&))
    {
        pid_t const tracer = start_trace(launch, options);
        auto const deadline = Clock::now() + std::chrono::duration<double>(timeout);
        std::vector<TraceEvent> trace;
        for (;;) {
            trace = parse_trace(read_file(trace_file));
            if (done(trace) || Clock::now() > deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return stop_trace(tracer);
    }

    // Starts strace on a launch in the background; stop_trace ends it.
    pid_t start_trace(const Launch& launch, const std::vector<std::string>& options)
    {
        std::vector<std::string> all{"-tt"};
        all.insert(all.end(), options.begin(), options.end());
        return start(traced(tagged(launch), trace_file, all), scratch_file("out"), scratch_file("err"));
    }

    std::vector<TraceEvent> stop_trace(pid_t tracer)
    {
        guard.kill_all();
        finish(tracer, 5);
        return parse_trace(read_file(trace_file));
    }

    std::string const trace_file = scratch_file("daemon.trace");
    DaemonGuard guard;
};

pid_t first_pid(const std::vector<TraceEvent>& trace)
{
    return trace.empty() ? 0 : trace.front().pid;
}

// glibc forks with clone and sleeps with clock_nanosleep; korrin's own
// runtime calls fork and nanosleep.
std::vector<TraceEvent> forks(const std::vector<TraceEvent>& trace)
{
    std::vector<TraceEvent> found = events(trace, "clone");
    for (const auto& event : events(trace, "fork"))
        found.push_back(event);
    return found;
}

int exit_status_of(const std::vector<TraceEvent>& trace, pid_t pid)
{
    for (const auto& event : events(trace, "exit", pid))
        return event.exit_status;
    return -1;
}

std::vector<std::string> entries(const std::string& directory)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error))
        names.push_back(entry.path().filename());
    return names;
}

TEST_F(Daemons, SuperuserRunDetachesAndLeavesTheUpdateProcess)
{
    // A descriptor the invoker leaves open above 255 must not stay with the daemons.
    int const high = fcntl(open("/dev/null", O_RDONLY | O_CLOEXEC), F_DUPFD, 300);
    ASSERT_GE(high, 300);
    Launch launch = tagged(korrin({"-f", "1", "-s", "1"}));
    launch.inherit = {high};
    fcntl(high, F_SETFD, 0);

    auto const began = Clock::now();
    Outcome const invoker = run(launch);
    double const took = std::chrono::duration<double>(Clock::now() - began).count();
    close(high);
    EXPECT_EQ(invoker.status, 0) << describe(invoker);
    EXPECT_EQ(invoker.out + invoker.err, "");
    EXPECT_LT(took, 0.9) << "the invoking process exits at once";

    if (emulated()) {
        // Titles under qemu-user stay in guest memory; find the update
        // process as the one that lives on.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(guard.find().size(), 1u);
    }
    pid_t const update = emulated() ? guard.find().at(0) : guard.wait_for_title("update (", 0.5);
    ASSERT_GT(update, 0) << "no update process";
    if (!emulated()) {
        EXPECT_EQ(proc_cmdline(update).substr(0, 17), std::string("update (bdflush)\0", 17));
        pid_t const synced = guard.wait_for_title("update (sync)", 3);
        EXPECT_EQ(synced, update) << "after the first refused flush";
        EXPECT_EQ(proc_cmdline(update).substr(0, 14), std::string("update (sync)\0", 14));
    }

    EXPECT_THAT(entries("/proc/" + std::to_string(update) + "/fd"), testing::IsEmpty());
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(update) + "/cwd"), "/");
    EXPECT_EQ(proc_status_field(update, "NSsid"), std::to_string(update)) << "leads its own session";

    kill(update, SIGTERM);
    kill(update, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(alive(update)) << "SIGTERM and SIGINT are ignored";
}

TEST_F(Daemons, UpdateProcessFallsBackToSyncOnceASecond)
{
    auto const trace = trace_until(korrin({"-f", "1", "-s", "1"}),
                                   {"-e", "trace=sync,clock_nanosleep,nanosleep,setsid,clone,fork"},
                                   15, [](const std::vector<TraceEvent>& t) { return events(t, "sync").size() >= 5; });
    auto const syncs = events(trace, "sync");
    ASSERT_GE(syncs.size(), 5u);
    pid_t const update = syncs[0].pid;
    for (const auto& sync : syncs)
        EXPECT_EQ(sync.pid, update) << "only the update process syncs";

    auto const start = events(trace, "setsid", update);
    ASSERT_EQ(start.size(), 1u);
    EXPECT_GE(syncs[0].time - start[0].time, 1.9) << "one flush delay, then one sync delay, before the first sync";
    for (size_t i = 1; i < syncs.size(); ++i) {
        double const gap = syncs[i].time - syncs[i - 1].time;
        EXPECT_GE(gap, 0.99) << "sync " << i;
        EXPECT_LT(gap, 1.5) << "sync " << i;
    }

    // The invoking process is the one that forked; it exits 0, and the
    // kernel-daemon process (its first child) exits 1 when its call returns.
    auto const exits = events(trace, "exit");
    pid_t const invoker = trace.at(0).pid;
    pid_t kernel_daemon = 0;
    for (const auto& event : events(trace, "setsid"))
        if (event.pid != update)
            kernel_daemon = event.pid;
    ASSERT_NE(kernel_daemon, 0);
    int invoker_status = -1, daemon_status = -1;
    for (const auto& event : exits) {
        if (event.pid == invoker)
            invoker_status = event.exit_status;
        if (event.pid == kernel_daemon)
            daemon_status = event.exit_status;
    }
    EXPECT_EQ(invoker_status, 0);
    EXPECT_EQ(daemon_status, 1);
}

class FailedFork : public Daemons {
protected:
    void SetUp() override
    {
        if (emulated())
            GTEST_SKIP() << "qemu-user makes clone calls of its own, so the program's forks cannot be counted";
    }
};

TEST_F(FailedFork, FirstForkFailingStillStartsTheUpdateProcess)
{
    pid_t const tracer = start_trace(korrin({"-f", "1", "-s", "1"}),
                                     {"-e", "trace=clone,fork,setsid", "-e", "inject=clone,fork:error=EAGAIN:when=1"});
    pid_t const update = guard.wait_for_title("update (bdflush)", 5);
    EXPECT_GT(update, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto const trace = stop_trace(tracer);
    EXPECT_EQ(exit_status_of(trace, first_pid(trace)), 0);
    auto const sessions = events(trace, "setsid");
    ASSERT_EQ(sessions.size(), 1u) << "no kernel-daemon process";
    EXPECT_EQ(sessions[0].pid, update);
    EXPECT_THAT(forks(trace).at(0).line, testing::AllOf(HasSubstr("= -1 EAGAIN"), HasSubstr("(INJECTED)")));
}

TEST_F(FailedFork, SecondForkFailingLeavesNoUpdateProcess)
{
    pid_t const tracer = start_trace(korrin({"-f", "1", "-s", "1"}),
                                     {"-e", "trace=clone,fork,setsid", "-e", "inject=clone,fork:error=EAGAIN:when=2"});
    // With the kernel-daemon process gone at once, nothing is left to trace.
    Outcome const strace = finish(tracer, 5);
    EXPECT_FALSE(strace.timed_out) << "a process stayed behind";
    auto const trace = stop_trace(tracer);
    EXPECT_EQ(exit_status_of(trace, first_pid(trace)), 0);
    auto const sessions = events(trace, "setsid");
    ASSERT_EQ(sessions.size(), 1u) << read_file(trace_file);
    EXPECT_EQ(exit_status_of(trace, sessions[0].pid), 1) << "the kernel-daemon process";
    EXPECT_THAT(guard.find(), testing::IsEmpty());
}

TEST_F(Daemons, AcceptingKernelKeepsTheUpdateProcessFlushing)
{
    // Linked with a flush call that always succeeds and a daemon call that
    // never returns.
    pid_t const tracer = start_trace(program(ACCEPTING_KORRIN, {"-f", "1", "-s", "1"}),
                                     {"-e", "trace=sync,clock_nanosleep,nanosleep,setsid"});
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    if (!emulated()) {
        std::vector<std::string> titles;
        for (pid_t pid : guard.find())
            titles.push_back(proc_cmdline(pid).substr(0, 16));
        EXPECT_THAT(titles, testing::UnorderedElementsAre("bdflush (daemon)", "update (bdflush)", testing::StartsWith("strace")));
    }
    auto const trace = stop_trace(tracer);
    EXPECT_TRUE(events(trace, "sync").empty()) << read_file(trace_file);
    EXPECT_EQ(events(trace, "setsid").size(), 2u) << "both daemons started";
    // The update process sleeps once a period; the kernel-daemon process
    // waits in its call.
    std::map<pid_t, size_t> sleeps;
    for (const char* call : {"clock_nanosleep", "nanosleep"})
        for (const auto& sleep : events(trace, call))
            ++sleeps[sleep.pid];
    size_t most = 0;
    for (const auto& [pid, count] : sleeps)
        most = std::max(most, count);
    EXPECT_GE(most, 3u) << "a flush every second";
}

TEST_F(Daemons, HangupEndsBothDaemonsAtOnce)
{
    // What the service unit's stop sends to the whole control group: both
    // daemons, the kernel-daemon process held in its call included, end at
    // once although they ignore SIGTERM.
    Outcome const invoker = run(tagged(program(ACCEPTING_KORRIN, {"-f", "1"})));
    ASSERT_EQ(invoker.status, 0) << describe(invoker);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<pid_t> const daemons = guard.find();
    ASSERT_EQ(daemons.size(), 2u);
    for (pid_t pid : daemons)
        kill(pid, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(guard.find().size(), 2u) << "SIGTERM is ignored";
    for (pid_t pid : daemons)
        kill(pid, SIGHUP);
    for (int i = 0; i < 100 && !guard.find().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_THAT(guard.find(), testing::IsEmpty());
}

TEST_F(Daemons, EmptyArgumentVectorStillStartsTitledDaemons)
{
    if (emulated())
        GTEST_SKIP() << "under qemu-user a process's title lives in guest memory, which the host's /proc does not show";
    Outcome const invoker = run(tagged(korrin_with_argv({})));
    EXPECT_EQ(invoker.status, 0) << describe(invoker);
    EXPECT_GT(guard.wait_for_title("update (bdflush)", 0.9), 0);
}

TEST_F(Daemons, RefusedSettingEndsTheRunBeforeAnyDaemon)
{
    Outcome const got = run(tagged(korrin({"-3", "100", "-f", "1"})));
    EXPECT_EQ(got.status, 1);
    EXPECT_EQ(got.err, "drennet: bdflush(9,100)=-1 38\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_THAT(guard.find(), testing::IsEmpty());
}

TEST_F(Daemons, UnprivilegedRunFlushesAndSyncsOnceAndLeavesNothing)
{
    Launch launch = tagged(korrin({"-f", "1"}));
    launch.unprivileged = true;
    Outcome const got = run(launch);
    EXPECT_EQ(got.status, 0) << describe(got);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, korrin_binary + notice_suffix);
    EXPECT_THAT(guard.find(), testing::IsEmpty());

    // The same through util-linux's setpriv, as an administrator would.
    Launch const plain = korrin({});
    Launch through_setpriv = tagged(plain);
    through_setpriv.path = "setpriv";
    through_setpriv.argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", plain.path};
    through_setpriv.argv.insert(through_setpriv.argv.end(), plain.argv.begin() + 1, plain.argv.end());
    Outcome const by_setpriv = run(through_setpriv);
    EXPECT_EQ(by_setpriv.status, 0) << describe(by_setpriv);
    EXPECT_EQ(by_setpriv.err, korrin_binary + notice_suffix);
    EXPECT_THAT(guard.find(), testing::IsEmpty());

    std::string const file = scratch_file("nobody.trace");
    Outcome const traced_run =
        run(traced(tagged(korrin({})), file, {"-tt", "-u", "nobody", "-e", "trace=sync,clone,clone3,fork,vfork"}));
    EXPECT_EQ(traced_run.status, 0) << describe(traced_run);
    EXPECT_EQ(traced_run.err, korrin_binary + notice_suffix);
    auto const trace = parse_trace(read_file(file));
    EXPECT_EQ(events(trace, "sync").size(), 1u) << read_file(file);
    if (!emulated()) // qemu-user starts threads of its own
        EXPECT_TRUE(forks(trace).empty()) << read_file(file);
    EXPECT_THAT(guard.find(), testing::IsEmpty());
}

}
