#!/bin/bash
# static.sh KORRIN: the program is linked fully statically and runs.
set -euo pipefail
. "$(dirname "$0")/common.sh"
korrin=$1

file -b "$korrin" | grep -qE 'statically linked|static-pie linked' || fail "not static: $(file -b "$korrin")"
if ldd "$korrin" >"$scratch/ldd" 2>&1; then
    fail "ldd lists libraries: $(cat "$scratch/ldd")"
fi
grep -q 'not a dynamic executable' "$scratch/ldd" || fail "ldd: $(cat "$scratch/ldd")"
readelf -d "$korrin" | grep -q NEEDED && fail "NEEDED entries in the dynamic section"
expect_help "$korrin"
run_korrin "$korrin" -d
[ "$status" = 0 ] || fail "-d exited with $status"
grep -qx 'korrin version 1.4' "$scratch/out" || fail "-d printed no banner"
echo "static: $(file -b "$korrin" | cut -d, -f1-4)"
