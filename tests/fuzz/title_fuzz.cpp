// SPDX-License-Identifier: GPL-2.0-or-later
// set_title over arbitrary argument blocks, twice, against a model of the
// short and long rules written on offsets into the block. The block sits in a
// guarded buffer; no byte outside the title area may change.
#include "daemon/title.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t guard = 64;
constexpr std::size_t block_size = 512;

// Reads the fuzzer's bytes one at a time; zeros once they run out.
struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t next() { return size ? (--size, *data++) : 0; }
};

struct Model {
    std::vector<char> bytes;     // the block only
    std::size_t area_end = 0;    // one past the area, 0 before the first call
};

std::size_t zero_from(const std::vector<char>& bytes, std::size_t from, std::size_t limit)
{
    while (from < limit && bytes[from] != '\0')
        ++from;
    return from;
}

// The rules, on offsets. argv and env hold offsets of strings in the block;
// the argv entries are in vector order.
void model_title(Model& model, const std::vector<std::size_t>& argv, const std::vector<std::size_t>& env,
                 const std::vector<char>& title)
{
    auto& b = model.bytes;
    bool const first = model.area_end == 0;
    std::size_t const limit = first ? b.size() : model.area_end;
    std::size_t const a = zero_from(b, argv[0], limit) - argv[0];
    std::size_t const length = title.size();
    if (length <= a) {
        std::fill(b.begin() + static_cast<long>(argv[0]), b.begin() + static_cast<long>(argv[0] + a), '\0');
        std::size_t const copy = std::min(length + 1, limit - argv[0]);
        for (std::size_t i = 0; i < copy; ++i)
            b[argv[0] + i] = i < length ? title[i] : '\0';
        if (first)
            model.area_end = argv[0] + a + 1;
        return;
    }
    std::size_t end = std::min(argv[0] + a, limit - 1);
    auto join = [&](std::size_t s) {
        if (s != end + 1 || s >= limit)
            return;
        std::size_t const zero = zero_from(b, s, limit);
        if (zero < limit)
            end = zero;
    };
    for (std::size_t i = 1; i < argv.size(); ++i)
        join(argv[i]);
    if (!env.empty() && env[0] == end + 1)
        for (std::size_t s : env)
            join(s);
    std::size_t const size = end - argv[0] + 1;
    for (std::size_t i = 0; i < size; ++i)
        b[argv[0] + i] = i < length ? title[i] : '\0';
    if (first)
        model.area_end = end + 1;
}

std::vector<char> read_title(Input& in)
{
    std::vector<char> title(in.next() % 48);
    for (auto& c : title)
        c = static_cast<char>(in.next() | 1); // never a zero inside a title
    return title;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    std::vector<char> buffer(guard + block_size + guard);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<char>(0xa5 ^ i);
    char* const block = buffer.data() + guard;

    // Lay out strings in memory order: each follows the previous one's zero,
    // or leaves a gap of filler bytes. The first belongs to argv[0].
    std::size_t const count = 1 + in.next() % 12;
    std::size_t const env_count = in.next() % (count + 1) == 0 ? 0 : in.next() % 6;
    std::vector<std::size_t> offsets;
    std::size_t at = 0;
    for (std::size_t i = 0; i < count + env_count; ++i) {
        std::uint8_t const shape = in.next();
        if (i > 0 && shape & 0x80)
            at += 1 + shape % 5;
        std::size_t const length = in.next() % 24;
        if (at + length + 1 > block_size)
            break;
        for (std::size_t j = 0; j < length; ++j)
            block[at + j] = static_cast<char>(in.next() | 1);
        block[at + length] = '\0';
        offsets.push_back(at);
        at += length + 1;
    }
    std::size_t const argc = std::min(count, offsets.size());
    std::vector<std::size_t> argv_at(offsets.begin(), offsets.begin() + static_cast<long>(argc));
    std::vector<std::size_t> env_at(offsets.begin() + static_cast<long>(argc), offsets.end());
    // Option parsing may have moved entries after argv[0] about.
    for (std::size_t i = argc; i > 2; --i)
        std::swap(argv_at[i - 1], argv_at[1 + in.next() % (i - 1)]);

    std::vector<char*> argv, env;
    for (std::size_t offset : argv_at)
        argv.push_back(block + offset);
    argv.push_back(nullptr);
    for (std::size_t offset : env_at)
        env.push_back(block + offset);
    env.push_back(nullptr);

    Model model{std::vector<char>(block, block + block_size), 0};
    std::vector<char> const before(buffer);
    char** const saved_environ = environ;
    environ = env.data();
    TitleArea area;
    for (int call = 0; call < 2; ++call) {
        std::vector<char> title = read_title(in);
        model_title(model, argv_at, env_at, title);
        title.push_back('\0');
        set_title(area, argv.data(), static_cast<int>(argc), title.data());
        if (!std::equal(buffer.begin(), buffer.begin() + guard, before.begin()) ||
            !std::equal(buffer.end() - guard, buffer.end(), before.end() - guard))
            std::abort(); // wrote outside the block
        if (!std::equal(model.bytes.begin(), model.bytes.end(), block))
            std::abort(); // not what the rules give
        if (std::size_t(area.end - area.start) != model.area_end - argv_at[0])
            std::abort();
    }
    environ = saved_environ;
    return 0;
}
