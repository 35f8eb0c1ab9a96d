// SPDX-License-Identifier: GPL-2.0-or-later
// korrin's own runtime beside glibc, which it stands in for: getopt, strtol,
// printf's conversions and the error texts must come out the same, over
// tables of the cases that matter and many random ones.
#include "runtime/runtime.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string ours(const char* format, ...)
{
    char buffer[512];
    rt::Output out{-1, buffer, sizeof buffer};
    std::va_list arguments;
    va_start(arguments, format);
    rt::vformat(out, format, arguments);
    va_end(arguments);
    return {buffer, out.used};
}

template <typename... Values>
std::string glibcs(const char* format, Values... values)
{
    char buffer[512];
    int const n = std::snprintf(buffer, sizeof buffer, format, values...);
    return {buffer, static_cast<std::size_t>(n)};
}

TEST(Runtime, FormatsNumbersStringsAndCharactersLikeGlibc)
{
    std::vector<long> values = {0, 1, -1, 9, 10, -10, 42, 99999, -99999, 100000, INT_MAX, INT_MIN, LONG_MAX, LONG_MIN};
    std::mt19937 random(11);
    for (int i = 0; i < 200; ++i)
        values.push_back(static_cast<long>(random()) - static_cast<long>(random()));
    for (const char* flags : {"", "0", "-", "-0", "0-"}) {
        for (int width = 0; width <= 22; width += 1 + width / 4) {
            std::string const opening = std::string("[%") + flags + (width ? std::to_string(width) : "");
            for (long v : values) {
                int const i = static_cast<int>(v);
                auto const u = static_cast<unsigned>(v);
                std::string f = opening + "ld]";
                EXPECT_EQ(ours(f.c_str(), v), glibcs(f.c_str(), v)) << f << " " << v;
                f = opening + "d]";
                EXPECT_EQ(ours(f.c_str(), i), glibcs(f.c_str(), i)) << f << " " << i;
                f = opening + "x]";
                EXPECT_EQ(ours(f.c_str(), u), glibcs(f.c_str(), u)) << f << " " << u;
                f = opening + "u]";
                EXPECT_EQ(ours(f.c_str(), u), glibcs(f.c_str(), u)) << f << " " << u;
            }
            if (std::strchr(flags, '0') == nullptr) {
                for (const char* s : {"", "korrin", "a rather longer text than the width"}) {
                    std::string const f = opening + "s]";
                    EXPECT_EQ(ours(f.c_str(), s), glibcs(f.c_str(), s)) << f << " " << s;
                }
                std::string const f = opening + "c]";
                EXPECT_EQ(ours(f.c_str(), 'd'), glibcs(f.c_str(), 'd')) << f;
            }
        }
    }
    // The program's own lines, and a null string.
    const char* const none = nullptr;
    EXPECT_EQ(ours("%s|%%|%c", none, '\xe9'), glibcs("%s|%%|%c", none, '\xe9'));
    EXPECT_EQ(ours("drennet:(%d) bdflush(%08x,&d)=%d %d\n", 8, 18u, -126, 0),
              glibcs("drennet:(%d) bdflush(%08x,&d)=%d %d\n", 8, 18u, -126, 0));
    EXPECT_EQ(ours("%d: %5ld %s\n", 3, -2147483647L, "x"), glibcs("%d: %5ld %s\n", 3, -2147483647L, "x"));
}

TEST(Runtime, OutputIsWrittenWhenTheBufferFillsAndWhenFlushed)
{
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    char buffer[8];
    rt::Output out{pipe_ends[1], buffer, sizeof buffer};
    rt::format(out, "%s", "twelve bytes");
    EXPECT_EQ(out.used, 4u) << "the first eight were written";
    EXPECT_TRUE(rt::flush(out));
    close(pipe_ends[1]);
    char got[32] = {};
    EXPECT_EQ(read(pipe_ends[0], got, sizeof got), 12);
    EXPECT_STREQ(got, "twelve bytes");
    EXPECT_FALSE(rt::flush(out = rt::Output{pipe_ends[1], buffer, sizeof buffer, 1})) << "a closed descriptor";
    close(pipe_ends[0]);
}

