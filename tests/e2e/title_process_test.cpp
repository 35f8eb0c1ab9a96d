// SPDX-License-Identifier: GPL-2.0-or-later
// Titles as other programs see them: /proc/PID/cmdline and ps.
#include "support/daemons.h"
#include "support/korrin.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace std::string_literals;

namespace {

class ProcessTitle : public testing::Test {
protected:
    void SetUp() override
    {
        if (emulated())
            GTEST_SKIP() << "under qemu-user a process's title lives in guest memory, which the "
                            "host's /proc does not show";
    }

    // Starts the probe with this argument vector and waits until it has set its title.
    pid_t start_probe(const std::vector<std::string>& argv)
    {
        std::string const out = scratch_file("probe.out");
        pid_t const pid = start({TITLE_PROBE, argv, {guard.tag()}}, out, scratch_file("probe.err"));
        for (int i = 0; i < 500 && read_file(out) != "ready\n"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(read_file(out), "ready\n");
        return pid;
    }

    std::string ps_args(pid_t pid)
    {
        return run({"ps", {"ps", "-o", "args=", "-p", std::to_string(pid)}}).out;
    }

    DaemonGuard guard;
};

TEST_F(ProcessTitle, ShortCaseShowsTheTitleWhereArgv0Was)
{
    pid_t const pid = start_probe({"/a/path/longer/than/the/title", "update (bdflush)", "-f", "1"});
    EXPECT_EQ(proc_cmdline(pid), "update (bdflush)"s + std::string(14, '\0') + "update (bdflush)\0-f\0" "1\0"s);
    EXPECT_EQ(ps_args(pid).substr(0, 16), "update (bdflush)");
}

TEST_F(ProcessTitle, LongCaseTakesOverArgumentsAndEnvironment)
{
    pid_t const pid = start_probe({"p", "update (bdflush)", "-s", "1"});
    std::string const cmdline = proc_cmdline(pid);
    ASSERT_GE(cmdline.size(), 16u);
    EXPECT_EQ(cmdline.substr(0, 16), "update (bdflush)");
    EXPECT_EQ(cmdline.find_first_not_of('\0', 16), std::string::npos) << "nothing but zeros after the title";
    EXPECT_EQ(ps_args(pid), "update (bdflush)\n");
    // The environment followed on from the arguments and is gone.
    EXPECT_EQ(proc_environ(pid).find(guard.tag()), std::string::npos);
}

}
