#pragma once

[[noreturn]] void print_usage(char** argv);
