#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# power.sh MACHINE VERSION INIT KORRIN CUT...: power cuts on a real kernel
# under QEMU, and what its data disk receives. For each CUT a guest of its
# own, all of them side by side, boots with a second disk (an ext2 image
# made here, holding a file "old"), mounts and syncs it, starts korrin as
# CUT says, and a second later begins its workload. QEMU is killed (SIGKILL:
# no shutdown, no sync) a fixed time after the guest says it has begun, and
# the disk is read back here.
#
# A CUT is one of
#   [WORKLOAD:]SETTING@T=NEW/OLD     WORKLOAD "write" (the default): 4 kB
#       to a new file "new" and over "old", without a sync; "stream": the
#       same while the guest streams data to a third file, far more than
#       its buffer cache holds, made anew at every 32 MB; "record": the
#       same while the guest writes one file for good, 64 kB every tenth of
#       a second, and the host says how much of it the disk holds, and how
#       much of that is whole; "fill": the same, for a new file larger than
#       the guest's memory, and korrin's update process must still be there,
#       titled, after the write. The power is cut T s after the write. NEW
#       "whole" or "lost" (not whole), OLD "whole" (the new text), "old"
#       (still the old) or "any"; "/MIN-MAXkB" after them (MAX may be left
#       out), for "record": from MIN to MAX kB of the recorded file, from
#       its start, whole on disk.
#   WORKLOAD:SETTING@FROM+SPAN<=WRITES     WORKLOAD "idle" (nothing is
#       written), "rewrite" (4 kB over "old" every second) or "append" (512
#       bytes at the end of a log every second): the disk receives at most
#       WRITES write operations (or "any") in the SPAN s that begin FROM s
#       after the workload's start, as QEMU counts them (query-blockstats
#       over its QMP socket).
# SETTING is korrin's arguments with commas for spaces and HZ for a second
# in the kernel's clock ticks (none: korrin with its defaults), or "-" for
# no korrin (on Debian's kernel, after "share," for a disk with its share
# of the dirty limit).
#
# MACHINE VERSION is an old kernel of the shared kernels (INIT is the
# tests' init, old-init.cpp), or "debian SUITE": that suite's i386 686-pae
# kernel with a busybox initramfs and its own virtio disk (INIT is ignored).
# KORRIN_POWER_SIZE sets the new file's size (4 kB by default), and
# KORRIN_POWER_MEMORY the guest's memory in MB.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/common.sh"
. "$here/machines.sh"
machine=$1 version=$2 init=$3 korrin=$4
shift 4
cuts=("$@")
[ ${#cuts[@]} -gt 0 ] || fail "no cut asked for"
size=${KORRIN_POWER_SIZE:-4096}

need_commands debugfs mke2fs timeout python3
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
    disk=(-drive "file=DATA,format=raw,if=ide,index=$data_index,id=data")
fi
memory=${KORRIN_POWER_MEMORY:-$memory}

# guest N WORKLOAD SETTING: the guest's directory $work/N, with its root
# and data images, and in qemu_run the QEMU command line. A streaming guest
# gets 40 MB more, for its file of up to 32 MB, and a recording one for a
# minute of its file.
guest()
{
    local dir=$work/$1 workload=$2 setting=${3//,/ } kb=$((size / 1024 + 4096))
    mkdir -p "$dir"
    [ "$workload" = stream ] || [ "$workload" = record ] && kb=$((kb + 40960))
    mke2fs -q -t ext2 -r 0 -b 1024 -m 0 -d "$work/data" "$dir/data" $kb >/dev/null ||
        fail "cannot make the data disk"
    if [ "$machine" = debian ]; then
        debian_guest "$dir" "$setting" "$workload"
    else
        old_root "$dir/root" "$init" "$korrin"
        echo "$workload $size $data_disk $setting" >"$dir/root/etc/korrin-power"
        old_image "$dir/root" "$dir/root.img"
    fi
    qemu_run=("$qemu" -m "$memory" -smp 1 -display none -monitor none "${nic[@]}" -serial "file:$dir/console"
        -qmp "unix:$dir/qmp,server=on,wait=off" -no-reboot -accel tcg -kernel "$kernel" "${boot[@]}"
        "${disk[@]/DATA/$dir/data}")
}

# disk_writes N: "OPERATIONS BYTES HIGHEST" that guest N's data disk has
# received, as QEMU counts them (HIGHEST: the end of the highest write, 2048
# for ext2's superblock); or what went wrong, and 1.
disk_writes()
{
    python3 - "$work/$1/qmp" <<'QMP'
import json, socket, sys
try:
    qmp = socket.socket(socket.AF_UNIX)
    qmp.settimeout(10)
    qmp.connect(sys.argv[1])
    stream = qmp.makefile("rw")
    json.loads(stream.readline())
    for command in ("qmp_capabilities", "query-blockstats"):
        stream.write(json.dumps({"execute": command}) + "\n")
        stream.flush()
        answer = {"event": None}
        while "event" in answer:
            line = stream.readline()
            if not line:
                raise RuntimeError(f"QEMU closed its QMP socket after {command}")
            answer = json.loads(line)
        if "return" not in answer:
            raise RuntimeError(f"{command}: {answer}")
    for drive in answer["return"]:
        if drive.get("device") == "data":
            stats = drive["stats"]
            print(stats["wr_operations"], stats["wr_bytes"], stats["wr_highest_offset"])
            break
    else:
        raise RuntimeError(f"no drive 'data' in {answer['return']}")
except Exception as error:
    print(f"qmp: {error}".replace("\n", " "))
    sys.exit(1)
QMP
}

# The marker: on the console, or, where the report is a file on the root
# disk, the synced line before the write, read from the image as it runs.
marked()
{
    case $console in
    /dev/*) [ -f "$1/console" ] && tr -d '\r' <"$1/console" | grep -aqE '^korrin-vm: (written|measuring) at' ;;
    *) debugfs -R "cat $console" "$1/root.img" 2>/dev/null | grep -aq '^korrin-vm: ready' ;;
    esac
}

# power_cut N T [SPAN]: boots guest N, cuts its power T s after the marker,
# and writes "new" and "old" as found on its disk to $work/N/result; with a
# SPAN, what its disk received in the SPAN s after those T instead.
power_cut()
{
    local dir=$work/$1 t=$2 span=${3:-} pid tenths started boots=0
    while :; do
        boots=$((boots + 1))
        "${qemu_run[@]}" </dev/null >"$dir/qemu.log" 2>&1 &
        # Two minutes for the boot and the workload's start, and two seconds
        # more for every MB of a large write.
        pid=$! tenths=$((1200 + size / 1048576 * 20)) started=$SECONDS
        echo "$pid" >"$dir/pid"
        until marked "$dir"; do
            tenths=$((tenths - 1))
            if ! kill -0 $pid 2>/dev/null; then
                wait $pid
                local status=$?
                # A kernel that panicked in its own boot, before the init
                # said a word (now and then Debian's 6.1 on a busy host:
                # "IO-APIC + timer doesn't work!"): korrin never ran there,
                # so the guest boots once more, and says so.
                if [ $boots = 1 ] && [ -f "$dir/console" ] && grep -aq 'Kernel panic' "$dir/console" &&
                    ! grep -aq '^korrin-vm: ' "$dir/console"; then
                    echo "booted again: the kernel panicked in its boot: $(grep -a -m 1 'Kernel panic' "$dir/console" | tr -d '\r' | cut -c 1-120)" >"$dir/boots"
                    continue 2
                fi
                echo "no marker: QEMU ended with status $status after $((SECONDS - started)) s " >"$dir/result"
                return
            elif [ $tenths = 0 ]; then
                kill -KILL $pid 2>/dev/null
                echo "no marker within $((SECONDS - started)) s " >"$dir/result"
                return
            elif [ $boots = 1 ] && [ $((SECONDS - started)) -ge 40 ] && [[ ${append:-} == *console=* ]] && [ ! -s "$dir/console" ]; then
                # Now and then, on a host this busy, i386's 2.2.1 stops in its
                # early boot, before its console starts (in its panic loop):
                # korrin never ran there, so the guest boots once more, and
                # says so.
                kill -KILL $pid 2>/dev/null
                wait $pid 2>/dev/null
                echo "booted again: the kernel had printed nothing in $((SECONDS - started)) s" >"$dir/boots"
                continue 2
            fi
            sleep 0.1
        done
        break
    done
    sleep "$t"
    if [ -n "$span" ]; then
        local first="" second=""
        first=$(disk_writes "$1") && sleep "$span" && second=$(disk_writes "$1")
        kill -KILL $pid
        wait $pid 2>/dev/null
        if [ -z "$second" ] || [[ $second == qmp:* ]]; then
            echo "${second:-$first}" >"$dir/result"
        else
            read -r -a first <<<"$first"
            read -r -a second <<<"$second"
            echo "writes=$((second[0] - first[0])) bytes=$((second[1] - first[1])) highest=${second[2]} " >"$dir/result"
        fi
        return
    fi
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
    # How much of the streamed file reached the disk.
    local streamed
    streamed=$(debugfs -R 'stat /stream' "$dir/data" 2>/dev/null | sed -n 's/.*Size: \([0-9]*\).*/\1/p' | head -n 1)
    [ -n "$streamed" ] && echo -n "stream=$((streamed / 1024))kB " >>"$dir/result"
    # The recorded file: its size on disk, and how much of it, from its
    # start, holds what was written.
    local recorded whole
    recorded=$(debugfs -R 'stat /record' "$dir/data" 2>/dev/null | sed -n 's/.*Size: \([0-9]*\).*/\1/p' | head -n 1)
    if [ -n "$recorded" ]; then
        debugfs -R 'cat /record' "$dir/data" 2>/dev/null >"$dir/record"
        whole=$(cmp "$dir/record" <(alphabet abcdefghijklmnopqrstuvwxyz "$recorded") 2>/dev/null |
            sed -n 's/.* differ: byte \([0-9]*\),.*/\1/p')
        whole=${whole:+$((whole - 1))}
        echo -n "record=$((recorded / 1024))kB,whole=$((${whole:-$recorded} / 1024))kB " >>"$dir/result"
    fi
}

i=0
workloads=() settings=() times=() spans=() wants=() records=()
for one in "${cuts[@]}"; do
    [[ $one =~ ^(([a-z]+):)?([^@:]*)@([0-9]+)(\+([0-9]+)<=([0-9]+|any)|=(whole|lost)/(whole|old|any)(/([0-9]+)-([0-9]*)kB)?)$ ]] ||
        fail "not a cut: $one"
    i=$((i + 1))
    workloads[i]=${BASH_REMATCH[2]:-write} settings[i]=${BASH_REMATCH[3]//HZ/$hz} times[i]=${BASH_REMATCH[4]}
    spans[i]=${BASH_REMATCH[6]} wants[i]=${BASH_REMATCH[7]:-${BASH_REMATCH[8]}/${BASH_REMATCH[9]}}
    records[i]=${BASH_REMATCH[11]:+${BASH_REMATCH[11]}-${BASH_REMATCH[12]}}
    case ${workloads[i]}:${spans[i]:+span}:${records[i]:+record} in
    write:: | stream:: | record:: | record::record | fill:: | idle:span: | rewrite:span: | append:span:) ;;
    *) fail "not a cut: $one (${workloads[i]} with ${spans[i]:-no} span)" ;;
    esac
    guest $i "${workloads[i]}" "${settings[i]}"
    power_cut $i "${times[i]}" "${spans[i]}" &
    pids+=($!)
    sleep 1
done
wait "${pids[@]}"
pids=()

failed=0
for ((i = 1; i <= ${#cuts[@]}; i++)); do
    setting=${settings[i]//,/ } t=${times[i]} span=${spans[i]} want=${wants[i]}
    share=""
    [[ $setting == share* ]] && share=", the disk with its share" setting=${setting#share} setting=${setting# }
    case $setting in
    -) setting="without korrin$share" ;;
    "") setting="korrin$share" ;;
    *) setting="korrin $setting$share" ;;
    esac
    result=$(cat "$work/$i/result" 2>/dev/null)
    console_text=$(case $console in
        /dev/*) tr -d '\r' <"$work/$i/console" ;;
        *) debugfs -R "cat $console" "$work/$i/root.img" 2>/dev/null ;;
        esac)
    ok=1
    if [ -n "$span" ]; then
        [[ $result =~ ^writes=([0-9]+)\  ]] || ok=""
        [ -z "$ok" ] || [ "$want" = any ] || [ "${BASH_REMATCH[1]}" -le "$want" ] || ok=""
        echo "$machine $version, ${workloads[i]}, $setting, the data disk from ${t} s to $((t + span)) s after the start: $result(wanted writes<=$want)"
    else
        new=${want%/*} old=${want#*/}
        [[ $result == new=* ]] || ok=""
        found_new=$(sed -n 's/.*new=\([a-z]*\).*/\1/p' <<<"$result")
        found_old=$(sed -n 's/.*old=\([a-z]*\).*/\1/p' <<<"$result")
        case $new in
        whole) [ "$found_new" = whole ] || ok="" ;;
        lost) [ -n "$found_new" ] && [ "$found_new" != whole ] || ok="" ;;
        esac
        [ "$old" = any ] || [ "$found_old" = "$old" ] || ok=""
        # The recorded file: from MIN to MAX kB of it whole on disk.
        if [ -n "${records[i]}" ]; then
            whole_kb=$(sed -n 's/.*record=[0-9]*kB,whole=\([0-9]*\)kB.*/\1/p' <<<"$result")
            least=${records[i]%-*} most=${records[i]#*-}
            [ -n "$whole_kb" ] && [ "$whole_kb" -ge "$least" ] && { [ -z "$most" ] || [ "$whole_kb" -le "$most" ]; } || ok=""
            want="$want, recorded file ${least} to ${most:-any} kB whole"
        fi
        took=$(awk '/^korrin-vm: writing at/ { from = $4 } /^korrin-vm: written at/ && from != "" { printf "%.2f", $4 - from }' <<<"$console_text")
        daemons=$(sed -n 's/^korrin-vm: after the write, //p' <<<"$console_text")
        # A writer that fills the memory must not have cost korrin its update process.
        if [ "${workloads[i]}" = fill ] && [ "${settings[i]}" != - ] && [[ $daemons != 1\ update* && $daemons != *", 1 update (sync)"* ]]; then
            ok=""
        fi
        load=""
        [ "${workloads[i]}" = stream ] && load=", streaming"
        [ "${workloads[i]}" = record ] && load=", recording"
        echo "$machine $version$load, $setting, power cut ${t} s after the write (which took ${took:-?} s${daemons:+; then $daemons}): $result(wanted new=$new old=${want#*/})"
    fi
    [ -s "$work/$i/boots" ] && echo "  ($(cat "$work/$i/boots"))"
    [ -n "$ok" ] || failed=$((failed + 1))
    if [ -z "$ok" ] || [ -n "${KORRIN_POWER_CONSOLE:-}" ]; then
        echo "--- console of the guest, its last lines"
        tail -n 25 <<<"$console_text"
        [ -s "$work/$i/qemu.log" ] && { echo "--- QEMU said"; tail -n 10 "$work/$i/qemu.log"; }
    fi
done
[ $failed = 0 ] || fail "$failed of ${#cuts[@]} power cuts on $machine $version did not find what they wanted"
echo "power cuts on $machine $version: ${#cuts[@]} passed"
