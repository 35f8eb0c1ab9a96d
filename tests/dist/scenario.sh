#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# scenario.sh KORRIN REFERENCE ENOSYS: KORRIN, built for another machine and
# run under qemu-user (KORRIN_EMULATOR, with QEMU_LD_PREFIX where it is
# dynamic), against REFERENCE, this machine's own program. Over usage errors,
# displays, settings, operands and option values, as root and as nobody, both
# print the same bytes and exit alike, but for the error number that the
# refused flush call reports, which is ENOSYS on each machine: ENOSYS is the
# other machine's number. Then root's daemons start under qemu and stay.
set -euo pipefail
. "$(dirname "$0")/common.sh"
korrin=$1 reference=$2 enosys=$3

# Copies that nobody may run, where the build tree may be root's alone.
public=$(mktemp -d)
chmod 755 "$public"
cp "$korrin" "$public/korrin"
cp "$reference" "$public/reference"
pids=$scratch/pids
: >"$pids"
trap 'xargs -r kill -KILL <"$pids" 2>/dev/null || true; rm -rf "$public" "$scratch"' EXIT

# run WHO PROGRAM ARGS...: PROGRAM, named korrin in its argv[0], as root or
# as nobody, into $scratch/out, $scratch/err and $status.
run() {
    local who=$1 program=$2
    shift 2
    local -a as=()
    [ "$who" = nobody ] && as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    status=0
    if [ "$program" = korrin ] && [ -n "${KORRIN_EMULATOR:-}" ]; then
        "${as[@]}" "$KORRIN_EMULATOR" -0 korrin "$public/korrin" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
    else
        "${as[@]}" bash -c 'exec -a korrin "$0" "$@"' "$public/$program" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
    fi
}

# same WHO ARGS...: both programs, compared.
compared=0
same() {
    local who=$1
    shift
    run "$who" reference "$@"
    # The reference's ENOSYS, at the end of its failure lines, in the other
    # machine's number.
    sed -E "s/^(drennet:.*=-1) 38\$/\\1 $enosys/" "$scratch/err" >"$scratch/want-err"
    mv "$scratch/out" "$scratch/want-out"
    local want_status=$status
    run "$who" korrin "$@"
    cmp -s "$scratch/want-out" "$scratch/out" ||
        fail "korrin $* as $who, standard output: $(diff "$scratch/want-out" "$scratch/out" | head -n 20)"
    cmp -s "$scratch/want-err" "$scratch/err" ||
        fail "korrin $* as $who, standard error: $(diff "$scratch/want-err" "$scratch/err" | head -n 20)"
    [ "$status" = "$want_status" ] || fail "korrin $* as $who: exit status $status, $want_status on this machine"
    compared=$((compared + 1))
}

# The refused display, as the other machine words it, says the scenario
# checks what it means to.
run root korrin -d
grep -qx "drennet:(0) bdflush(00000002,&d)=-1 $enosys" "$scratch/err" ||
    fail "-d: $(cat "$scratch/err")"

for who in root nobody; do
    # Usage, and options it rejects; operands before, between and after.
    same $who -h
    same $who -9
    same $who -x -d
    same $who -s
    same $who -d -f
    same $who foo -9 bar
    # Displays, also with operands and twice in one group.
    same $who -d
    same $who foo -d bar
    same $who -dd
    # Settings: refused here, with the value as the program read it.
    same $who -3 100
    same $who -d -8 -2
    same $who -0 "  +12abc"
    same $who -1 abc
    same $who -2 -
    # Numbers beyond 32 bits are the nearest 32-bit limit on every machine.
    same $who -4 99999999999
    same $who -5 -99999999999
    same $who -6 2147483647
    same $who -7 -2147483648
    same $who -s 99999999999 -f x -d
done
# The unprivileged run: one flush, one sync, a notice.
same nobody
same nobody -f 1 -s 2 operand

# Root's daemons: the invoking process exits 0 at once and prints nothing;
# the kernel-daemon process ends, since the flush call is refused, and the
# update process stays, in a session of its own, in /, deaf to SIGTERM and
# SIGINT.
run root korrin -f 1 -s 1
[ "$status" = 0 ] || fail "the daemons' launch exited with $status"
[ ! -s "$scratch/out" ] && [ ! -s "$scratch/err" ] || fail "the daemons' launch printed: $(cat "$scratch/out" "$scratch/err")"
ours() { # the processes of the program under test
    local proc
    for proc in /proc/[0-9]*; do
        if [ "$(readlink "$proc/exe" 2>/dev/null)" = "$public/korrin" ] ||
            tr '\0' ' ' <"$proc/cmdline" 2>/dev/null | grep -qF " $public/korrin -f 1"; then
            echo "${proc#/proc/}"
        fi
    done
}
sleep 2.5
ours >>"$pids"
remaining=$(ours)
[ "$(echo "$remaining" | grep -c .)" = 1 ] || fail "processes after 2.5 s: $(echo $remaining), not the update process alone"
pid=$remaining
[ "$(awk '{print $6}' "/proc/$pid/stat")" = "$pid" ] || fail "the update process leads no session of its own"
[ "$(readlink "/proc/$pid/cwd")" = / ] || fail "the update process works in $(readlink "/proc/$pid/cwd")"
kill -TERM "$pid"
kill -INT "$pid"
sleep 0.5
[ -d "/proc/$pid" ] || fail "SIGTERM or SIGINT ended the update process"
kill -HUP "$pid"
for _ in 1 2 3 4 5 6 7 8 9 10; do
    [ -d "/proc/$pid" ] || break
    sleep 0.2
done
[ ! -d "/proc/$pid" ] || fail "SIGHUP did not end the update process"
echo "scenario: $compared runs byte for byte as this machine's program (ENOSYS $enosys); the daemons started, the update process stayed and SIGHUP ended it"
