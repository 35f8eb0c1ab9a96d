// SPDX-License-Identifier: GPL-2.0-or-later
// The i386 program against a kernel that accepts the flush call, faked at the
// system-call boundary: strace answers syscall 134 in the kernel's place and,
// for reads, writes the long that the data word points at.
#include "support/daemons.h"
#include "support/korrin.h"
#include "support/trace.h"

#include <cstdio>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <chrono>
#include <regex>
#include <thread>

using testing::ElementsAre;

namespace {

// A long as strace's poke wants it: its four bytes, lowest first, in hex.
std::string poke(long value)
{
    auto const bits = static_cast<unsigned long>(value) & 0xffffffffUL;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%02lx%02lx%02lx%02lx", bits & 0xff, (bits >> 8) & 0xff,
                  (bits >> 16) & 0xff, (bits >> 24) & 0xff);
    return hex;
}

// The function codes of the flush calls in a trace, in order. strace 6.1 has
// no decoder of its own for the call and prints its arguments in hex.
std::vector<int> traced_functions(const std::string& trace)
{
    std::vector<int> codes;
    std::regex const call(R"(bdflush\((0x[0-9a-f]+|\d+),)");
    for (std::sregex_iterator it(trace.begin(), trace.end(), call), end; it != end; ++it)
        codes.push_back(std::stoi((*it)[1], nullptr, 0));
    return codes;
}

class AcceptingKernel : public testing::Test {
protected:
    void SetUp() override
    {
        if (emulated())
            GTEST_SKIP() << "this kernel cannot execute i386 programs, and strace cannot fake a "
                            "system call that qemu-user answers itself";
    }

    Outcome korrin_with(const std::string& inject, const std::vector<std::string>& args)
    {
        return run(traced(korrin(args), trace_file, {"-e", "trace=bdflush", "-e", "inject=bdflush:" + inject}));
    }

    std::string trace() const { return read_file(trace_file); }

    std::string const trace_file = scratch_file("inject.trace");
};

TEST_F(AcceptingKernel, ListingShowsWhatTheKernelWrote)
{
    for (long value : {-5L, 2147483647L, -2147483647L - 1, 123456L, 0L}) {
        SCOPED_TRACE(value);
        Outcome const got = korrin_with("retval=0:poke_exit=@arg2=" + poke(value), {"-d"});
        EXPECT_EQ(got.status, 0) << describe(got);
        EXPECT_EQ(got.out, listing_text({value, value, value, value, value, value, value, value, value}));
        EXPECT_EQ(got.err, "");
    }
}

TEST_F(AcceptingKernel, RequestsReachTheKernelInCommandLineOrder)
{
    Outcome got = korrin_with("retval=0", {"-3", "100", "-d"});
    EXPECT_EQ(got.status, 0) << describe(got);
    EXPECT_THAT(traced_functions(trace()), ElementsAre(9, 2, 4, 6, 8, 10, 12, 14, 16, 18));
    EXPECT_THAT(trace(), testing::ContainsRegex("bdflush\\((0x9|9), (0x64|100)\\)"));

    got = korrin_with("retval=0", {"-d", "-3", "100"});
    EXPECT_EQ(got.status, 0) << describe(got);
    EXPECT_THAT(traced_functions(trace()), ElementsAre(2, 4, 6, 8, 10, 12, 14, 16, 18, 9));
}

TEST_F(AcceptingKernel, ListingStopsAtTheFirstRefusedRead)
{
    Outcome const got = korrin_with("retval=0:poke_exit=@arg2=" + poke(7) + ":when=1..3", {"-d"});
    EXPECT_EQ(got.status, 0) << describe(got);
    std::string const full = listing_text({7, 7, 7, 7, 7, 7, 7, 7, 7});
    EXPECT_EQ(got.out, full.substr(0, full.find("3: ")));
    EXPECT_EQ(got.err, "drennet:(3) bdflush(00000008,&d)=-1 38\nbdflush: Function not implemented\n");
    EXPECT_THAT(traced_functions(trace()), ElementsAre(2, 4, 6, 8));
}

TEST_F(AcceptingKernel, RawResultsBelowTheErrorRangeAreReportedUnchanged)
{
    Outcome got = korrin_with("error=126", {"-d"});
    EXPECT_EQ(got.status, 0) << describe(got);
    EXPECT_EQ(got.err, "drennet:(0) bdflush(00000002,&d)=-126 0\nbdflush: Success\n");

    got = korrin_with("error=126", {"-0", "5"});
    EXPECT_EQ(got.status, 1) << describe(got);
    EXPECT_EQ(got.err, "drennet: bdflush(3,5)=-126 0\n");

    got = korrin_with("error=125", {"-0", "5"});
    EXPECT_EQ(got.err, "drennet: bdflush(3,5)=-1 125\n");
}

TEST_F(AcceptingKernel, UpdateProcessKeepsFlushingAndNeverSyncs)
{
    DaemonGuard guard;
    Launch launch = traced(korrin({"-f", "1", "-s", "1"}), trace_file,
                           {"-tt", "-e", "trace=bdflush,sync", "-e", "inject=bdflush:retval=0"});
    launch.env.push_back(guard.tag());
    pid_t const tracer = start(launch, scratch_file("out"), scratch_file("err"));
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    pid_t const update = guard.wait_for_title("update (", 1);
    ASSERT_GT(update, 0);
    EXPECT_EQ(proc_cmdline(update).substr(0, 17), std::string("update (bdflush)\0", 17));
    guard.kill_all();
    finish(tracer, 5);
    auto const trace = parse_trace(read_file(trace_file));
    EXPECT_TRUE(events(trace, "sync").empty()) << read_file(trace_file);
    EXPECT_GE(events(trace, "bdflush", update).size(), 3u) << read_file(trace_file);
}

}
