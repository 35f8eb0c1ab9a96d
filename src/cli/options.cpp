// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/options.h"

#include "cli/usage.h"
#include "kernel/bdflush.h"
#include "kernel/parameters.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr char option_string[] = ":dhs:f:1:2:3:4:5:6:7:8:0:";

bool set_kernel_parameter(int i, int value)
{
    int const function = set_parameter(i);
    int const result = bdflush(function, value);
    if (result == 0)
        return true;
    int const error = errno;
    std::fflush(stdout);
    std::fprintf(stderr, "drennet: bdflush(%d,%d)=%d %d\n", function, value, result, error);
    return false;
}

}

int option_value(const char* text)
{
    // errno belongs to the kernel calls that follow, not to an overflowing
    // argument.
    int const saved = errno;
    long const value = std::strtol(text, nullptr, 10);
    errno = saved;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

void show_parameters()
{
    std::printf("korrin version %s\n", version);
    for (int i = 0; const char* description = parameter_descriptions[static_cast<std::size_t>(i)]; ++i) {
        // A kernel that keeps the call only as a stub answers 0 and writes
        // nothing; the listing then shows 0 rather than stale stack.
        long value = 0;
        int const result = bdflush(read_parameter(i), reinterpret_cast<long>(&value));
        if (result != 0) {
            int const error = errno;
            std::fflush(stdout);
            std::fprintf(stderr, "drennet:(%d) bdflush(%08x,&d)=%d %d\n", i,
                         static_cast<unsigned>(read_parameter(i)), result, error);
            errno = error;
            std::perror("bdflush");
            return;
        }
        std::printf("%d: %5ld %s\n", i, value, description);
    }
}

int parse_options(int argc, char** argv, Options& options)
{
    // 0 asks glibc's getopt to start afresh, so the loop may run again.
    optind = 0;
    int option;
    while ((option = getopt(argc, argv, option_string)) != -1) {
        switch (option) {
        case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8':
            if (!set_kernel_parameter(option - '0', option_value(optarg)))
                return 1;
            break;
        case 'd':
            show_parameters();
            options.displayed = true;
            break;
        case 's':
            options.sync_delay = option_value(optarg);
            break;
        case 'f':
            options.flush_delay = option_value(optarg);
            break;
        case ':':
            std::fflush(stdout);
            std::fprintf(stderr, "Option -%c requires an argument!\n", optopt);
            print_usage(argv);
        default:
            print_usage(argv);
        }
    }
    return options.displayed ? 0 : go_on;
}
