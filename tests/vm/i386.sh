#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# i386.sh SUITE KIND KORRIN: boots Debian SUITE's 686-pae kernel under QEMU
# with a busybox initramfs holding KORRIN (a static i386 program) and runs
# i386-guest.sh there; KIND is what that kernel does with the flush call
# (see i386-guest.sh). Passes when every check in the guest passed.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/common.sh"
suite=$1 kind=$2 korrin=$3

need_commands qemu-system-i386 apt-get dpkg-deb cpio flock timeout
vm_lock
kernel=$(vm_kernel "$suite" i386 686-pae) || skip "cannot get $suite's linux-image-686-pae for i386 from Debian's archive"
# The userland: busybox, and util-linux's setpriv with what it links.
packages=(busybox-static util-linux libc6 libcap-ng0)
debs=()
for package in "${packages[@]}"; do
    deb=$(vm_deb bookworm i386 "$package") || skip "cannot get $package:i386 from Debian's archive"
    debs+=("$deb")
done
flock -u 9

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys,tmp,usr/sbin,usr/bin}
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$work/unpacked" || fail "cannot unpack $deb"
done
cp "$work/unpacked/bin/busybox" "$root/bin/busybox"
cp "$work/unpacked/usr/bin/setpriv" "$root/usr/bin/setpriv"
cp -a "$work/unpacked/lib" "$root/lib"
rm -rf "$root/lib/systemd" "$root/lib/udev"
cp "$korrin" "$root/usr/sbin/korrin"
cp "$here/i386-guest.sh" "$root/scenario"
cat >"$root/init" <<INIT
$(vm_busybox_init)
mount -t tmpfs tmp /tmp
echo "korrin-vm: start at \$(cut -d " " -f 1 /proc/uptime) s"
sh /scenario $kind
echo "korrin-vm: end at \$(cut -d " " -f 1 /proc/uptime) s"
reboot -f
INIT
chmod 755 "$root/init" "$root/scenario"
cpio_of "$root" "$work/initramfs" || fail "cannot pack the initramfs"

log=$work/console.log
vm_boot qemu-system-i386 "$kernel" 256 240 "$log" -initrd "$work/initramfs" \
    -append "console=ttyS0 panic=-1 loglevel=3" || true
summary=$(grep -a -E '^korrin on .*: [0-9]+ passed, [0-9]+ failed' "$log" | tr -d '\r')
grep -a -E 'not ok|^  (got|wanted):' "$log" | tr -d '\r'
if [ -z "$summary" ] || ! grep -aq '^korrin-vm: end' "$log" || ! [[ $summary =~ ' 0 failed' ]]; then
    echo "--- console of the guest"
    tr -d '\r' <"$log"
    fail "the guest's checks did not all pass on $(basename "$kernel")"
fi
grep -a "^korrin-vm:" "$log" | tr -d "\r"
echo "$summary"
