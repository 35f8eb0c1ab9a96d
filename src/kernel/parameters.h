// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <array>

inline constexpr char version[] = "1.4";

// What the display prints beside each of the kernel's nine tuning
// parameters, in parameter order; the null entry ends the table.
inline constexpr std::array<const char*, 10> parameter_descriptions = {
    "Max fraction of LRU list to examine for dirty blocks",
    "Max number of dirty blocks to write each time bdflush activated",
    "Num of clean buffers to be loaded onto free list by refill_freelist",
    "Dirty block threshold for activating bdflush in refill_freelist",
    "Percentage of cache to scan for free clusters",
    "Time for data buffers to age before flushing",
    "Time for non-data (dir, bitmap, etc) buffers to age before flushing",
    "Time buffer cache load average constant",
    "LAV ratio (used to determine threshold for buffer fratricide).",
    nullptr,
};
