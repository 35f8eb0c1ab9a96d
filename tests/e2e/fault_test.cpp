// SPDX-License-Identifier: GPL-2.0-or-later
// System calls that fail, injected at the system-call boundary with strace:
// the daemons carry on regardless, as they must, since they have nobody to
// report to.
#include "support/daemons.h"
#include "support/korrin.h"
#include "support/trace.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

using testing::HasSubstr;

namespace {

class InjectedFault : public testing::Test {
protected:
    // Starts korrin (-f 1 -s 1 unless told otherwise) under strace with this
    // fault, lets it run for a while, and returns the update process (0 if
    // none).
    pid_t launch_with(const std::string& syscalls, const std::string& fault, double seconds,
                      const std::vector<std::string>& args = {"-f", "1", "-s", "1"})
    {
        Launch launch = traced(korrin(args), trace_file,
                               {"-tt", "-e", "trace=" + syscalls, "-e", "inject=" + fault});
        launch.env.push_back(guard.tag());
        tracer = start(launch, scratch_file("out"), scratch_file("err"));
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        if (emulated()) {
            for (pid_t pid : guard.find())
                if (proc_cmdline(pid).rfind("strace", 0) != 0 && alive(pid))
                    return pid;
            return 0;
        }
        return guard.wait_for_title("update (", 1);
    }

    std::vector<TraceEvent> stop()
    {
        guard.kill_all();
        finish(tracer, 5);
        return parse_trace(read_file(trace_file));
    }

    std::string const trace_file = scratch_file("fault.trace");
    DaemonGuard guard;
    pid_t tracer = 0;
};

TEST_F(InjectedFault, FailedSetsidLeavesTheUpdateProcessRunningInTheInvokersSession)
{
    pid_t const update = launch_with("setsid,sync", "setsid:error=EPERM", 3);
    ASSERT_GT(update, 0);
    EXPECT_NE(proc_status_field(update, "NSsid"), std::to_string(update));
    auto const trace = stop();
    EXPECT_GE(events(trace, "sync", update).size(), 1u) << read_file(trace_file);
    EXPECT_EQ(events(trace, "setsid").size(), 2u) << "both children tried";
}

TEST_F(InjectedFault, FailedChdirLeavesTheDaemonsWhereTheyWereStarted)
{
    pid_t const update = launch_with("chdir,sync", "chdir:error=EACCES", 2.5);
    ASSERT_GT(update, 0);
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(update) + "/cwd"),
              std::filesystem::current_path());
    auto const trace = stop();
    EXPECT_THAT(events(trace, "chdir").at(0).line, HasSubstr("(INJECTED)"));
    EXPECT_GE(events(trace, "sync", update).size(), 1u);
}

TEST_F(InjectedFault, FailedClosesDoNotStopTheLaunch)
{
    if (emulated())
        GTEST_SKIP() << "qemu-user needs its own descriptors; failing every close would test qemu";
    // The dynamic loader's own closes must succeed: count them on a display
    // run, which closes nothing itself, and fail every close after them.
    Outcome const dry = run(traced(korrin({"-d"}), trace_file, {"-tt", "-e", "trace=close"}));
    ASSERT_EQ(dry.status, 0) << describe(dry);
    size_t const loader_closes = events(parse_trace(read_file(trace_file)), "close").size();
    pid_t const update =
        launch_with("close,sync", "close:error=EIO:when=" + std::to_string(loader_closes + 1) + "+", 2.5);
    ASSERT_GT(update, 0);
    EXPECT_TRUE(alive(update));
    auto const trace = stop();
    auto const closes = events(trace, "close");
    ASSERT_GE(closes.size(), loader_closes + 256) << "0 to 255";
    EXPECT_THAT(closes[loader_closes].line, testing::StartsWith("close(0)"));
    EXPECT_THAT(closes[loader_closes].line, HasSubstr("(INJECTED)"));
    EXPECT_GE(events(trace, "sync", update).size(), 1u);
}

