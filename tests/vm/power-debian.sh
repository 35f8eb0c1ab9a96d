# SPDX-License-Identifier: GPL-2.0-or-later
# The guest of power.sh on Debian's own kernel: "debian SUITE" is that
# suite's i386 686-pae kernel, a busybox initramfs with korrin as
# /usr/sbin/korrin, and the data disk on virtio, mounted as ext2 by the
# ext4 driver; the modules come from the kernel's package. Sourced by
# power.sh, after common.sh: sets what old_machine sets, and debian_guest.
suite=$version
need_commands qemu-system-i386 apt-get dpkg-deb cpio flock
vm_lock
kernel=$(vm_kernel "$suite" i386 686-pae) || skip "cannot get $suite's linux-image-686-pae for i386 from Debian's archive"
mapfile -t modules < <(vm_modules "$suite" i386 686-pae virtio_pci virtio_blk crc32c_generic ext4)
[ ${#modules[@]} -gt 0 ] || skip "cannot get the modules of $suite's linux-image-686-pae"
busybox_deb=$(vm_deb bookworm i386 busybox-static) || skip "cannot get busybox-static:i386 from Debian's archive"
flock -u 9
qemu=qemu-system-i386 memory=256 console=/dev/ttyS0
disk=(-drive "file=DATA,format=raw,if=none,id=data" -device virtio-blk-pci,drive=data)
dpkg-deb -x "$busybox_deb" "$work/busybox" || fail "cannot unpack $busybox_deb"

# debian_guest DIRECTORY SETTING WORKLOAD: the initramfs of a guest, and in boot the
# arguments that hand it to the kernel. A SETTING that starts with "share"
# gives the data disk a share of the dirty-page limit (min_ratio 50), as a
# disk has that has been writing: a disk that has written nothing lately
# has none, so that the flusher writes any dirty page of it at its next
# wake-up (every 5 s) without waiting for the pages to expire.
debian_guest()
{
    local dir=$1 setting=$2 workload=$3 root=$1/root share=":"
    if [[ $setting == share* ]]; then
        setting=${setting#share}
        setting=${setting# }
        share="echo 50 >/sys/class/bdi/254:0/min_ratio"
    fi
    mkdir -p "$root"/{bin,dev,proc,sys,data,modules,usr/sbin}
    cp "$work/busybox/bin/busybox" "$root/bin/busybox"
    cp "$korrin" "$root/usr/sbin/korrin"
    cp "${modules[@]}" "$root/modules/"
    local start="korrin $setting; echo \"korrin-power: korrin exited with \$?\"; sleep 1"
    [ "$setting" = - ] && start=":"
    cat >"$root/init" <<INIT
$(vm_busybox_init)
for module in $(for m in "${modules[@]}"; do echo -n "${m##*/} "; done); do insmod /modules/\$module || echo "korrin-power: cannot load \$module"; done
tries=0
while [ ! -b /dev/vda ] && [ \$tries -lt 100 ]; do sleep 0.1; tries=\$((tries + 1)); done
mount -t ext2 /dev/vda /data || echo "korrin-power: cannot mount /dev/vda"
echo "korrin-vm: expiry \$(cat /proc/sys/vm/dirty_expire_centisecs) cs, writeback every \$(cat /proc/sys/vm/dirty_writeback_centisecs) cs"
$share
sync
$start
alphabet() { yes \$1 | tr -d '\\n' | head -c \$2; }
case $workload in
idle) echo "korrin-vm: measuring at \$(cut -d ' ' -f 1 /proc/uptime) s" ;;
rewrite | append)
    echo "korrin-vm: measuring at \$(cut -d ' ' -f 1 /proc/uptime) s"
    while :; do
        if [ $workload = rewrite ]; then
            alphabet ABCDEFGHIJKLMNOPQRSTUVWXYZ 4096 | dd of=/data/old conv=notrunc 2>/dev/null
        else
            alphabet ABCDEFGHIJKLMNOPQRSTUVWXYZ 512 >>/data/log
        fi
        sleep 1
    done ;;
*)
    if [ $workload = stream ]; then
        yes abcdefghijklmnopqrstuvwxyz | tr -d '\\n' | dd of=/data/stream bs=65536 2>/dev/null &
        sleep 1
    fi
    echo "korrin-vm: writing at \$(cut -d ' ' -f 1 /proc/uptime) s"
    alphabet abcdefghijklmnopqrstuvwxyz $size >/data/new
    alphabet ABCDEFGHIJKLMNOPQRSTUVWXYZ 4096 | dd of=/data/old conv=notrunc 2>/dev/null
    echo "korrin-vm: written at \$(cut -d ' ' -f 1 /proc/uptime) s" ;;
esac
while :; do
    sleep 1
    echo "korrin-vm: \$(cut -d ' ' -f 1 /proc/uptime) s, \$(grep -E '^(Dirty|Writeback):' /proc/meminfo | tr -s ' ' | tr '\\n' ' ')"
done
INIT
    chmod 755 "$root/init"
    cpio_of "$root" "$dir/initramfs" || fail "cannot pack the initramfs"
    boot=(-initrd "$dir/initramfs" -append "console=ttyS0 panic=-1 loglevel=3")
}
