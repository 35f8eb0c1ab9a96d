// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/korrin.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A directory that anybody may enter, removed when the tests end.
struct PublicDirectory {
    std::string path;
    PublicDirectory()
    {
        char pattern[] = "/tmp/korrin-bin-XXXXXX";
        if (mkdtemp(pattern) == nullptr || chmod(pattern, 0755) != 0) {
            std::perror("korrin tests: cannot make a directory for the program");
            std::exit(1);
        }
        path = pattern;
    }
    ~PublicDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    PublicDirectory(const PublicDirectory&) = delete;
    PublicDirectory& operator=(const PublicDirectory&) = delete;
};

const PublicDirectory public_directory;

Launch launch_of(const std::string& binary, const std::vector<std::string>& argv)
{
    Launch launch;
    if (!emulated()) {
        launch.path = binary;
        launch.argv = argv;
        return launch;
    }
    launch.path = korrin_emulator;
    launch.argv = {korrin_emulator, "-0", argv.empty() ? "" : argv[0], binary};
    if (!argv.empty())
        launch.argv.insert(launch.argv.end(), argv.begin() + 1, argv.end());
    return launch;
}

}

const std::string korrin_binary = public_copy(KORRIN_BINARY);

std::string public_copy(const std::string& binary)
{
    namespace fs = std::filesystem;
    std::string const path = public_directory.path + "/" + fs::path(binary).filename().string();
    std::error_code error;
    fs::copy_file(binary, path, fs::copy_options::overwrite_existing, error);
    if (error) {
        std::fprintf(stderr, "korrin tests: cannot copy %s: %s\n", binary.c_str(), error.message().c_str());
        std::exit(1);
    }
    return path;
}

Launch korrin(const std::vector<std::string>& args)
{
    return program(korrin_binary, args);
}

Launch program(const std::string& binary, const std::vector<std::string>& args)
{
    std::vector<std::string> argv{binary};
    argv.insert(argv.end(), args.begin(), args.end());
    return launch_of(binary, argv);
}

Launch program_with_argv(const std::string& binary, const std::vector<std::string>& argv)
{
    return launch_of(binary, argv);
}

Launch korrin_with_argv(const std::vector<std::string>& argv)
{
    return launch_of(korrin_binary, argv);
}

Launch traced(Launch launch, const std::string& trace_file, const std::vector<std::string>& options)
{
    std::vector<std::string> argv{"strace", "-q", "-f", "-o", trace_file};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("--");
    argv.push_back(launch.path);
    argv.insert(argv.end(), launch.argv.begin() + (launch.argv.empty() ? 0 : 1), launch.argv.end());
    launch.path = "strace";
    launch.argv = argv;
    // LeakSanitizer cannot work under a tracer; the program allocates nothing anyway.
    launch.env.push_back("ASAN_OPTIONS=detect_leaks=0");
    return launch;
}

std::string usage_text(const std::string& name)
{
    return "usage: " + name + " [-012345678] [-d] [-s sync-delay] [-f flush-delay]\n"
           "  -0  Max fraction of LRU list to examine for dirty blocks \n"
           "  -1  Max number of dirty blocks to write each time bdflush activated \n"
           "  -2  Num of clean buffers to be loaded onto free list by refill_freelist \n"
           "  -3  Dirty block threshold for activating bdflush in refill_freelist \n"
           "  -4  Percentage of cache to scan for free clusters \n"
           "  -5  Time for data buffers to age before flushing \n"
           "  -6  Time for non-data (dir, bitmap, etc) buffers to age before flushing \n"
           "  -7  Time buffer cache load average constant \n"
           "  -8  LAV ratio (used to determine threshold for buffer fratricide) \n"
           "  -d  Display kernel parameters\n"
           "  -f  Call flush this often (in seconds)\n"
           "  -h  Give this help\n"
           "  -s  If acting as update then call sync this often (in seconds)\n";
}

std::string listing_text(const std::array<long, 9>& v)
{
    char text[1024];
    std::snprintf(text, sizeof text,
                  "korrin version 1.4\n"
                  "0: %5ld Max fraction of LRU list to examine for dirty blocks\n"
                  "1: %5ld Max number of dirty blocks to write each time bdflush activated\n"
                  "2: %5ld Num of clean buffers to be loaded onto free list by refill_freelist\n"
                  "3: %5ld Dirty block threshold for activating bdflush in refill_freelist\n"
                  "4: %5ld Percentage of cache to scan for free clusters\n"
                  "5: %5ld Time for data buffers to age before flushing\n"
                  "6: %5ld Time for non-data (dir, bitmap, etc) buffers to age before flushing\n"
                  "7: %5ld Time buffer cache load average constant\n"
                  "8: %5ld LAV ratio (used to determine threshold for buffer fratricide).\n",
                  v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
    return text;
}

namespace {

struct ScratchDirectory {
    std::string path;
    ScratchDirectory()
    {
        char pattern[] = "/tmp/korrin-test-XXXXXX";
        if (mkdtemp(pattern) != nullptr)
            path = pattern;
    }
    ~ScratchDirectory()
    {
        if (!path.empty())
            std::filesystem::remove_all(path);
    }
};

}

std::string scratch_file(const std::string& name)
{
    static ScratchDirectory directory;
    return directory.path + "/" + name;
}
