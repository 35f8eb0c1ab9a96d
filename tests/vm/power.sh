#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# power.sh MACHINE VERSION INIT KORRIN CUT...: power cuts on a real kernel
# under QEMU. For each CUT a guest of its own, all of them side by side,
# boots with a second disk (an ext2 image made here, holding a file "old")
# and, a second after starting korrin as CUT says, writes 4 kB to a new file
# "new" and over "old", without a sync; T seconds after it says so, QEMU is
# killed (SIGKILL: no shutdown, no sync), and the disk is read back here.
#
# CUT is SETTING@T=NEW/OLD: SETTING korrin's arguments with commas for
# spaces and HZ for a second in the kernel's clock ticks (none: korrin with
# its defaults), or "-" for no korrin (on Debian's
# kernel, after "share," for a disk with its share of the dirty limit); NEW "whole" or "lost" (not whole), OLD
# "whole" (the new text), "old" (still the old) or "any".
#
# MACHINE VERSION is an old kernel of the shared kernels (i386 1.2 to 2.4,
# powerpc 2.2.1; INIT is the tests' init, old-init.cpp), or "debian
# SUITE": that suite's i386 686-pae kernel with a busybox initramfs and its
# own virtio disk (INIT is ignored).
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/common.sh"
. "$here/machines.sh"
machine=$1 version=$2 init=$3 korrin=$4
shift 4
cuts=("$@")
# The new file's size, 4 kB unless KORRIN_POWER_SIZE says otherwise.
size=${KORRIN_POWER_SIZE:-4096}

