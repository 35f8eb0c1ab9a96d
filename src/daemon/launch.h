// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Ends the run: the superuser's detaches and leaves the kernel-daemon process
// and the update process behind; anybody else's flushes and syncs once.
[[noreturn]] void launch_daemons(char** argv, int argc, int flush_delay, int sync_delay);
