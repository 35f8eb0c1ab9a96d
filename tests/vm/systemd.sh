#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# systemd.sh BUILD_DIR ARCH: boots Debian 12's amd64 kernel under QEMU with a
# minimal Debian 12 root file system whose PID 1 is systemd, installs the
# build's Debian package for ARCH (amd64, or i386, which runs there through
# the kernel's 32-bit emulation) and runs systemd-guest.sh. Passes when
# every check in the guest passed.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/common.sh"
build=$1 arch=$2

need_commands qemu-system-x86_64 mmdebstrap apt-get dpkg-deb cpio flock timeout
[ "$(id -u)" = 0 ] || skip "building the guest's root file system needs root"
vm_lock
kernel=$(vm_kernel bookworm amd64 amd64) || skip "cannot get bookworm's linux-image-amd64 from Debian's archive"

# The root file system, made once and kept packed in the cache; with the
# i386 C library beside the amd64 one, for the i386 package.
base=$cache/rootfs/bookworm-systemd-amd64+i386.cpio
if [ ! -s "$base" ]; then
    mirror=$(vm_mirror)
    [ -n "$mirror" ] || skip "the machine's apt sources name no Debian archive for its release"
    staging=$(mktemp -d)
    mkdir -p "$cache/rootfs"
    start=$SECONDS
    mmdebstrap --quiet --variant=minbase --architectures=amd64,i386 \
        --include=systemd,systemd-sysv,procps,strace,libc6:i386 \
        --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-exclude=/usr/share/man/*' \
        --dpkgopt='path-exclude=/usr/share/locale/*' \
        bookworm "$staging/root" "deb $mirror bookworm main" >"$staging/log" 2>&1 ||
        { cat "$staging/log"; rm -rf "$staging"; skip "mmdebstrap could not build the root file system"; }
    cpio_of "$staging/root" "$base.new" && mv "$base.new" "$base" || { rm -rf "$staging"; fail "cannot pack the root file system"; }
    rm -rf "$staging"
    echo "root file system: built in $((SECONDS - start)) s, $(du -m "$base" | cut -f 1) MB"
fi
flock -u 9

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/../../dist/make-deb" "$build" "$work/package" >"$work/make-deb.log" 2>&1 ||
    fail "make-deb: $(cat "$work/make-deb.log")"
deb=$(ls "$work/package/korrin_"*"_$arch.deb") || fail "make-deb made no $arch package"
# The test's own layer, unpacked by the kernel over the root file system.
layer=$work/layer
mkdir -p "$layer/etc/systemd/system/multi-user.target.wants" "$layer/usr/local/sbin"
cp "$deb" "$layer/korrin.deb"
cp "$here/systemd-guest.sh" "$layer/usr/local/sbin/korrin-scenario"
echo korrin-test >"$layer/etc/hostname"
# No login prompts: without a getty the boot does not wait for its device.
for getty in serial-getty@ttyS0.service getty@tty1.service; do
    ln -s /dev/null "$layer/etc/systemd/system/$getty"
done
cat >"$layer/etc/systemd/system/korrin-scenario.service" <<'UNIT'
[Unit]
Description=korrin's checks under systemd
After=multi-user.target

[Service]
Type=oneshot
ExecStart=/usr/local/sbin/korrin-scenario /korrin.deb
StandardOutput=tty
StandardError=tty
TTYPath=/dev/ttyS0
# Straight to the power switch once the checks are done, passed or not.
ExecStopPost=/bin/systemctl poweroff --force --force

[Install]
WantedBy=multi-user.target
UNIT
ln -s ../korrin-scenario.service "$layer/etc/systemd/system/multi-user.target.wants/korrin-scenario.service"
chmod 755 "$layer/usr/local/sbin/korrin-scenario"
cpio_of "$layer" "$work/layer.cpio" || fail "cannot pack the test's layer"
cat "$base" "$work/layer.cpio" >"$work/initramfs"

log=$work/console.log
vm_boot qemu-system-x86_64 "$kernel" 1024 300 "$log" -initrd "$work/initramfs" \
    -append "console=ttyS0 panic=-1 loglevel=3 rdinit=/sbin/init systemd.show_status=false" || true
tr -d '\r' <"$log" | grep -a -E '^(not ok|  (got|wanted):|exposure|gaps|systemctl stop took)'
summary=$(tr -d '\r' <"$log" | grep -a -E '^korrin under systemd: [0-9]+ passed, [0-9]+ failed$')
if [ -z "$summary" ] || ! [[ $summary =~ ' 0 failed' ]]; then
    echo "--- console of the guest"
    tr -d '\r' <"$log"
    fail "the checks under systemd did not all pass"
fi
echo "$summary"