TEST(Runtime, ErrorTextsAreGlibcs)
{
    for (int n = -2; n <= 140; ++n) {
        const char* const text = rt::error_text(n);
        EXPECT_EQ(text ? std::string(text) : "Unknown error " + std::to_string(n), std::strerror(n)) << n;
    }
}

TEST(Runtime, ConvertsNumbersLikeStrtol)
{
    std::vector<std::string> texts = {"", " ", "-", "+", "0", "-0", "+7", " \t\n\v\f\r12x", "- 1", "--1", "+-1",
                                      "2147483647", "2147483648", "-2147483648", "-2147483649",
                                      "9223372036854775807", "9223372036854775808", "-9223372036854775808",
                                      "-9223372036854775809", "99999999999999999999999", "0x10", "007"};
    std::mt19937 random(5);
    std::string const alphabet = "0123456789 \t+-x";
    for (int i = 0; i < 5000; ++i) {
        std::string text(random() % 24, ' ');
        for (auto& c : text)
            c = alphabet[random() % (random() % 2 ? 10 : alphabet.size())];
        texts.push_back(text);
    }
    for (const auto& text : texts) {
        char* glibc_end = nullptr;
        char* our_end = nullptr;
        errno = 0;
        long const expected = std::strtol(text.c_str(), &glibc_end, 10);
        int const expected_error = errno;
        int error = 0;
        EXPECT_EQ(rt::to_long(text.c_str(), &our_end, error), expected) << "[" << text << "]";
        EXPECT_EQ(our_end, glibc_end) << "[" << text << "]";
        EXPECT_EQ(error, expected_error) << "[" << text << "]";
    }
}

// Every result getopt gives for one command line, with optarg, optopt where
// it is news, the final optind and the argument vector as it is left.
std::string parse(const std::vector<std::string>& args, const char* options, bool glibc, bool posixly_correct)
{
    std::vector<std::string> strings = args;
    std::vector<char*> argv;
    for (auto& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    int const argc = static_cast<int>(strings.size());
    rt::Getopt state;
    state.optind = 0;
    optind = 0;
    opterr = 0;
    if (posixly_correct)
        setenv("POSIXLY_CORRECT", "1", 1);
    std::string got;
    for (;;) {
        int const c = glibc ? getopt(argc, argv.data(), options)
                            : rt::getopt(state, argc, argv.data(), options, posixly_correct);
        char* const argument = glibc ? optarg : state.optarg;
        got += std::to_string(c);
        if (argument != nullptr)
            got += "=" + std::string(argument);
        if (c == '?' || c == ':')
            got += "!" + std::to_string(glibc ? optopt : state.optopt);
        got += " ";
        if (c == -1)
            break;
    }
    unsetenv("POSIXLY_CORRECT");
    got += "optind " + std::to_string(glibc ? optind : state.optind) + ":";
    for (int i = 0; i < argc; ++i)
        got += " [" + std::string(argv[static_cast<std::size_t>(i)]) + "]";
    return got;
}

TEST(Runtime, ParsesOptionsLikeGlibcGetopt)
{
    std::vector<std::string> const tokens = {
        "-d", "-s", "-f", "-h", "-0", "-8", "-9", "5", "x", "-", "--", "-ds5", "-dsd", "-s5", "-dx", "-:", "-;", "--d",
        "-\xe9", "-d-", "-1", "abc", "-f-1", "", " -d", "-+", "-ab"};
    std::mt19937 random(3);
    for (int i = 0; i < 4000; ++i) {
        std::vector<std::string> args(random() % 9 == 0 ? 0 : 1 + random() % 8);
        for (auto& arg : args)
            arg = tokens[random() % tokens.size()];
        if (!args.empty())
            args[0] = "korrin";
        for (const char* options : {":dhs:f:1:2:3:4:5:6:7:8:0:", "+:ds:", "ds:", "+a:b"}) {
            for (bool posixly_correct : {false, true}) {
                std::string const expected = parse(args, options, true, posixly_correct);
                ASSERT_EQ(parse(args, options, false, posixly_correct), expected)
                    << "options " << options << (posixly_correct ? " with POSIXLY_CORRECT" : "");
            }
        }
    }
}

}
