// SPDX-License-Identifier: GPL-2.0-or-later
#include "double/fake_kernel.h"

#include "kernel/bdflush.h"

#include <cerrno>
#include <map>

namespace {

std::array<long, 9> parameters;
std::map<int, fake_kernel::Answer> answers;
std::vector<fake_kernel::Call> recorded;

}

namespace fake_kernel {

void reset(std::array<long, 9> initial)
{
    parameters = initial;
    answers.clear();
    recorded.clear();
}

void answer(int function, Answer scripted)
{
    answers[function] = scripted;
}

const std::vector<Call>& calls()
{
    return recorded;
}

std::vector<int> functions()
{
    std::vector<int> codes;
    for (const auto& call : recorded)
        codes.push_back(call.function);
    return codes;
}

long parameter(int i)
{
    return parameters.at(static_cast<size_t>(i));
}

}

int bdflush(int function, long data)
{
    bool const is_read = function >= 2 && function % 2 == 0;
    auto* const target = reinterpret_cast<long*>(data);
    recorded.push_back({function, data, is_read ? *target : 0});

    if (auto const scripted = answers.find(function); scripted != answers.end()) {
        if (scripted->second.error != 0)
            errno = scripted->second.error;
        if (is_read && scripted->second.writes)
            *target = *scripted->second.writes;
        return scripted->second.result;
    }
    if (function >= 2 && function <= 19) {
        auto const i = static_cast<size_t>((function - 2) / 2);
        if (is_read)
            *target = parameters[i];
        else
            parameters[i] = data;
        return 0;
    }
    errno = ENOSYS;
    return -1;
}
