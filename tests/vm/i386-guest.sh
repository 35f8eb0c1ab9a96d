#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs inside a real i386 kernel, in a busybox initramfs, as root: what the
# i386 program does at the system-call boundary, as root, as root in a user
# namespace (no CAP_SYS_ADMIN in the kernel's eyes), without CAP_SYS_ADMIN
# through setpriv, and as nobody. KIND says how this kernel answers the flush
# call: "enosys" (5.15 and later) or "stub" (2.6 to 5.14: EPERM without
# CAP_SYS_ADMIN; with it, function 1 ends the caller and the rest return 0).
kind=$1
korrin=/usr/sbin/korrin
passed=0 failed=0

check() { # WHAT GOT WANTED
    if [ "$2" = "$3" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'not ok - %s\n  got:    %s\n  wanted: %s\n' "$1" "$2" "$3"
    fi
}

# run COMMAND...: its standard output, error and status in out, err, status.
run()
{
    "$@" >/tmp/out 2>/tmp/err
    status=$?
    out=$(cat /tmp/out)
    err=$(cat /tmp/err)
}

# The processes' titles as ps shows them, "PID TITLE...", without the
# "{command}" that busybox puts before a title that is not the command's name.
titles() { ps -o pid,args | sed -e 1d -e 's/^ *//' -e 's/ {[^}]*} / /'; }

# The PID of a live process whose title begins with TITLE, waiting up to
# TENTHS tenths of a second for one to appear.
find_title() # TITLE [TENTHS]
{
    local tries=0 pid
    while [ $tries -le "${2:-20}" ]; do
        pid=$(titles | awk -v title="$1" 'index($0, $1 " " title) == 1 { print $1; exit }')
        [ -n "$pid" ] && { echo "$pid"; return; }
        tries=$((tries + 1))
        sleep 0.1
    done
}

alive() { [ -d "/proc/$1" ] && ! grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null; }

# Waits up to SECONDS for PID to end; succeeds when it has.
ends_within()
{
    local tenths=$(($2 * 10))
    while alive "$1" && [ $tenths -gt 0 ]; do
        sleep 0.1
        tenths=$((tenths - 1))
    done
    ! alive "$1"
}

daemon_titles() { titles | grep -E '^[0-9]+ (update|bdflush) \('; }

descriptions="Max fraction of LRU list to examine for dirty blocks
Max number of dirty blocks to write each time bdflush activated
Num of clean buffers to be loaded onto free list by refill_freelist
Dirty block threshold for activating bdflush in refill_freelist
Percentage of cache to scan for free clusters
Time for data buffers to age before flushing
Time for non-data (dir, bitmap, etc) buffers to age before flushing
Time buffer cache load average constant
LAV ratio (used to determine threshold for buffer fratricide)."
zero_listing=$(printf 'korrin version 1.4\n'; echo "$descriptions" | awk '{ printf "%d: %5d %s\n", NR - 1, 0, $0 }')

# tuning WHO ERRNO MESSAGE [PREFIX...]: the display and a setting, for a
# caller the kernel refuses with ERRNO, or accepts when ERRNO is 0.
tuning()
{
    local who=$1 errno=$2 message=$3
    shift 3
    run "$@" "$korrin" -d
    check "$who: -d status" "$status" 0
    if [ "$errno" = 0 ]; then
        check "$who: -d lists nine zeros" "$out" "$zero_listing"
        check "$who: -d is silent on stderr" "$err" ""
    else
        check "$who: -d banner" "$out" "korrin version 1.4"
        check "$who: -d stops at parameter 0" "$err" "drennet:(0) bdflush(00000002,&d)=-1 $errno
bdflush: $message"
    fi
    run "$@" "$korrin" -3 100 -d
    if [ "$errno" = 0 ]; then
        check "$who: a setting is accepted" "$status/$err" "0/"
    else
        check "$who: a setting is refused" "$status/$out/$err" "1//drennet: bdflush(9,100)=-1 $errno"
    fi
}

# daemons WHO FATE NAME [PREFIX...]: korrin started as NAME with a descriptor
# above 255 open in the caller. FATE is what becomes of the update process:
# "sync" (it falls back to sync and stays) or "ended" (the kernel ends it at
# its first flush). Run as "korrin", the title takes over the arguments and
# the environment; run as /usr/sbin/korrin, it fits in argv[0].
daemons()
{
    local who=$1 fate=$2 name=$3
    shift 3
    run "$@" "$name" -f 3 -s 1
    check "$who: the launch" "$status/$out/$err" "0//"
    local update
    update=$(find_title "update (bdflush)")
    check "$who: update (bdflush) is there" "${update:+found}" found
    [ -n "$update" ] || return
    if [ "$name" = korrin ]; then
        check "$who: the title fills the arguments" "$(tr -d '\0' <"/proc/$update/cmdline")" "update (bdflush)"
    else
        check "$who: the title fits in argv[0]" "$(tr '\0' ' ' <"/proc/$update/cmdline")" "update (bdflush) -f 3 -s 1 "
    fi
    check "$who: its own session" "$(cut -d ' ' -f 6 "/proc/$update/stat")" "$update"
    check "$who: no descriptor" "$(ls "/proc/$update/fd")" ""
    check "$who: cwd" "$(readlink "/proc/$update/cwd")" /
    local rss
    rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$update/status")
    echo "korrin-vm: $who: update process VmRSS $rss kB"
    check "$who: VmRSS at most 32 kB" "$([ "${rss:-99999}" -le 32 ] && echo yes || echo "$rss kB")" yes
    local ignored
    ignored=0x$(sed -n 's/^SigIgn:[[:space:]]*//p' "/proc/$update/status")
    check "$who: SIGTERM, SIGINT and SIGCHLD ignored" "$((ignored & 0x14002))" $((0x14002))
    kill -TERM "$update"
    kill -INT "$update"
    sleep 0.3
    check "$who: SIGTERM and SIGINT do not end it" "$(alive "$update" && echo alive)" alive
    if [ "$fate" = ended ]; then
        ends_within "$update" 5
        check "$who: the kernel ends the update process at its first flush" "$(alive "$update" || echo ended)" ended
    else
        check "$who: the update process falls back to sync" "$(find_title "update (sync)" 40)" "$update"
        sleep 1.5
        check "$who: and stays" "$(alive "$update" && echo alive)" alive
        check "$who: the new title in /proc" "$(tr '\0' '\n' <"/proc/$update/cmdline" | head -n 1)" "update (sync)"
        kill -HUP "$update"
        ends_within "$update" 2
        check "$who: SIGHUP ends it" "$(alive "$update" || echo ended)" ended
    fi
    # No kernel here keeps the kernel-daemon process: it is long gone too.
    check "$who: nothing left" "$(daemon_titles)" ""
}

exec 300</dev/null
nobody="/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups"
without_sys_admin="/usr/bin/setpriv --bounding-set -sys_admin"

run "$korrin" -h
check "usage: status and first line" "$status/$(head -n 1 /tmp/err)" \
    "1/usage: $korrin [-012345678] [-d] [-s sync-delay] [-f flush-delay]"
check "usage: 14 lines" "$(wc -l </tmp/err)" 14
run "$korrin" -s
check "missing argument" "$status/$(head -n 1 /tmp/err)" "1/Option -s requires an argument!"
run "$korrin" -9
check "-9 gives the usage" "$status/$(wc -l </tmp/err)" "1/14"

if [ "$kind" = stub ]; then
    tuning root 0 ""
    tuning "root in a user namespace" 1 "Operation not permitted" unshare -U -r
    tuning nobody 1 "Operation not permitted" $nobody
    daemons root ended "$korrin"
    check "the kernel warns of the obsolete call" \
        "$(dmesg | grep -c "warning: process \`korrin' used the obsolete bdflush system call")" 5
else
    tuning root 38 "Function not implemented"
    tuning "root in a user namespace" 38 "Function not implemented" unshare -U -r
    tuning nobody 38 "Function not implemented" $nobody
    daemons root sync "$korrin"
    check "no warning from the kernel" "$(dmesg | grep -c 'obsolete bdflush')" 0
fi
daemons "root in a user namespace" sync korrin unshare -U -r
daemons "root without CAP_SYS_ADMIN" sync "$korrin" $without_sys_admin

run $nobody "$korrin" -f 1
check "nobody: one flush and one sync" "$status/$out/$err" \
    "0//$korrin: not run as superuser, bdflush() and sync() called."
sleep 1.5
check "nobody: nothing left" "$(daemon_titles)" ""

echo "korrin on $(uname -r): $passed passed, $failed failed"
