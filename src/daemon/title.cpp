// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/title.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unistd.h>

namespace {

TitleArea process_area;

bool before(const char* p, const char* limit)
{
    return reinterpret_cast<std::uintptr_t>(p) < reinterpret_cast<std::uintptr_t>(limit);
}

// If s begins right after end, moves end to the terminating zero of s. With a
// limit, s must end before it too.
void join(char* s, char*& end, const char* limit)
{
    if (s == nullptr || s != end + 1)
        return;
    if (limit == nullptr) {
        end = s + std::strlen(s);
        return;
    }
    if (!before(s, limit))
        return;
    std::size_t const length = strnlen(s, static_cast<std::size_t>(limit - s));
    if (before(s + length, limit))
        end = s + length;
}

}

void set_title(char** argv, int argc, const char* title)
{
    set_title(process_area, argv, argc, title);
}

void set_title(TitleArea& area, char** argv, int argc, const char* title)
{
    if (argc < 1 || argv == nullptr || argv[0] == nullptr)
        return;
    char* const start = argv[0];
    if (area.start != start)
        area = TitleArea{start, nullptr};
    char const* const limit = area.end;

    std::size_t const room = limit ? static_cast<std::size_t>(limit - start) : SIZE_MAX;
    std::size_t const a = limit ? strnlen(start, room) : std::strlen(start);
    std::size_t const length = std::strlen(title);

    if (length <= a) {
        std::memset(start, 0, a);
        std::memcpy(start, title, std::min(length + 1, room));
        if (!limit)
            area.end = start + a + 1;
        return;
    }

    // A full area has no zero of its own; its last byte ends it.
    char* end = start + std::min(a, room - 1);
    for (int i = 1; i < argc; ++i)
        join(argv[i], end, limit);
    if (environ != nullptr && environ[0] != nullptr && environ[0] == end + 1)
        for (char** entry = environ; *entry != nullptr; ++entry)
            join(*entry, end, limit);

    std::size_t const size = static_cast<std::size_t>(end - start) + 1;
    std::memset(start, 0, size);
    std::memcpy(start, title, std::min(length, size));
    if (!limit)
        area.end = end + 1;
}
