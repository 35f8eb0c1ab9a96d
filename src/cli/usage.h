// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

[[noreturn]] void print_usage(char** argv);
