#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# syscalls.sh KORRIN ARCH [QEMU]: korrin on its own runtime makes no system
# call but those the oldest kernels have, over a usage error, a display, a
# refused setting, the unprivileged run and the daemons, with and without
# nanosleep. The calls of another machine's program (i386 and the old ports)
# are logged by qemu-user itself (-strace), which names them by their
# numbers on that machine and sees them as the program makes them, whether
# or not this kernel can run the program; the x86_64 program's by strace.
set -uo pipefail
. "$(dirname "$0")/common.sh"
korrin=$1 arch=$2 qemu=qemu-${3:-$arch}

if [ "$arch" != native ]; then
    # The oldest kernels' calls, as qemu names them: Linux 1.2's on i386
    # (qemu's table ends at 140), and their counterparts on the old ports
    # (alpha's getxuid answers the effective user; mips and powerpc select
    # through _newselect, alpha through osf_select); nanosleep (2.0),
    # alpha's getresuid (2.2) and close_range (5.9) are allowed because korrin
    # does without.
    allowed="exit fork write close chdir sync signal sigaction geteuid getxuid ioctl setsid getrlimit bdflush
             select _newselect osf_select nanosleep close_range getresuid"
    command -v "$qemu" >/dev/null || fail "$qemu is missing (tests/install-deps installs it)"
    # qemu writes its log to descriptor 2, which the daemons close: a close
    # of it is answered without closing it.
    cat >"$scratch/keep-log.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
int close(int fd)
{
    static int (*real)(int);
    if (fd == 2)
        return 0;
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "close");
    return real(fd);
}
EOF
else
    allowed="exit fork write close chdir sync rt_sigaction geteuid setsid getrlimit select nanosleep close_range"
    command -v strace >/dev/null || fail "strace is missing"
fi

# Copies that nobody may run, where the build tree may be root's alone.
public=$(mktemp -d)
chmod 755 "$public"
cp "$korrin" "$public/korrin"
korrin=$public/korrin
if [ "$arch" != native ]; then
    cc -shared -fPIC -o "$public/keep-log.so" "$scratch/keep-log.c" -ldl || fail "cannot build the log keeper"
fi

# Every process in the logs is killed by its PID, if it is still ours.
kill_logged() {
    local pid
    for pid in $(cat "$scratch"/*.log 2>/dev/null | grep -aoE '^[0-9]+' | sort -u); do
        case $(readlink "/proc/$pid/exe" 2>/dev/null) in
        "$korrin" | */"$qemu") kill -KILL "$pid" ;;
        esac
    done
}
trap 'kill_logged; rm -rf "$public" "$scratch"' EXIT

# record NAME HOW ARGS...: korrin's calls, into $scratch/NAME.calls. HOW is
# "-", "nobody" (run as nobody), "daemons" (they run for 3.5 s, then are
# killed) or "without-nanosleep" (the daemons, nanosleep refused with ENOSYS).
record() {
    local name=$1 how=$2 log=$scratch/$1.log
    shift 2
    local -a before=()
    [ "$how" = nobody ] && before=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    if [ "$arch" != native ]; then
        [ "$how" = without-nanosleep ] && before=(strace -f -o /dev/null -e trace=nanosleep -e inject=nanosleep:error=ENOSYS)
        "${before[@]}" env LD_PRELOAD="$public/keep-log.so" "$qemu" -strace "$korrin" "$@" >/dev/null 2>"$log" &
    else
        local -a options=()
        [ "$how" = without-nanosleep ] && options=(-e inject=nanosleep:error=ENOSYS)
        [ "$how" = nobody ] && options=(-u nobody)
        strace -f -o "$log" "${options[@]}" "$korrin" "$@" >/dev/null 2>&1 &
    fi
    local launcher=$!
    if [ "$how" = daemons ] || [ "$how" = without-nanosleep ]; then
        sleep 3.5
        kill_logged
    fi
    wait "$launcher"
    # qemu's lines from several processes may run into each other, so a
    # call is "PID name(" anywhere, with as many spaces as strace pads a
    # short PID with; strace's first line is its own execve.
    grep -av "^[0-9]* *execve(\"$korrin\"" "$log" | grep -aoE '(^|[^0-9])[0-9]+ +[a-z_][a-z_0-9]*\(' |
        sed -E 's/.* ([a-z_0-9]+)\($/\1/' | sort -u >"$scratch/$name.calls"
    [ -s "$scratch/$name.calls" ] || fail "$name: no system call recorded: $(head -c 500 "$log")"
    echo "$name: $(tr '\n' ' ' <"$scratch/$name.calls")"
}

record usage - -h
record display - -d
record refused - -0 5
record missing - -s
record unprivileged nobody -f 1
record daemons daemons -f 1 -s 1
record without-nanosleep without-nanosleep -f 1 -s 1

sort -u "$scratch"/*.calls >"$scratch/all"
outside=$(grep -vxF -f <(tr -s ' \n' '\n\n' <<<"$allowed" | sed '/^$/d') "$scratch/all" | tr '\n' ' ')
[ -z "$outside" ] || fail "calls outside the allowed list: $outside"
# What the daemons must have done for the check to mean anything.
for call in fork setsid sync nanosleep close chdir exit; do
    grep -qx "$call" "$scratch/daemons.calls" || fail "the daemons made no $call call"
done
grep -qxE '(_new|osf_)?select' "$scratch/without-nanosleep.calls" || fail "no select where nanosleep was refused"
# And select slept: a second a call for 3.5 s, not a loop of calls with a
# timeout read from the wrong place. (qemu-alpha has no osf_select: it
# answers ENOSYS, and only the real alpha kernel shows that select.)
selects=$(grep -aE '(^|[^0-9])[0-9]+ +(_new|osf_)?select\(' "$scratch/without-nanosleep.log" |
    grep -vc 'Function not implemented')
[ "$selects" -le 8 ] || fail "without nanosleep, $selects selects in 3.5 s: select does not sleep ($(grep -aE -m 2 'select\(' "$scratch/without-nanosleep.log" | tr '\n' ' '))"
echo "system calls: all $(wc -l <"$scratch/all") in the allowed list"
