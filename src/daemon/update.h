// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The update process: a flush every flush_delay seconds until the kernel
// refuses one, then a sync every sync_delay seconds for good.
[[noreturn]] void update_loop(char** argv, int argc, int flush_delay, int sync_delay);
