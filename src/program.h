#pragma once

// The name the program signs its messages with. An empty argument vector,
// which any caller of execve can hand over, leaves it without one.
inline const char* program_name(char* const* argv)
{
    return argv != nullptr && argv[0] != nullptr ? argv[0] : "korrin";
}
