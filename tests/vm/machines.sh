# SPDX-License-Identifier: GPL-2.0-or-later
# The real old kernels of the shared kernels (KORRIN_OLD_KERNELS, else
# shared/kernels beside the checkout or beside the repository it was cloned
# from), and how QEMU boots each machine with a root file system made here.
# Sourced by bash scripts, after common.sh.
#
# shared_kernels: the directory of the shared kernels: KORRIN_OLD_KERNELS,
# or shared/kernels beside the checkout or beside the repository it was
# cloned from; nothing where there is none.
shared_kernels()
{
    [ -n "${KORRIN_OLD_KERNELS:-}" ] && { echo "$KORRIN_OLD_KERNELS"; return; }
    local checkout origin candidate
    checkout=$(readlink -f "$here/../..")
    origin=$(git -C "$checkout" remote get-url origin 2>/dev/null)
    for candidate in "$checkout/../shared/kernels" ${origin:+"$origin/../shared/kernels"}; do
        [ -d "$candidate" ] && { echo "$candidate"; return; }
    done
}

# old_machine MACHINE VERSION: sets
#   qemu, kernel, memory   the QEMU program, the kernel image, megabytes;
#   machine_args           QEMU's arguments for the board;
#   root_kind              romfs (an initrd, or the first disk on malta),
#                          ext2-initrd (2.0) or ext2-disk (the first IDE disk);
#   append                 the kernel's command line (empty on 1.2, which
#                          takes none);
#   console                where the init reports: a device, or a file on the
#                          root disk that the host reads back;
#   data_disk, data_index  the guest's device of the data disk that power
#                          cuts attach, and its IDE index (empty where the
#                          board has no IDE);
#   hz                     the kernel's clock ticks a second, the unit of its
#                          ages and of a process's times in /proc;
#   byte_order             LSB or MSB, as the machine's programs must be;
#   nic                    QEMU's network card: none, or one on a hub that
#                          leads nowhere where the board needs it.
# Skips when the kernel is not there.
old_machine()
{
    local machine=$1 version=$2 kernels
    kernels=$(shared_kernels)
    kernel=$(ls "${kernels:-/nonexistent}/linux-$version-$machine."*[Ii]mage "${kernels:-/nonexistent}/linux-$version-$machine.vmlinux" 2>/dev/null | head -n 1)
    [ -n "$kernel" ] || skip "no Linux $version kernel for $machine: set KORRIN_OLD_KERNELS to the shared kernels"
    memory=32 machine_args=() console=/dev/console root_kind=romfs-initrd
    data_disk=/dev/hdb data_index=1 hz=100 byte_order=MSB nic=(-nic none)
    local init="init=/sbin/init panic=1"
    case $machine in
    i386)
        qemu=qemu-system-i386 machine_args=(-cpu pentium2) console=/dev/ttyS0 byte_order=LSB
        case $version in
        1.2.*) root_kind=ext2-disk append="" ;;
        2.0.*) root_kind=ext2-initrd append="console=ttyS0 root=/dev/ram0 rw" ;;
        *) append="console=ttyS0 root=/dev/ram0" ;;
        esac
        ;;
    mips | mipsel)
        # One board in either byte order: QEMU's program and the kernel
        # decide it (the big-endian kernel moves IDE sectors unswapped),
        # while romfs and ext2 keep their own whatever the machine's. The
        # first UART comes after 28 other slots on this board.
        qemu=qemu-system-$machine machine_args=(-M malta -cpu 4Kc) root_kind=romfs-disk
        [ "$machine" = mipsel ] && byte_order=LSB
        # Not probing for disks that are not there saves seconds; power.sh
        # drops hdb=noprobe for its second disk.
        append="console=ttyS28 root=/dev/hda $init hdb=noprobe ide1=noprobe"
        ;;
    sparc)
        # OpenBIOS talks on the serial port only without graphics. No word of
        # the command line may start with a dash.
        qemu=qemu-system-sparc machine_args=(-M SS-5 -nographic) memory=64 data_disk=""
        append="root=/dev/ram0 $init"
        ;;
    powerpc)
        # Its console shows nothing: the init reports to a file.
        qemu=qemu-system-ppc machine_args=(-M g3beige) memory=64 root_kind=ext2-disk console=/log
        append="root=/dev/hda rw $init"
        ;;
    arm)
        qemu=qemu-system-arm machine_args=(-M integratorcp) data_disk="" byte_order=LSB append="console=ttyAM0 root=/dev/ram0 $init"
        export QEMU_AUDIO_DRV=none
        ;;
    alpha)
        # The root stays on the initrd; 2.2 has IDE, and the data disk is
        # its first. 2.2's interrupt table gives an irq to the IDE in its
        # place behind the network card, slot 3, and none in slot 2, where
        # it moves without a card. The clock ticks 1024 times a second.
        qemu=qemu-system-alpha machine_args=(-M clipper) memory=64 hz=1024 byte_order=LSB
        append="console=ttyS0 root=/dev/ram0 $init"
        case $version in
        2.2.*) data_disk=/dev/hda data_index=0 nic=(-nic hubport,hubid=0) ;;
        *) data_disk="" ;;
        esac
        ;;
    m68k)
        qemu=qemu-system-m68k machine_args=(-M q800) memory=64 data_disk="" append="debug=ser root=/dev/ram0 $init"
        ;;
    *) fail "no such machine: $machine" ;;
    esac
    need_commands "$qemu" timeout mke2fs genromfs
}

