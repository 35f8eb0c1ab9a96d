#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# old.sh VERSION KIND "VALUES" INIT KORRIN: boots the real Linux VERSION for
# i386 from the shared kernels (KORRIN_OLD_KERNELS, else shared/kernels
# beside the checkout or beside the repository it was cloned from) under
# QEMU's software emulation, with INIT as its init and KORRIN as
# /usr/sbin/korrin, both static i386 programs on korrin's own runtime. KIND
# and VALUES are what this kernel does with the flush call and what its
# display lists after boot (see old-init.cpp). Passes when every check in the
# guest passed.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/common.sh"
version=$1 kind=$2 values=$3 init=$4 korrin=$5

need_commands qemu-system-i386 timeout mke2fs genromfs
kernels=${KORRIN_OLD_KERNELS:-}
if [ -z "$kernels" ]; then
    checkout=$(readlink -f "$here/../..")
    origin=$(git -C "$checkout" remote get-url origin 2>/dev/null)
    for candidate in "$checkout/../shared/kernels" ${origin:+"$origin/../shared/kernels"}; do
        [ -d "$candidate" ] && { kernels=$candidate; break; }
    done
fi
kernel=$(ls "${kernels:-/nonexistent}/linux-$version-i386."*Image 2>/dev/null | head -n 1)
[ -n "$kernel" ] || skip "no Linux $version kernel: set KORRIN_OLD_KERNELS to the shared kernels"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root"/{dev,proc,etc,sbin,usr/sbin}
mknod "$root/dev/console" c 5 1
mknod "$root/dev/ttyS0" c 4 64
mknod "$root/dev/null" c 1 3
mknod "$root/dev/ram0" b 1 0
cp "$init" "$root/sbin/init"
cp "$korrin" "$root/usr/sbin/korrin"
echo "$kind $values" >"$root/etc/korrin-scenario"

# 1.2: a disk, its root device built into the kernel. 2.0: an ext2 initrd.
# 2.2 and 2.4: a romfs initrd. Both ext2 images are revision 0, which these
# kernels read. The init is /sbin/init, which every kernel runs as PID 1:
# 2.0 runs an init= program as a child of its own PID 1 instead, sharing that
# process's descriptors and restarting it whenever it dies.
image=$work/image
append="console=ttyS0 root=/dev/ram0"
case $version in
1.2.* | 2.0.*)
    mke2fs -q -t ext2 -r 0 -b 1024 -m 0 -d "$root" "$image" 2048 || fail "cannot make the ext2 image"
    append="$append rw"
    ;;
*) genromfs -f "$image" -d "$root" || fail "cannot make the romfs image" ;;
esac
case $version in
1.2.*) boot=(-drive "file=$image,format=raw,if=ide,index=0") ;;
*) boot=(-initrd "$image" -append "$append") ;;
esac

log=$work/console.log
vm_tcg_only=1 vm_boot qemu-system-i386 "$kernel" 32 180 "$log" -cpu pentium2 "${boot[@]}" || true
summary=$(tr -d '\r' <"$log" | grep -a -E '^korrin on Linux .*: [0-9]+ passed, [0-9]+ failed$')
tr -d '\r' <"$log" | grep -a -E '^(not ok|  (got|wanted):)'
if [ -z "$summary" ] || ! [[ $summary =~ ' 0 failed' ]]; then
    echo "--- console of the guest"
    tr -d '\r' <"$log"
    fail "the guest's checks did not all pass on Linux $version"
fi
tr -d '\r' <"$log" | grep -a "^korrin-vm:"
echo "$summary"
