# SPDX-License-Identifier: GPL-2.0-or-later
# Helpers for the distribution checks. KORRIN_EMULATOR, when set, runs the
# build's programs (qemu-i386 where the kernel cannot execute i386 itself).

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# run_korrin BINARY ARGS...: runs it, leaving stdout, stderr and the status in
# $scratch/out, $scratch/err and $status.
run_korrin() {
    local binary=$1
    shift
    status=0
    if [ -n "${KORRIN_EMULATOR:-}" ]; then
        "$KORRIN_EMULATOR" "$binary" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
    else
        "$binary" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
    fi
}

# expect_help BINARY: korrin -h prints the usage naming BINARY and exits 1.
expect_help() {
    run_korrin "$1" -h
    [ "$status" = 1 ] || fail "$1 -h exited with $status"
    [ ! -s "$scratch/out" ] || fail "$1 -h wrote to standard output"
    head -n 1 "$scratch/err" | grep -qxF "usage: $1 [-012345678] [-d] [-s sync-delay] [-f flush-delay]" ||
        fail "$1 -h: unexpected usage line: $(head -n 1 "$scratch/err")"
    [ "$(wc -l <"$scratch/err")" = 14 ] || fail "$1 -h: usage is not 14 lines"
}
