#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# bare-machine.sh: in a bare Debian 12 (mmdebstrap --variant=minbase: apt
# and nothing more, from the machine's own archive), the README's first
# command, run as root from a copy of the sources, installs what the build
# needs, builds, and starts the daemons: the update process is seen running.
# In a PID namespace of its own, whose end ends whatever it started.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
source=$(cd "$here/../.." && pwd)
. "$here/../vm/common.sh"
need_commands mmdebstrap unshare chroot

command=$(sed -n '/^## Set up/,/^## /p' "$source/README.md" | grep -m 1 '^    ' | sed 's/^    //')
[ -n "$command" ] || fail "no command in the README's set-up section"
mirror=$(vm_mirror)
[ -n "$mirror" ] || skip "the machine's apt sources name no Debian archive for its release"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
start=$SECONDS
mmdebstrap --quiet --variant=minbase bookworm "$work/root" "deb $mirror bookworm main" >"$work/log" 2>&1 ||
    { cat "$work/log"; skip "mmdebstrap could not make the bare system"; }
! chroot "$work/root" sh -c 'command -v cmake || command -v g++ || command -v make' >/dev/null ||
    fail "the bare system has a compiler or cmake already"
cp /etc/resolv.conf "$work/root/etc/resolv.conf"
mkdir "$work/root/src"
if git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$source" ls-files -z | tar -C "$source" --null -c -T - | tar -x -C "$work/root/src"
else
    tar -C "$source" --exclude=./build -c . | tar -x -C "$work/root/src"
fi
echo "bare system: made in $((SECONDS - start)) s; running: $command"

cat >"$work/root/korrin-run.sh" <<SCRIPT
cd /src || exit 2
$command || { echo "FAIL: the first command exited with \$?"; exit 1; }
sleep 1
for proc in /proc/[0-9]*; do tr '\0' '\n' <\$proc/cmdline 2>/dev/null | head -n 1; done | grep -E '^(update|bdflush) \(' || { echo "FAIL: no daemon runs"; exit 1; }
SCRIPT
start=$SECONDS
unshare --mount --pid --fork --propagation private bash -c '
    mount --rbind /dev "$1/dev" && mount -t proc proc "$1/proc" && exec chroot "$1" /bin/bash /korrin-run.sh' -- "$work/root" \
    >"$work/run.log" 2>&1 || { tail -n 30 "$work/run.log"; fail "the README's first command in a bare Debian 12"; }
echo "daemons: $(grep -E '^(update|bdflush) \(' "$work/run.log" | tr '\n' ' ')"
echo "bare machine: the README's first command installed, built and started the daemons in $((SECONDS - start)) s"
