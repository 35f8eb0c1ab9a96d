// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

struct Options {
    int sync_delay = 30;
    int flush_delay = 5;
    bool displayed = false;
};

// parse_options returns this when the run goes on into the daemons.
constexpr int go_on = -1;

// Runs the option loop over the command line, carrying out each tuning
// command as it is met. Returns the exit status of a run that ends here (0
// after a display, 1 for a rejected setting) or go_on. A usage error ends the
// process in print_usage.
int parse_options(int argc, char** argv, Options& options);

// An option argument as a 32-bit value: strtol in base 10, clamped to the
// 32-bit range, no error for trailing or missing digits.
int option_value(const char* text);

// Prints the version banner and the nine parameters the kernel reports.
void show_parameters();
