#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# static.sh KORRIN: the program is linked fully statically and runs. With
# KORRIN_OWN_RUNTIME set it is korrin on its own runtime, which old kernels
# must be able to load: a fixed-address executable with nothing but its code
# and data, at most KORRIN_SIZE_LIMIT bytes stripped (by KORRIN_STRIP), for
# the machine that file(1) describes as KORRIN_MACHINE (a regular
# expression); on ARM, with the old ABI's traps only.
set -euo pipefail
. "$(dirname "$0")/common.sh"
korrin=$1

file -b "$korrin" | grep -qE 'statically linked|static-pie linked' || fail "not static: $(file -b "$korrin")"
if ldd "$korrin" >"$scratch/ldd" 2>&1; then
    fail "ldd lists libraries: $(cat "$scratch/ldd")"
fi
grep -q 'not a dynamic executable' "$scratch/ldd" || fail "ldd: $(cat "$scratch/ldd")"
readelf -d "$korrin" | grep -q NEEDED && fail "NEEDED entries in the dynamic section"
if [ -n "${KORRIN_OWN_RUNTIME:-}" ]; then
    readelf -hW "$korrin" | grep -qE 'Type:[[:space:]]+EXEC' || fail "not a fixed-address executable: $(readelf -hW "$korrin" | grep Type:)"
    for header in INTERP TLS DYNAMIC; do
        readelf -lW "$korrin" | grep -qE "^[[:space:]]+$header[[:space:]]" && fail "a $header program header"
    done
    if [ -n "${KORRIN_MACHINE:-}" ]; then
        file -b "$korrin" | grep -qE "$KORRIN_MACHINE" || fail "not for the machine wanted: $(file -b "$korrin")"
    fi
    if [ -n "${KORRIN_OBJDUMP:-}" ] && file -b "$korrin" | grep -q ', ARM, '; then
        "$KORRIN_OBJDUMP" -d "$korrin" | grep -E '\s(swi|svc)\s' >"$scratch/traps" || fail "no trap in the program"
        ! grep -vE '\s(swi|svc)\s+0x0090[0-9a-f]{4}$' "$scratch/traps" || fail "a trap outside the old ABI: $(grep -vE '0x0090' "$scratch/traps" | head -n 3)"
        echo "traps: $(wc -l <"$scratch/traps"), all of them the old ABI's"
    fi
    "${KORRIN_STRIP:-strip}" -o "$scratch/stripped" "$korrin"
    size=$(stat -c %s "$scratch/stripped")
    [ "$size" -le "${KORRIN_SIZE_LIMIT:-12288}" ] || fail "$size bytes stripped, more than ${KORRIN_SIZE_LIMIT:-12288}"
    echo "stripped: $size bytes; segments: $(readelf -lW "$korrin" | awk '$1 == "LOAD" { printf "%s in the file, %s in memory; ", $5, $6 }')"
fi
expect_help "$korrin"
run_korrin "$korrin" -d
[ "$status" = 0 ] || fail "-d exited with $status"
grep -qx 'korrin version 1.4' "$scratch/out" || fail "-d printed no banner"
echo "static: $(file -b "$korrin" | cut -d, -f1-4)"
