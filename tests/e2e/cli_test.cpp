// SPDX-License-Identifier: GPL-2.0-or-later
// The built program as a real process on this machine's kernel: exact bytes
// on standard output and error, and the exit status.
#include "support/korrin.h"

#include <gtest/gtest.h>

namespace {

const std::string refused_listing =
    "drennet:(0) bdflush(00000002,&d)=-1 38\n"
    "bdflush: Function not implemented\n";

void expect(const Outcome& got, int status, const std::string& out, const std::string& err)
{
    EXPECT_EQ(got.status, status) << describe(got);
    EXPECT_EQ(got.out, out);
    EXPECT_EQ(got.err, err);
}

TEST(Usage, HelpAndUnknownOptionsPrintTheUsageAndFail)
{
    for (const char* option : {"-h", "-9", "-x", "-?", "-:", "--help"}) {
        SCOPED_TRACE(option);
        expect(run(korrin({option})), 1, "", usage_text(korrin_binary));
    }
    // Parsing stops at the first bad option: nothing after it runs.
    expect(run(korrin({"-h", "-d"})), 1, "", usage_text(korrin_binary));
}

TEST(Usage, MissingArgumentIsNamedBeforeTheUsage)
{
    for (std::string letter : {"s", "f", "0", "3", "8"}) {
        SCOPED_TRACE(letter);
        expect(run(korrin({"-" + letter})), 1, "",
               "Option -" + letter + " requires an argument!\n" + usage_text(korrin_binary));
    }
}

TEST(Usage, NamesTheProgramByArgv0OrKorrinWithoutOne)
{
    expect(run(korrin_with_argv({"bdflush", "-h"})), 1, "", usage_text("bdflush"));
    Launch nameless = korrin_with_argv({});
    nameless.unprivileged = true;
    expect(run(nameless), 0, "", "korrin: not run as superuser, bdflush() and sync() called.\n");
}

TEST(Display, ThisKernelRefusesTheFirstRead)
{
    expect(run(korrin({"-d"})), 0, "korrin version 1.4\n", refused_listing);
    expect(run(korrin({"-d", "-d"})), 0, "korrin version 1.4\nkorrin version 1.4\n",
           refused_listing + refused_listing);
    expect(run(korrin({"operand", "-d", "-s", "9", "-f", "abc"})), 0, "korrin version 1.4\n", refused_listing);
}

TEST(Display, LaterUsageErrorStillEndsTheRunWithOne)
{
    expect(run(korrin({"-d", "-s"})), 1, "korrin version 1.4\n",
           refused_listing + "Option -s requires an argument!\n" + usage_text(korrin_binary));
}

TEST(Display, ListingAndLaterErrorsKeepTheirOrderOnOneTerminal)
{
    // A kernel that answers every read (the linked double writes each read's
    // function code), with standard output and error on one descriptor.
    std::string const listing = listing_text({2, 4, 6, 8, 10, 12, 14, 16, 18});
    Launch help = program(ACCEPTING_KORRIN, {"-d", "-h"});
    help.merged = true;
    expect(run(help), 1, listing + usage_text(ACCEPTING_KORRIN), "");

    Launch missing = program(ACCEPTING_KORRIN, {"-d", "-f"});
    missing.merged = true;
    expect(run(missing), 1, listing + "Option -f requires an argument!\n" + usage_text(ACCEPTING_KORRIN), "");
}

TEST(Settings, RejectedSettingEndsTheRunWithItsFunctionCode)
{
    expect(run(korrin({"-0", "5"})), 1, "", "drennet: bdflush(3,5)=-1 38\n");
    expect(run(korrin({"-8", "-7"})), 1, "", "drennet: bdflush(19,-7)=-1 38\n");
    expect(run(korrin({"-4", " +12abc", "-d"})), 1, "", "drennet: bdflush(11,12)=-1 38\n");
    expect(run(korrin({"-d", "-5", "99999999999"})), 1, "korrin version 1.4\n",
           refused_listing + "drennet: bdflush(13,2147483647)=-1 38\n");
    expect(run(korrin({"-1", "-99999999999"})), 1, "", "drennet: bdflush(5,-2147483648)=-1 38\n");
}

}
