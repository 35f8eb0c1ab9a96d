#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# old.sh MACHINE VERSION KIND "VALUES" INIT KORRIN: boots the real Linux
# VERSION for MACHINE (i386, mips, mipsel, sparc, powerpc, arm, alpha, m68k) from
# the shared kernels under QEMU's software emulation, with INIT as its init
# and KORRIN as /usr/sbin/korrin, both static programs of that machine on
# korrin's own runtime. KIND and VALUES are what this kernel does with the
# flush call and what its display lists after boot (see old-init.cpp).
# Passes when every check in the guest passed.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/common.sh"
. "$here/machines.sh"
machine=$1 version=$2 kind=$3 values=$4 init=$5 korrin=$6

old_machine "$machine" "$version"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
old_root "$work/root" "$init" "$korrin"
echo "$kind $hz $values" >"$work/root/etc/korrin-scenario"
old_image "$work/root" "$work/image"

log=$work/console.log
vm_tcg_only=1 vm_boot "$qemu" "$kernel" "$memory" 120 "$log" "${boot[@]}" || true
old_report "$work/image" "$log"
summary=$(tr -d '\r' <"$log" | grep -a -E '^korrin on Linux .*: [0-9]+ passed, [0-9]+ failed$')
tr -d '\r' <"$log" | grep -a -E '^(not ok|  (got|wanted):)'
if [ -z "$summary" ] || ! [[ $summary =~ ' 0 failed' ]]; then
    echo "--- console of the guest, its last lines"
    tr -d '\r' <"$log" | tail -n 60
    fail "the guest's checks did not all pass on Linux $version for $machine"
fi
tr -d '\r' <"$log" | grep -a "^korrin-vm:"
echo "$summary"
