// SPDX-License-Identifier: GPL-2.0-or-later
// Process titles written over crafted argument blocks: every byte of the
// block, guards included, is compared after each call.
#include "daemon/title.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace std::string_literals;

namespace {

constexpr size_t guard = 16;

// A buffer laid out like the kernel's argument and environment area, with
// guard bytes around it. Bytes between the strings hold '~'.
class Block {
public:
    explicit Block(size_t size) : bytes_(guard + size + guard, '~')
    {
        std::memset(bytes_.data(), 0x5a, guard);
        std::memset(bytes_.data() + guard + size, 0x5a, guard);
    }
    char* put(size_t offset, const char* text)
    {
        std::memcpy(at(offset), text, std::strlen(text) + 1);
        return at(offset);
    }
    char* at(size_t offset) { return bytes_.data() + guard + offset; }
    std::string area() const { return {bytes_.begin() + guard, bytes_.end() - guard}; }
    bool guards_intact() const
    {
        std::string const expected(guard, '\x5a');
        return std::string(bytes_.begin(), bytes_.begin() + guard) == expected &&
               std::string(bytes_.end() - guard, bytes_.end()) == expected;
    }

private:
    std::vector<char> bytes_;
};

// Points the process's environment list elsewhere for the life of a test.
class Environment {
public:
    explicit Environment(std::vector<char*> entries) : entries_(std::move(entries))
    {
        entries_.push_back(nullptr);
        saved_ = environ;
        environ = entries_.data();
    }
    ~Environment() { environ = saved_; }

private:
    std::vector<char*> entries_;
    char** saved_;
};

TEST(SetTitle, ShortCaseZeroesTheRestOfArgv0AndTouchesNothingElse)
{
    Block block(34);
    char* argv[] = {block.put(0, "/usr/local/sbin/korr"), block.put(21, "-f"), block.put(24, "10"), nullptr};
    Environment env({block.put(27, "A=1")});
    TitleArea area;
    set_title(area, argv, 3, "update (bdflush)");
    EXPECT_EQ(block.area(), "update (bdflush)\0\0\0\0\0-f\0" "10\0A=1\0~~~"s);
    EXPECT_TRUE(block.guards_intact());
}

TEST(SetTitle, TitleAsLongAsArgv0EndsOnItsZero)
{
    Block block(20);
    char* argv[] = {block.put(0, "abcdefghijklmnop"), block.put(17, "-d"), nullptr};
    Environment env({});
    TitleArea area;
    set_title(area, argv, 2, "update (bdflush)");
    EXPECT_EQ(block.area(), "update (bdflush)\0-d\0"s);
    EXPECT_TRUE(block.guards_intact());
}

TEST(SetTitle, LongCaseRunsThroughArgumentsAndEnvironment)
{
    Block block(30);
    char* argv[] = {block.put(0, "korrin"), block.put(7, "-f"), block.put(10, "1"), nullptr};
    Environment env({block.put(12, "A=1"), block.put(16, "HOME=/root")});
    TitleArea area;
    set_title(area, argv, 3, "update (bdflush)");
    EXPECT_EQ(block.area(), "update (bdflush)"s + std::string(11, '\0') + "~~~");
    EXPECT_TRUE(block.guards_intact());
}

TEST(SetTitle, EntriesThatDoNotFollowOnAreSkippedAndLaterOnesStillJoin)
{
    Block block(48);
    char* argv[] = {block.put(0, "prog"), block.put(30, "apart"), block.put(5, "0123456789ab"), nullptr};
    Environment env({block.put(40, "A=1")});
    TitleArea area;
    set_title(area, argv, 3, "update (bdflush)");
    EXPECT_EQ(block.area(), "update (bdflush)\0\0~~~~~~~~~~~~apart\0~~~~A=1\0~~~~"s);
    EXPECT_TRUE(block.guards_intact());
}

TEST(SetTitle, EnvironmentJoinsOnlyWhenItsFirstStringFollowsOn)
{
    Block block(24);
    char* argv[] = {block.put(0, "prog"), block.put(5, "-d"), nullptr};
    // Only the second environment string follows the arguments.
    Environment env({block.put(16, "B=2"), block.put(8, "A=1")});
    TitleArea area;
    set_title(area, argv, 2, "update (bdflush)");
    EXPECT_EQ(block.area(), "update (A=1\0~~~~B=2\0~~~~"s);
    EXPECT_TRUE(block.guards_intact());

    // No environment at all: the area ends with the last argument.
    Block alone(16);
    char* argv2[] = {alone.put(0, "prog"), alone.put(5, "-d"), nullptr};
    Environment none({});
    alone.put(8, "A=1");
    TitleArea area2;
    set_title(area2, argv2, 2, "update (bdflush)");
    EXPECT_EQ(alone.area(), "update (A=1\0~~~~"s);
    EXPECT_TRUE(alone.guards_intact());
}

// In memory: prog x -f 10, then the environment; option parsing has left the
// vector as prog -f 10 x. The area is prog and x, 7 bytes.
class Reordered : public testing::Test {
protected:
    Block block{24};
    char* argv[5] = {block.put(0, "prog"), block.put(7, "-f"), block.put(10, "10"), block.put(5, "x"), nullptr};
    Environment env{{block.put(13, "A=1"), block.put(17, "B=2")}};
    TitleArea area;
    std::string const outside = "-f\0" "10\0A=1\0B=2\0~~~"s;
};

TEST_F(Reordered, TitleIsCutToTheSevenByteArea)
{
    set_title(area, argv, 4, "update (bdflush)");
    EXPECT_EQ(block.area(), "update " + outside);
    EXPECT_TRUE(block.guards_intact());
}

TEST_F(Reordered, LaterCallsStayInsideAnAreaLeftWithoutAZero)
{
    set_title(area, argv, 4, "update (bdflush)");
    // Measured without a bound, argv[0] would now run on into "-f", which
    // follows on from the area's last byte.
    set_title(area, argv, 4, "update (sync)");
    EXPECT_EQ(block.area(), "update " + outside);
    set_title(area, argv, 4, "bdflush");
    EXPECT_EQ(block.area(), "bdflush" + outside) << "a title exactly as long as the area gets no zero past it";
    set_title(area, argv, 4, "abc");
    EXPECT_EQ(block.area(), "abc\0\0\0\0"s + outside);
    EXPECT_TRUE(block.guards_intact());
}

TEST(SetTitle, SecondShorterTitleTakesTheShortCase)
{
    Block block(30);
    char* argv[] = {block.put(0, "korrin"), block.put(7, "-f"), block.put(10, "1"), nullptr};
    Environment env({block.put(12, "A=1"), block.put(16, "HOME=/root")});
    TitleArea area;
    set_title(area, argv, 3, "update (bdflush)");
    set_title(area, argv, 3, "update (sync)");
    EXPECT_EQ(block.area(), "update (sync)"s + std::string(14, '\0') + "~~~");
    EXPECT_TRUE(block.guards_intact());
}

TEST(SetTitle, EmptyArgumentVectorIsLeftAlone)
{
    Block block(8);
    char* argv[] = {nullptr};
    TitleArea area;
    set_title(area, argv, 0, "update (bdflush)");
    set_title(area, argv, 1, "update (bdflush)");
    set_title(argv, 0, "update (bdflush)");
    EXPECT_EQ(block.area(), std::string(8, '~'));
}

}
