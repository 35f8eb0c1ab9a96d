// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The architecture's trap, entry point and system-call numbers.
#if defined(__i386__)
#include "runtime/arch-i386.h"
#elif defined(__x86_64__)
#include "runtime/arch-x86_64.h"
#else
// cppcheck-suppress preprocessorErrorDirective
#error "korrin's runtime is written for i386 and x86_64"
#endif
