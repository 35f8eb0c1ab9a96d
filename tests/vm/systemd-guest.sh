#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs inside Debian 12 with systemd as PID 1: installs the package given as
# $1 and checks korrin.service as an administrator would use it.
deb=$1
passed=0 failed=0
unit=korrin.service
cgroup=/sys/fs/cgroup/system.slice/$unit

check() { # WHAT GOT WANTED
    if [ "$2" = "$3" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'not ok - %s\n  got:    %s\n  wanted: %s\n' "$1" "$2" "$3"
    fi
}

titles() { # the titles of the processes in the unit's control group
    local pid
    for pid in $(cat "$cgroup/cgroup.procs" 2>/dev/null); do
        tr '\0' '\n' <"/proc/$pid/cmdline" | head -n 1
    done
}

# Waits up to TENTHS tenths of a second for the control group to hold just
# one process with this title, and prints its PID.
only_title()
{
    local tenths=$2
    while [ "$(titles)" != "$1" ] && [ "$tenths" -gt 0 ]; do
        sleep 0.1
        tenths=$((tenths - 1))
    done
    [ "$(titles)" = "$1" ] && cat "$cgroup/cgroup.procs"
}

status_field() { sed -n "s/^$2:[[:space:]]*//p" "/proc/$1/status"; }
mount_options() { awk -v at="$2" '$5 == at { print $6; exit }' "/proc/$1/mountinfo"; }

dpkg -i "$deb" >/tmp/dpkg.log 2>&1
check "dpkg -i" "$?" 0
score=$(systemd-analyze security "$unit" | sed -n 's/.*Overall exposure level for korrin.service: \([0-9.]*\).*/\1/p')
echo "exposure of $unit measured in the guest: $score"
check "exposure at most 1.0" "$(awk -v s="$score" 'BEGIN { print (s != "" && s <= 1.0) ? "yes" : s }')" yes

systemctl start "$unit"
check "systemctl start" "$?" 0
update=$(only_title "update (bdflush)" 30)
check "the control group holds update (bdflush) alone" "${update:+found}" found
if [ -n "$update" ]; then
    check "uid 0" "$(status_field "$update" Uid)" "$(printf '0\t0\t0\t0')"
    check "no capability" "$(status_field "$update" CapEff)/$(status_field "$update" CapBnd)" \
        0000000000000000/0000000000000000
    check "no new privileges, a seccomp filter" \
        "$(status_field "$update" NoNewPrivs)/$(status_field "$update" Seccomp)" 1/2
    namespaces=""
    for ns in user mnt net ipc uts; do
        [ "$(readlink "/proc/$update/ns/$ns")" != "$(readlink "/proc/1/ns/$ns")" ] && namespaces="$namespaces $ns"
    done
    check "namespaces of its own" "$namespaces" " user mnt net ipc uts"
    check "a read-only root" "$(mount_options "$update" / | cut -d , -f 1)" ro
    check "private /dev and /tmp" "$(awk '$5 == "/dev" || $5 == "/tmp" { print $5 }' "/proc/$update/mountinfo" | sort | tr '\n' ' ')" "/dev /tmp "
    # Its /proc shows processes only, /proc/sys among what it hides.
    check "read-only control groups, no /proc/sys" \
        "$(mount_options "$update" /sys/fs/cgroup | cut -d , -f 1)/$(ls -d "/proc/$update/root/proc/sys" 2>&1 | grep -c 'No such file')" ro/1
fi
update=$(only_title "update (sync)" 80)
check "after the first flush-delay: update (sync) alone" "${update:+found}" found
check "active" "$(systemctl is-active "$unit")" active

# Faster delays through a drop-in; strace sees sync(2) about once a second.
mkdir -p "/etc/systemd/system/$unit.d"
printf '[Service]\nExecStart=\nExecStart=/usr/sbin/korrin -f 1 -s 1\n' >"/etc/systemd/system/$unit.d/fast.conf"
systemctl daemon-reload
systemctl restart "$unit"
check "systemctl restart" "$?" 0
update=$(only_title "update (sync)" 30)
check "restarted with -f 1 -s 1: update (sync) alone" "${update:+found}" found
if [ -n "$update" ]; then
    timeout -s INT 4.5 strace -q -tt -e trace=sync -p "$update" -o /tmp/sync.trace
    gaps=$(awk '/^[0-9:.]+ sync\(\)/ { split($1, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3]
                                        if (n++) printf "%s ", (s - last >= 0.9 && s - last <= 1.6) ? "1s" : s - last
                                        last = s }' /tmp/sync.trace)
    check "sync(2) once a second" "$(echo "$gaps" | grep -cE '^(1s ){2,4}$')" 1
    echo "gaps between sync calls: $gaps"
fi

start=$(date +%s%N)
systemctl stop "$unit"
check "systemctl stop" "$?" 0
took=$((($(date +%s%N) - start) / 1000000))
echo "systemctl stop took $took ms"
check "stopped well under TimeoutStopSec" "$([ "$took" -lt 2500 ] && echo yes)" yes
check "inactive" "$(systemctl is-active "$unit")" inactive
check "nothing left" "$(ps -eo args= | grep -cE '^(update|bdflush) \(')" 0
check "no error in the journal" "$(journalctl -q -u "$unit" -p err --no-pager)" ""

systemctl enable -q "$unit"
check "enable" "$(systemctl is-enabled "$unit")/$(readlink "/etc/systemd/system/multi-user.target.wants/$unit")" \
    "enabled//lib/systemd/system/$unit"
systemctl disable -q "$unit"
check "disable" "$(systemctl is-enabled "$unit")" disabled

# The sandbox from inside, through the unit with a probe in korrin's place:
# the file system is read-only, no namespace can be made, and a filtered
# system call fails with EPERM instead of killing the caller. The i386
# program's flush call is such a call; the amd64 program has none to make
# and answers ENOSYS itself.
printf '[Service]\nType=oneshot\nExecStart=\nExecStart=/bin/sh -c %s\n' \
    "'touch /etc/probe; unshare -n true; strace -o /dev/null true; /usr/sbin/korrin -d; echo probe survived'" \
    >"/etc/systemd/system/$unit.d/fast.conf"
systemctl daemon-reload
systemctl start "$unit"
probe=$(journalctl -q -u "$unit" -o cat --no-pager | sed -n '/^touch: cannot touch/,/probe survived/p')
check "probe: read-only file system" "$(echo "$probe" | grep -c 'touch: cannot touch.*Read-only file system')" 1
check "probe: no namespace" "$(echo "$probe" | grep -c 'unshare: .*Operation not permitted')" 1
# Tracing one's own child needs no capability: only the filter refuses it.
check "probe: a filtered call fails with EPERM" "$(echo "$probe" | grep -c -m 1 'strace: .*ptrace.*Operation not permitted')" 1
case $(dpkg-deb -f "$deb" Architecture) in
i386) errno=1 ;;
*) errno=38 ;;
esac
check "probe: korrin -d in the sandbox" "$(echo "$probe" | grep -c -x "drennet:(0) bdflush(00000002,&d)=-1 $errno")" 1
check "probe: and the caller goes on" "$(echo "$probe" | tail -n 1)" "probe survived"
rm -rf "/etc/systemd/system/$unit.d"
systemctl daemon-reload

echo "korrin under systemd: $passed passed, $failed failed"