# old_root DIRECTORY INIT KORRIN: the tree of a root file system with the
# init as /sbin/init and korrin as /usr/sbin/korrin, the device nodes the
# init opens, and /etc/korrin-console.
old_root()
{
    local root=$1
    mkdir -p "$root"/{dev,proc,etc,sbin,usr/sbin,data}
    mknod "$root/dev/console" c 5 1
    mknod "$root/dev/ttyS0" c 4 64
    mknod "$root/dev/null" c 1 3
    mknod "$root/dev/ram0" b 1 0
    mknod "$root/dev/hda" b 3 0
    mknod "$root/dev/hdb" b 3 64
    local program
    for program in "$2" "$3"; do
        # ELF's sixth byte: 1 for LSB, 2 for MSB.
        [ "$(od -An -j5 -N1 -tu1 "$program" | tr -d ' ')" = "$([ "$byte_order" = LSB ] && echo 1 || echo 2)" ] ||
            fail "$program is not a $byte_order program, as $machine's must be"
    done
    cp "$2" "$root/sbin/init"
    cp "$3" "$root/usr/sbin/korrin"
    echo "$console" >"$root/etc/korrin-console"
}

# old_image DIRECTORY IMAGE: the root image of the tree, and in boot the
# arguments that hand it to the kernel. The ext2 images are revision 0,
# which these kernels read; 2.0 does not boot from a much smaller one. On
# 1.2 the root device is built into the kernel, which takes no command line.
old_image()
{
    local root=$1 image=$2
    case $root_kind in
    ext2-*) mke2fs -q -t ext2 -r 0 -b 1024 -m 0 -d "$root" "$image" 2048 >/dev/null || fail "cannot make the ext2 image" ;;
    *) genromfs -f "$image" -d "$root" || fail "cannot make the romfs image" ;;
    esac
    case $root_kind in
    *-disk) boot=(-drive "file=$image,format=raw,if=ide,index=0") ;;
    *) boot=(-initrd "$image") ;;
    esac
    [ -n "$append" ] && boot+=(-append "$append")
    boot=("${machine_args[@]}" "${boot[@]}")
}

# old_report IMAGE LOG: where the report is a file on the root disk, it
# is read back into LOG once QEMU has ended.
old_report()
{
    case $console in
    /dev/*) ;;
    *) debugfs -R "cat $console" "$1" 2>/dev/null >"$2" || fail "cannot read $console from the root disk" ;;
    esac
}
