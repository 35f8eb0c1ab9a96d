// SPDX-License-Identifier: GPL-2.0-or-later
// The whole program over random command lines, run as nobody so that no
// daemon is started: every run must end with status 0 or 1 within a time
// bound and write nothing but the program's own texts, in an order that
// makes sense. Where korrin has its own runtime, each run is made again with
// the C library's korrin under the same name, and must give the same bytes
// and status. KORRIN_RANDOM_RUNS and KORRIN_RANDOM_SEED change the run.
#include "support/daemons.h"
#include "support/korrin.h"

#include <cstdlib>
#include <iostream>
#include <map>
#include <gtest/gtest.h>
#include <random>
#include <regex>
#include <sstream>

namespace {

const std::string banner = "korrin version 1.4\n";
const std::string refused_read = "drennet:(0) bdflush(00000002,&d)=-1 38\nbdflush: Function not implemented\n";

std::string random_token(std::mt19937& random)
{
    static const std::vector<std::string> options = {
        "-0", "-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8", "-9", "-d", "-s", "-f", "-h",
        "-x", "-?", "-:", "--", "-", "-dd", "-ds", "-d5", "-s5", "-f-1", "-3 4", "-dh", "--d"};
    static const std::string alphabet = "0123456789+- \t\n-dhsf:xX9";
    switch (random() % 4) {
    case 0:
    case 1:
        return options[random() % options.size()];
    case 2: {
        std::string token(random() % 9, ' ');
        for (auto& c : token)
            c = alphabet[random() % alphabet.size()];
        return token;
    }
    default: {
        std::string token(random() % 9, ' ');
        for (auto& c : token)
            c = static_cast<char>(1 + random() % 255);
        return token;
    }
    }
}

// What standard error may hold: the program's own lines, nothing else.
bool own_stderr(const std::string& err, const std::string& usage, std::string& why)
{
    static const std::regex rejection(R"(drennet: bdflush\((3|5|7|9|11|13|15|17|19),-?\d+\)=-1 38)");
    static const std::regex missing(R"(Option -[0-8sf] requires an argument!)");
    std::string rest = err;
    while (!rest.empty()) {
        if (rest.rfind(refused_read, 0) == 0) {
            rest.erase(0, refused_read.size());
            continue;
        }
        if (rest.rfind(usage, 0) == 0 && rest.size() == usage.size())
            return true;
        auto const newline = rest.find('\n');
        if (newline == std::string::npos) {
            why = "unterminated line: " + rest;
            return false;
        }
        std::string const line = rest.substr(0, newline);
        if (!std::regex_match(line, rejection) && !std::regex_match(line, missing) &&
            line != korrin_binary + ": not run as superuser, bdflush() and sync() called.") {
            why = "foreign line: " + line;
            return false;
        }
        rest.erase(0, newline + 1);
    }
    return true;
}

std::string check(const Outcome& got, const std::string& usage)
{
    if (got.timed_out)
        return "timed out";
    if (got.signal != 0)
        return "killed by signal " + std::to_string(got.signal);
    if (got.status != 0 && got.status != 1)
        return "exit status " + std::to_string(got.status);

    size_t displays = 0;
    for (size_t at = 0; at < got.out.size(); at += banner.size(), ++displays)
        if (got.out.compare(at, banner.size(), banner) != 0)
            return "foreign standard output";
    std::string why;
    if (!own_stderr(got.err, usage, why))
        return why;

    auto ends_with = [&](const std::string& tail) {
        return got.err.size() >= tail.size() && got.err.compare(got.err.size() - tail.size(), tail.size(), tail) == 0;
    };
    size_t reads = 0;
    for (size_t at = got.err.find(refused_read); at != std::string::npos; at = got.err.find(refused_read, at + 1))
        ++reads;
    if (reads != displays)
        return "a display without its refused read";
    if (got.status == 0) {
        if (displays == 0 && got.err != korrin_binary + ": not run as superuser, bdflush() and sync() called.\n")
            return "status 0 without a display or the notice";
        if (displays > 0 && !ends_with(refused_read))
            return "status 0 after a display, but more followed";
    } else if (!ends_with(usage) && !std::regex_search(got.err, std::regex(R"(=-1 38\n$)"))) {
        return "status 1 without the usage text or a rejection";
    }
    return "";
}

TEST(RandomCommandLines, EveryRunEndsCleanlyWithTheProgramsOwnTexts)
{
    char const* runs_text = std::getenv("KORRIN_RANDOM_RUNS");
    char const* seed_text = std::getenv("KORRIN_RANDOM_SEED");
    int const runs = runs_text ? std::atoi(runs_text) : 10000;
    unsigned const seed = seed_text ? static_cast<unsigned>(std::atol(seed_text)) : 20261208u;
    std::mt19937 random(seed);
    std::string const usage = usage_text(korrin_binary);
    DaemonGuard guard;

    int failures = 0;
    std::map<int, int> statuses;
    for (int i = 0; i < runs && failures < 10; ++i) {
        std::vector<std::string> args(random() % 9);
        for (auto& arg : args)
            arg = random_token(random);
        Launch launch = korrin(args);
        launch.unprivileged = true;
        launch.timeout = 10;
        launch.env.push_back(guard.tag());
        Outcome const got = run(launch);
        ++statuses[got.status];
        std::string problem = check(got, usage);
#ifdef REFERENCE_KORRIN
        std::vector<std::string> same_argv{korrin_binary};
        same_argv.insert(same_argv.end(), args.begin(), args.end());
        static std::string const reference_binary = public_copy(REFERENCE_KORRIN);
        Launch reference = program_with_argv(reference_binary, same_argv);
        reference.unprivileged = true;
        reference.timeout = 10;
        reference.env = launch.env;
        Outcome const glibc = run(reference);
        if (problem.empty() && (glibc.status != got.status || glibc.out != got.out || glibc.err != got.err))
            problem = "not what the C library's korrin gives:\n" + describe(glibc);
#endif
        if (!problem.empty()) {
            ++failures;
            std::ostringstream shown;
            for (const auto& arg : args)
                shown << " [" << arg << "]";
            ADD_FAILURE() << "run " << i << ":" << shown.str() << ": " << problem << "\n" << describe(got);
        }
    }
    EXPECT_TRUE(guard.find().empty()) << "a run left a process behind";
    std::cout << runs << " command lines (seed " << seed << "): " << statuses[0] << " ended with 0, "
              << statuses[1] << " with 1\n";
    EXPECT_GT(statuses[0], runs / 20);
    EXPECT_GT(statuses[1], runs / 20);
}

}
