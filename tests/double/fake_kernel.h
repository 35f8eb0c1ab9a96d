// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <array>
#include <optional>
#include <vector>

// A stand-in for the flush call, linked in place of the real wrapper. It
// holds the nine tuning parameters like a kernel that accepts every request,
// unless a function code has been given a scripted answer, and records each
// call.
namespace fake_kernel {

struct Call {
    int function;
    long data;
    long target_before; // for reads: what the long at data held when the call came in
};

struct Answer {
    int result = 0;
    int error = 0;               // errno to set; 0 leaves errno alone
    std::optional<long> writes;  // for reads: the value written, if any
};

void reset(std::array<long, 9> parameters = {});
void answer(int function, Answer answer);
const std::vector<Call>& calls();
std::vector<int> functions();
long parameter(int i);

}
