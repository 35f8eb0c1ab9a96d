// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The name the program signs its messages with. An empty argument vector,
// which any caller of execve can hand over (and which Linux since 5.18 turns
// into a single empty string), leaves it without one.
inline const char* program_name(char* const* argv)
{
    return argv != nullptr && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : "korrin";
}
