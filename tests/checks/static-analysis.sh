#!/bin/bash
# static-analysis.sh: cppcheck and clang-tidy (configured by .clang-tidy)
# find nothing in src/, for the native program and for the i386 one, whose
# flush call is the inline trap.
set -uo pipefail
cd "$(dirname "$0")/../.."
failures=0

for defines in "" "-D__i386__" "-DSYS_bdflush=134"; do
    if cppcheck --enable=all --inline-suppr --std=c++20 --error-exitcode=1 -I src $defines \
        --suppress=missingIncludeSystem --suppress=ConfigurationNotChecked --suppress=unmatchedSuppression \
        --quiet src; then
        echo "cppcheck ${defines:-(native)}: clean"
    else
        failures=$((failures + 1))
    fi
done

[ -f build/i386/compile_commands.json ] || cmake --preset i386 >/dev/null 2>&1
for build in default i386; do
    if [ ! -f build/$build/compile_commands.json ]; then
        echo "SKIPPED: clang-tidy of the $build build: it could not be configured (no 32-bit toolchain?)"
        continue
    fi
    if clang-tidy --quiet -p build/$build src/*/*.cpp >/tmp/clang-tidy.$$ 2>&1; then
        echo "clang-tidy ($build build): clean"
    else
        grep -E 'warning:|error:' /tmp/clang-tidy.$$
        failures=$((failures + 1))
    fi
    rm -f /tmp/clang-tidy.$$
done
exit $((failures > 0))