TEST_F(InjectedFault, KernelWithoutCloseRangeStillClosesHighDescriptors)
{
    if (emulated())
        GTEST_SKIP() << "qemu-user keeps descriptors of its own above 255";
    // The fallback closes every descriptor below the soft limit, each one a
    // stop under strace: a limit of tens of thousands would take seconds.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 1024);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    int const high = fcntl(open("/dev/null", O_RDONLY | O_CLOEXEC), F_DUPFD, 300);
    ASSERT_GE(high, 300);
    fcntl(high, F_SETFD, 0);
    Launch launch = traced(korrin({"-f", "1", "-s", "1"}), trace_file,
                           {"-tt", "-e", "trace=close_range", "-e", "inject=close_range:error=ENOSYS"});
    launch.env.push_back(guard.tag());
    launch.inherit = {high};
    tracer = start(launch, scratch_file("out"), scratch_file("err"));
    close(high);
    pid_t const update = guard.wait_for_title("update (", 3);
    ASSERT_GT(update, 0);
    std::vector<std::string> open_descriptors;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(update) + "/fd"))
        open_descriptors.push_back(entry.path().filename());
    EXPECT_THAT(open_descriptors, testing::IsEmpty());
    auto const trace = stop();
    EXPECT_THAT(events(trace, "close_range").at(0).line, HasSubstr("ENOSYS"));
}

TEST_F(InjectedFault, FailingSyncIsIgnoredAndRepeated)
{
    pid_t const update = launch_with("sync", "sync:error=EIO", 4.5);
    ASSERT_GT(update, 0);
    auto const trace = stop();
    auto const syncs = events(trace, "sync", update);
    EXPECT_GE(syncs.size(), 2u) << read_file(trace_file);
    for (const auto& sync : syncs)
        EXPECT_THAT(sync.line, HasSubstr("EIO"));

    // The unprivileged one-off sync fails just as quietly.
    Launch launch = traced(korrin({}), trace_file, {"-u", "nobody", "-e", "trace=sync", "-e", "inject=sync:error=EIO"});
    Outcome const got = run(launch);
    EXPECT_EQ(got.status, 0) << describe(got);
    EXPECT_EQ(got.err, korrin_binary + ": not run as superuser, bdflush() and sync() called.\n");
}

#ifdef KORRIN_OWN_RUNTIME
// korrin's own runtime sleeps with select where the kernel has no nanosleep
// (Linux 1.2): the same cadence, and no sleep that returns at once.
TEST_F(InjectedFault, KernelWithoutNanosleepKeepsTheCadenceWithSelect)
{
    pid_t const update = launch_with("nanosleep,sync", "nanosleep:error=ENOSYS", 4.6);
    ASSERT_GT(update, 0);
    auto const trace = stop();
    auto const syncs = events(trace, "sync", update);
    ASSERT_GE(syncs.size(), 2u) << read_file(trace_file);
    EXPECT_LE(syncs.size(), 4u) << "no more than one sync a second";
    for (size_t i = 1; i < syncs.size(); ++i)
        EXPECT_NEAR(syncs[i].time - syncs[i - 1].time, 1.0, 0.3) << "sync " << i;
    EXPECT_EQ(events(trace, "nanosleep", update).size(), 1u) << "tried once, then select for good";
}

TEST_F(InjectedFault, NegativeDelaySleepsForGoodInTheLongestSteps)
{
    // The fault is one that never comes: nothing is injected.
    launch_with("nanosleep,sync", "sync:error=EIO:when=1000", 3, {"-f", "1", "-s", "-1"});
    auto const trace = stop();
    EXPECT_TRUE(events(trace, "sync").empty()) << read_file(trace_file);
    auto const sleeps = events(trace, "nanosleep");
    ASSERT_EQ(sleeps.size(), 2u) << "the flush delay, then the sync delay\n" << read_file(trace_file);
    EXPECT_THAT(sleeps[1].line, HasSubstr("tv_sec=2147483647")) << "2^32 - 1 s, in steps of 2^31 - 1";
}
#endif

}
