// SPDX-License-Identifier: GPL-2.0-or-later
// The option loop against a stand-in for the flush call: which requests reach
// the kernel, in which order, and what the user sees.
#include "cli/options.h"
#include "double/fake_kernel.h"
#include "support/capture.h"
#include "support/korrin.h"

#include <cerrno>
#include <climits>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace {

const std::array<long, 9> some_values = {10, 500, 64, 64, 15, 3000, 500, 1884, 2};

struct Parse {
    int status;
    Options options;
    Captured output;
};

Parse parse(Args& args)
{
    Parse run{};
    run.output = capture([&] { run.status = parse_options(args.argc(), args.argv(), run.options); });
    return run;
}

class OptionLoop : public testing::Test {
protected:
    void SetUp() override { fake_kernel::reset(some_values); }
};

TEST_F(OptionLoop, DisplayPrintsBannerAndNineParametersAndEndsTheRun)
{
    fake_kernel::reset({-1, 0, 99999, 123456, 2147483647, -2147483647 - 1, 7, -40, 1});
    Args args{"korrin", "-d"};
    Parse const run = parse(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.options.displayed);
    EXPECT_EQ(run.output.out, listing_text({-1, 0, 99999, 123456, 2147483647, -2147483647 - 1, 7, -40, 1}));
    EXPECT_EQ(run.output.err, "");
    EXPECT_THAT(fake_kernel::functions(), ElementsAre(2, 4, 6, 8, 10, 12, 14, 16, 18));
}

TEST_F(OptionLoop, SettingsTakeEffectWhereTheyStandOnTheCommandLine)
{
    Args set_then_show{"korrin", "-3", "100", "-d"};
    Parse run = parse(set_then_show);
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(fake_kernel::functions(), ElementsAre(9, 2, 4, 6, 8, 10, 12, 14, 16, 18));
    EXPECT_EQ(fake_kernel::calls()[0].data, 100);
    auto shown = some_values;
    shown[3] = 100;
    EXPECT_EQ(run.output.out, listing_text(shown));

    fake_kernel::reset(some_values);
    Args show_then_set{"korrin", "-d", "-3", "100"};
    run = parse(show_then_set);
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(fake_kernel::functions(), ElementsAre(2, 4, 6, 8, 10, 12, 14, 16, 18, 9));
    EXPECT_EQ(run.output.out, listing_text(some_values));
    EXPECT_EQ(fake_kernel::parameter(3), 100);
}

TEST_F(OptionLoop, EachParameterOptionSetsItsOwnFunctionCode)
{
    Args args{"korrin", "-0", "1", "-1", "2", "-2", "3", "-3", "4", "-4", "5",
              "-5", "6", "-6", "7", "-7", "8", "-8", "9"};
    Parse const run = parse(args);
    EXPECT_EQ(run.status, go_on);
    EXPECT_THAT(fake_kernel::functions(), ElementsAre(3, 5, 7, 9, 11, 13, 15, 17, 19));
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(fake_kernel::parameter(i), i + 1);
    EXPECT_EQ(run.output.out + run.output.err, "");
}

TEST_F(OptionLoop, RejectedSettingStopsTheParseWithStatusOne)
{
    fake_kernel::answer(7, {-1, EINVAL, {}});
    Args args{"korrin", "-1", "5", "-2", "77", "-s", "3", "-4", "1", "-d"};
    Parse const run = parse(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output.err, "drennet: bdflush(7,77)=-1 22\n");
    EXPECT_EQ(run.output.out, "");
    EXPECT_THAT(fake_kernel::functions(), ElementsAre(5, 7));
    EXPECT_EQ(fake_kernel::parameter(1), 5) << "earlier settings stay";
    EXPECT_EQ(run.options.sync_delay, 30) << "later options are not processed";
}

TEST_F(OptionLoop, RejectionShowsTheFunctionCodeOfTheParameter)
{
    fake_kernel::answer(3, {-1, EPERM, {}});
    Args first{"korrin", "-0", "-12"};
    Parse run = parse(first);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output.err, "drennet: bdflush(3,-12)=-1 1\n");

    // A result that is not -1 is a failure too, printed as the kernel gave it.
    fake_kernel::answer(19, {5, 0, {}});
    errno = 0;
    Args last{"korrin", "-8", "4"};
    run = parse(last);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output.err, "drennet: bdflush(19,4)=5 0\n");
}

