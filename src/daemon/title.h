// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Where a process may write its title: it starts at argv[0] and ends where the
// first call found the last string that follows on without a gap. Later calls
// stay inside it even when a title cut to fill it left no terminating zero.
struct TitleArea {
    char* start = nullptr;
    char* end = nullptr; // one past the last byte
};

// Writes title over the process's own argument strings, and over the
// environment strings that follow them, so that process listings show it.
void set_title(char** argv, int argc, const char* title);

// The same, with the area remembered in area rather than for the process.
void set_title(TitleArea& area, char** argv, int argc, const char* title);