need_commands debugfs mke2fs timeout
work=$(mktemp -d)
pids=()
# Every QEMU is killed by its PID, whatever happens.
stop_guests()
{
    local pid
    for pid in "${pids[@]}" $(cat "$work"/*/pid 2>/dev/null); do
        kill -KILL "$pid" 2>/dev/null
    done
    wait
}
trap 'stop_guests; rm -rf "$work"' EXIT

# What the guest writes and what was there, as the init makes them.
alphabet() { yes "$1" | tr -d '\n' | head -c "$2"; }
alphabet abcdefghijklmnopqrstuvwxyz $size >"$work/new.wanted"
alphabet ABCDEFGHIJKLMNOPQRSTUVWXYZ 4096 >"$work/old.wanted"
mkdir "$work/data"
alphabet 0123456789 4096 >"$work/data/old"

if [ "$machine" = debian ]; then
    . "$here/power-debian.sh"
    hz=100 nic=(-nic none)
else
    old_machine "$machine" "$version"
    [ -n "$data_disk" ] || fail "$machine $version has no IDE disk here"
    append=${append/ hdb=noprobe/}
    disk=(-drive "file=DATA,format=raw,if=ide,index=$data_index")
fi

# guest N SETTING: the guest's directory $work/N, with its root and data
# images, and in qemu_run the QEMU command line.
guest()
{
    local dir=$work/$1 setting=${2//,/ }
    mkdir -p "$dir"
    mke2fs -q -t ext2 -r 0 -b 1024 -m 0 -d "$work/data" "$dir/data" $((size / 1024 + 4096)) >/dev/null ||
        fail "cannot make the data disk"
    if [ "$machine" = debian ]; then
        debian_guest "$dir" "$setting"
    else
        old_root "$dir/root" "$init" "$korrin"
        echo "$size $data_disk $setting" >"$dir/root/etc/korrin-power"
        old_image "$dir/root" "$dir/root.img"
    fi
    qemu_run=("$qemu" -m "$memory" -smp 1 -display none -monitor none "${nic[@]}" -serial "file:$dir/console"
        -no-reboot -accel tcg -kernel "$kernel" "${boot[@]}" "${disk[@]/DATA/$dir/data}")
}

# The marker: on the console, or, where the report is a file on the root
# disk, the synced line before the write, read from the image as it runs.
marked()
{
    case $console in
    /dev/*) [ -f "$1/console" ] && tr -d '\r' <"$1/console" | grep -aq '^korrin-vm: written at' ;;
    *) debugfs -R "cat $console" "$1/root.img" 2>/dev/null | grep -aq '^korrin-vm: ready' ;;
    esac
}

# power_cut N T: boots guest N, cuts its power T s after the marker, and writes
# "new" and "old" as found on its disk to $work/N/result.
power_cut()
{
    local dir=$work/$1 t=$2
    "${qemu_run[@]}" </dev/null >"$dir/qemu.log" 2>&1 &
    local pid=$! tenths=1200
    echo "$pid" >"$dir/pid"
    until marked "$dir"; do
        tenths=$((tenths - 1))
        if [ $tenths = 0 ] || ! kill -0 $pid 2>/dev/null; then
            kill -KILL $pid 2>/dev/null
            echo "no marker" >"$dir/result"
            return
        fi
        sleep 0.1
    done
    sleep "$t"
    kill -KILL $pid
    wait $pid 2>/dev/null
    if ! debugfs -R 'ls /' "$dir/data" 2>"$dir/debugfs.log" | grep -q old; then
        echo "unreadable: $(head -c 300 "$dir/debugfs.log")" >"$dir/result"
        return
    fi
    local file found
    for file in new old; do
        debugfs -R "cat /$file" "$dir/data" 2>/dev/null >"$dir/$file"
        if cmp -s "$dir/$file" "$work/$file.wanted"; then
            found=whole
        elif [ "$file" = old ] && cmp -s "$dir/$file" "$work/data/old"; then
            found=old
        elif [ ! -s "$dir/$file" ]; then
            found=empty
        elif ! tr -d '\0' <"$dir/$file" | grep -q .; then
            found=zeros
        else
            found="partial"
        fi
        echo -n "$file=$found " >>"$dir/result"
    done
}

i=0
settings=() times=() news=() olds=()
for one in "${cuts[@]}"; do
    [[ $one =~ ^([^@]*)@([0-9]+)=(whole|lost)/(whole|old|any)$ ]] || fail "not a cut: $one"
    i=$((i + 1))
    settings[i]=${BASH_REMATCH[1]//HZ/$hz} times[i]=${BASH_REMATCH[2]} news[i]=${BASH_REMATCH[3]} olds[i]=${BASH_REMATCH[4]}
    guest $i "${settings[i]}"
    power_cut $i "${times[i]}" &
    pids+=($!)
    sleep 1
done
wait "${pids[@]}"
pids=()

failed=0
for ((i = 1; i <= ${#cuts[@]}; i++)); do
    setting=${settings[i]//,/ } t=${times[i]} new=${news[i]} old=${olds[i]}
    share=""
    [[ $setting == share* ]] && share=", the disk with its share" setting=${setting#share} setting=${setting# }
    case $setting in
    -) setting="without korrin$share" ;;
    "") setting="korrin$share" ;;
    *) setting="korrin $setting$share" ;;
    esac
    result=$(cat "$work/$i/result" 2>/dev/null)
    ok=1
    case $result in
    new=*) ;;
    *) ok="" ;;
    esac
    found_new=$(sed -n 's/.*new=\([a-z]*\).*/\1/p' <<<"$result")
    found_old=$(sed -n 's/.*old=\([a-z]*\).*/\1/p' <<<"$result")
    case $new in
    whole) [ "$found_new" = whole ] || ok="" ;;
    lost) [ -n "$found_new" ] && [ "$found_new" != whole ] || ok="" ;;
    esac
    [ "$old" = any ] || [ "$found_old" = "$old" ] || ok=""
    took=$(tr -d '\r' <"$work/$i/console" | awk '/^korrin-vm: writing at/ { from = $4 } /^korrin-vm: written at/ && from != "" { printf "%.2f", $4 - from }')
    echo "$machine $version, $setting, power cut ${t} s after the write (which took ${took:-?} s): $result(wanted new=$new old=$old)"
    [ -n "$ok" ] || failed=$((failed + 1))
    if [ -z "$ok" ] || [ -n "${KORRIN_POWER_CONSOLE:-}" ]; then
        echo "--- console of the guest, its last lines"
        case $console in
        /dev/*) tr -d '\r' <"$work/$i/console" | tail -n 25 ;;
        *) debugfs -R "cat $console" "$work/$i/root.img" 2>/dev/null | tail -n 25 ;;
        esac
    fi
done
[ $failed = 0 ] || fail "$failed of ${#cuts[@]} power cuts on $machine $version did not find what they wanted"
echo "power cuts on $machine $version: ${#cuts[@]} passed"