TEST_F(OptionLoop, RefusedReadStopsTheListingButNotTheRun)
{
    fake_kernel::answer(8, {-1, EPERM, {}});
    Args args{"korrin", "-d", "-s", "12"};
    Parse const run = parse(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.options.sync_delay, 12);
    EXPECT_EQ(run.output.out, listing_text(some_values).substr(0, listing_text(some_values).find("3: ")));
    EXPECT_EQ(run.output.err,
              "drennet:(3) bdflush(00000008,&d)=-1 1\n"
              "bdflush: Operation not permitted\n");
    EXPECT_THAT(fake_kernel::functions(), ElementsAre(2, 4, 6, 8));
}

TEST_F(OptionLoop, ReadAnsweredButNotWrittenShowsZero)
{
    for (int i = 0; i < 9; ++i)
        fake_kernel::answer(2 + 2 * i, {0, 0, {}});
    Args args{"korrin", "-d"};
    Parse const run = parse(args);
    EXPECT_EQ(run.output.out, listing_text({}));
    for (const auto& call : fake_kernel::calls())
        EXPECT_EQ(call.target_before, 0) << "function " << call.function;
}

TEST_F(OptionLoop, RepeatedDisplayListsTwice)
{
    Args args{"korrin", "-d", "-d"};
    Parse const run = parse(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.out, listing_text(some_values) + listing_text(some_values));
    EXPECT_EQ(fake_kernel::calls().size(), 18u);
}

TEST_F(OptionLoop, DelaysAreRecordedLastValueWinsAndNothingReachesTheKernel)
{
    Args args{"korrin", "-s", "10", "-f", "3", "-s20", "-f", "4"};
    Parse const run = parse(args);
    EXPECT_EQ(run.status, go_on);
    EXPECT_EQ(run.options.sync_delay, 20);
    EXPECT_EQ(run.options.flush_delay, 4);
    EXPECT_FALSE(run.options.displayed);
    EXPECT_TRUE(fake_kernel::calls().empty());

    Args defaults{"korrin"};
    Parse const plain = parse(defaults);
    EXPECT_EQ(plain.status, go_on);
    EXPECT_EQ(plain.options.sync_delay, 30);
    EXPECT_EQ(plain.options.flush_delay, 5);
}

TEST_F(OptionLoop, OperandsAreIgnoredAndMovedToTheEnd)
{
    Args args{"korrin", "x", "-f", "10"};
    Parse const run = parse(args);
    EXPECT_EQ(run.status, go_on);
    EXPECT_EQ(run.options.flush_delay, 10);
    EXPECT_THAT(args.now(), ElementsAre("korrin", "-f", "10", "x"));
}

TEST_F(OptionLoop, EmptyArgumentVectorGoesOn)
{
    char* argv[] = {nullptr};
    Options options;
    EXPECT_EQ(parse_options(0, argv, options), go_on);
    EXPECT_TRUE(fake_kernel::calls().empty());
}

TEST(OptionValue, ConvertsLikeStrtolClampedTo32Bits)
{
    EXPECT_EQ(option_value(" +12abc"), 12);
    EXPECT_EQ(option_value("\t\n -7"), -7);
    EXPECT_EQ(option_value("abc"), 0);
    EXPECT_EQ(option_value(""), 0);
    EXPECT_EQ(option_value("2x"), 2);
    EXPECT_EQ(option_value("- 5"), 0);
    EXPECT_EQ(option_value("0x10"), 0);
    EXPECT_EQ(option_value("010"), 10);
    EXPECT_EQ(option_value("2147483647"), INT_MAX);
    EXPECT_EQ(option_value("2147483648"), INT_MAX);
    EXPECT_EQ(option_value("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(option_value("-2147483648"), INT_MIN);
    EXPECT_EQ(option_value("-2147483649"), INT_MIN);
    EXPECT_EQ(option_value("-99999999999999999999999"), INT_MIN);
}

TEST(OptionValue, LeavesErrnoForTheKernelCalls)
{
    errno = 0;
    EXPECT_EQ(option_value("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(errno, 0);
}

TEST_F(OptionLoop, ArgumentsReachTheKernelConverted)
{
    Args args{"korrin", "-s", "abc", "-f", "2x", "-5", " +12abc", "-6", "4294967296", "-7", "-4294967296"};
    Parse const run = parse(args);
    EXPECT_EQ(run.options.sync_delay, 0);
    EXPECT_EQ(run.options.flush_delay, 2);
    ASSERT_EQ(fake_kernel::calls().size(), 3u);
    EXPECT_EQ(fake_kernel::calls()[0].data, 12);
    EXPECT_EQ(fake_kernel::calls()[1].data, INT_MAX);
    EXPECT_EQ(fake_kernel::calls()[2].data, INT_MIN);
}

}
