// SPDX-License-Identifier: GPL-2.0-or-later
// The flush-call wrapper: its own error test, and what this machine's kernel
// (or, on platforms without the call, the wrapper itself) answers.
#include "kernel/bdflush.h"

#include <cerrno>
#include <climits>
#include <gtest/gtest.h>

namespace {

TEST(BdflushResult, KernelErrorNumbersBecomeMinusOneAndErrno)
{
    errno = 0;
    EXPECT_EQ(bdflush_result(-1), -1);
    EXPECT_EQ(errno, 1);
    EXPECT_EQ(bdflush_result(-38), -1);
    EXPECT_EQ(errno, ENOSYS);
    EXPECT_EQ(bdflush_result(-125), -1);
    EXPECT_EQ(errno, 125);
}

TEST(BdflushResult, EverythingElsePassesWithErrnoUntouched)
{
    for (long raw : {0L, 1L, 2L, 4096L, -126L, -127L, -4095L, -4096L, static_cast<long>(INT_MIN)}) {
        errno = 77;
        EXPECT_EQ(bdflush_result(raw), raw);
        EXPECT_EQ(errno, 77) << raw;
    }
}

TEST(Bdflush, ThisKernelRefusesEveryRequestWithoutTouchingTheData)
{
    // Linux has no flush call any more: i386 answers ENOSYS, and platforms
    // that never had one get the same from the wrapper.
    for (int function = 2; function <= 18; function += 2) {
        long value = 4242;
        errno = 0;
        EXPECT_EQ(bdflush(function, reinterpret_cast<long>(&value)), -1);
        EXPECT_EQ(errno, ENOSYS);
        EXPECT_EQ(value, 4242);
    }
    errno = 0;
    EXPECT_EQ(bdflush(flush_old_buffers, 0), -1);
    EXPECT_EQ(errno, ENOSYS);
    EXPECT_EQ(bdflush(set_parameter(8), 1), -1);
}

}
