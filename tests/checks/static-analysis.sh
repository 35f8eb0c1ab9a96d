#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# static-analysis.sh: cppcheck and clang-tidy (configured by .clang-tidy)
# find nothing in src/, for the native program and for the i386 one, whose
# flush call is the inline trap, and in the runtime of the static programs.
set -uo pipefail
cd "$(dirname "$0")/../.."
failures=0

# cppcheck defines no compiler macros: each configuration names its machine.
for defines in "-D__x86_64__" "-D__i386__" "-D__x86_64__ -DSYS_bdflush=134"; do
    if cppcheck --enable=all --inline-suppr --std=c++20 --error-exitcode=1 -I src $defines \
        --suppress=missingIncludeSystem --suppress=ConfigurationNotChecked --suppress=unmatchedSuppression \
        --quiet src; then
        echo "cppcheck $defines: clean"
    else
        failures=$((failures + 1))
    fi
done

# korrin's own code as the C library's builds compile it, the runtime as the
# static builds do, each for x86_64 and for i386.
for run in "default:cli daemon kernel" "i386:cli daemon kernel" "static-native:runtime" "static:runtime"; do
    build=${run%%:*}
    [ -f build/$build/compile_commands.json ] || cmake --preset $build >/dev/null 2>&1
    if [ ! -f build/$build/compile_commands.json ]; then
        echo "SKIPPED: clang-tidy of the $build build: it could not be configured (no 32-bit toolchain?)"
        continue
    fi
    files=()
    for directory in ${run#*:}; do files+=(src/$directory/*.cpp); done
    if clang-tidy --quiet -p build/$build "${files[@]}" >/tmp/clang-tidy.$$ 2>&1; then
        echo "clang-tidy ($build build, ${run#*:}): clean"
    else
        grep -E 'warning:|error:' /tmp/clang-tidy.$$
        failures=$((failures + 1))
    fi
    rm -f /tmp/clang-tidy.$$
done
exit $((failures > 0))
