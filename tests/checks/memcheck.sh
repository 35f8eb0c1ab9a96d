#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# memcheck.sh KORRIN: valgrind's memcheck finds no error and no leak on the
# end-to-end paths: help, display, rejected setting, unprivileged run.
set -uo pipefail
log=$(mktemp)
# The last run is made as nobody, who may not enter the build tree: run a copy
# from a directory that anybody may enter.
public=$(mktemp -d)
trap 'rm -rf "$log" "$public"' EXIT
chmod 755 "$public"
cp "$1" "$public/korrin"
korrin=$public/korrin
failures=0

check() { # EXPECTED-STATUS [setpriv...] ARGS...
    local expected=$1 status=0
    shift
    "$@" >/dev/null 2>"$log.err" || status=$?
    if [ "$status" != "$expected" ] || ! grep -q 'ERROR SUMMARY: 0 errors' "$log" ||
        ! grep -qE 'All heap blocks were freed|in use at exit: 0 bytes' "$log"; then
        echo "FAIL ($status, wanted $expected): $*"
        cat "$log"
        failures=$((failures + 1))
    else
        echo "clean: ${*: -2} ($(grep -o 'total heap usage: .*' "$log"))"
    fi
    rm -f "$log.err"
}
memcheck=(valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=all --log-file="$log")

check 1 "${memcheck[@]}" "$korrin" -h
check 0 "${memcheck[@]}" "$korrin" -d
check 1 "${memcheck[@]}" "$korrin" -0 5
check 1 "${memcheck[@]}" "$korrin" -d -s
chmod 666 "$log"
check 0 setpriv --reuid=65534 --regid=65534 --clear-groups "${memcheck[@]}" "$korrin" -f 1
exit $((failures > 0))
