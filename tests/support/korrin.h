// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "support/process.h"

#include <array>
#include <string>
#include <vector>

// The program under test, as this build made it, copied into a directory of
// the test's own that anybody may enter: some runs are made as nobody, and the
// build tree may sit where only root can go. The copy goes when the test ends.
// KORRIN_EMULATOR is set when this kernel cannot execute the build's programs
// itself (an i386 build on a kernel without 32-bit emulation); they then run
// under qemu-user.
extern const std::string korrin_binary;
inline const std::string korrin_emulator = KORRIN_EMULATOR;

inline bool emulated()
{
    return !korrin_emulator.empty();
}

// A copy of another program of this build beside korrin's.
std::string public_copy(const std::string& binary);

// korrin with these arguments, argv[0] being the path of the binary.
Launch korrin(const std::vector<std::string>& args);

// Another program of this build (one linked with a test double), the same way.
Launch program(const std::string& binary, const std::vector<std::string>& args);

// Another program with an argument vector of the test's choosing.
Launch program_with_argv(const std::string& binary, const std::vector<std::string>& argv);

// korrin with an argument vector of the test's choosing; an empty one gives
// the program no argv[0] (the kernel hands it a single empty string instead).
Launch korrin_with_argv(const std::vector<std::string>& argv);

// The same launch, traced by strace with these options, its trace going to
// trace_file. Followed forks are traced too.
Launch traced(Launch launch, const std::string& trace_file, const std::vector<std::string>& options);

std::string usage_text(const std::string& name);

// The banner and the nine listing lines for these parameter values.
std::string listing_text(const std::array<long, 9>& values);

// A file name in a fresh directory for this test.
std::string scratch_file(const std::string& name);
