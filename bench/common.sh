# SPDX-License-Identifier: GPL-2.0-or-later
# What every benchmark that times something in a guest does, so that its
# figures measure the kernel and not the host (sourced, after the script has
# set NAME to its own name):
# - bench_start "$@": takes --busy and --repeat N off the arguments (the rest
#   are left in $args), checks that gnuplot and python3 are there, and
#   refuses a host whose load average is above half its processors unless
#   --busy is given; every QEMU that a run starts lives under $work, and
#   every one of them is killed by its PID when the benchmark ends,
#   interrupted (Ctrl-C, SIGTERM, SIGHUP) or not.
# - bench_batch busy|sleeping WANTED: how many guests to start at once now:
#   one a free processor for guests that keep one busy, four a free
#   processor for guests that mostly sleep, at least one, at most WANTED;
#   a processor is free where nothing else on the host keeps it busy.
# - bench_progress WHAT: a line on standard error as a cut finishes, with
#   how many of how many are done and the time left, estimated; bench_plan N
#   says that N more cuts are planned.
# - bench_header: the lines that begin each table: when it was made, of
#   which commit, on how many processors, the highest load average seen,
#   the repetitions, and --busy where it was given.
# - bench_install FILE...: moves each FILE.new over FILE, so that an
#   interrupted run leaves no half-written table or picture behind.
# A benchmark keeps its body in a function called on its last line, so that
# a script edited while it runs goes on as it was read.

# The kernels of the power cuts, in the order of the tables.
all_kernels=(1.2.13 2.0.40 2.2.1 2.4.37.11 2.2.1-alpha 6.1)
bench_repeat=3 bench_busy="" bench_started=$SECONDS bench_done=0 bench_planned=0 bench_highest=0.00
processors=$(nproc)
work=$(mktemp -d)
mkdir "$work/tmp"
# power.sh and whatever else the benchmark starts make their directories,
# and so their QEMUs' disks and sockets, under here.
export TMPDIR=$work/tmp

# The PIDs of this host's processes whose command line names $work: the
# QEMUs and scripts that this run started.
bench_ours()
{
    local proc
    for proc in /proc/[0-9]*; do
        [ "${proc#/proc/}" = $$ ] && continue
        tr '\0' ' ' 2>/dev/null <"$proc/cmdline" | grep -qF -- "$work/" && echo "${proc#/proc/}"
    done
}

bench_end()
{
    local status=$? pid
    trap - EXIT INT TERM HUP
    # The scripts first, so that none starts another guest, then the QEMUs.
    for pid in $(jobs -p); do kill -TERM "$pid" 2>/dev/null; done
    for pid in $(bench_ours); do kill -KILL "$pid" 2>/dev/null; done
    wait 2>/dev/null
    for pid in $(bench_ours); do kill -KILL "$pid" 2>/dev/null; done
    [ -n "${KORRIN_BENCH_KEEP:-}" ] && { mkdir -p "$KORRIN_BENCH_KEEP"; cp -r "$work"/. "$KORRIN_BENCH_KEEP"; }
    rm -rf "$work"
    [ -n "$(find docs -maxdepth 1 -name '*.new' 2>/dev/null)" ] && rm -f docs/*.new
    exit "$status"
}
bench_interrupted()
{
    echo "$NAME: interrupted; every guest it started is killed, no table written" >&2
    exit 130
}
trap bench_end EXIT
trap bench_interrupted INT TERM HUP

# The host's load: the load average of the last minute, and the threads
# running now that are not of our processes: the median of ten counts over
# a second, each less the grep that counts (awk, now and then running too,
# falls out with the median).
bench_load() { cut -d' ' -f1 /proc/loadavg; }
bench_others()
{
    local ours sample
    ours=" $(bench_ours | tr '\n' ' ') "
    for sample in 1 2 3 4 5 6 7 8 9 10; do
        grep -sH '' /proc/[0-9]*/task/[0-9]*/stat |
            awk -v ours="$ours" '{ split($0, path, "/"); split(substr($0, index($0, ") ") + 2), f, " ")
                if (f[1] == "R" && index(ours, " " path[3] " ") == 0) n++ } END { print n - 1 }'
        sleep 0.1
    done | sort -n | sed -n 5p
}
bench_note_load()
{
    local load
    load=$(bench_load)
    awk -v a="$load" -v b="$bench_highest" 'BEGIN { exit !(a > b) }' && bench_highest=$load
}

bench_start()
{
    args=()
    while [ $# -gt 0 ]; do
        case $1 in
        --busy) bench_busy=1 ;;
        --repeat)
            [[ ${2:-} =~ ^[1-9][0-9]?$ ]] || { echo "$NAME: --repeat takes a number from 1 to 99" >&2; exit 2; }
            bench_repeat=$2
            shift
            ;;
        *) args+=("$1") ;;
        esac
        shift
    done
    local tool
    for tool in gnuplot python3; do
        command -v $tool >/dev/null ||
            { echo "$NAME: $tool is missing (tests/install-deps installs it)" >&2; exit 2; }
    done
    local load
    load=$(bench_load)
    if [ -z "$bench_busy" ] && awk -v l="$load" -v p="$processors" 'BEGIN { exit !(l > p / 2) }'; then
        echo "$NAME: the host is busy (load average $load on $processors processors): its figures would measure the host." >&2
        echo "Stop what runs beside it and try again, or measure anyway with --busy, which every table made will say." >&2
        exit 2
    fi
    bench_note_load
}

bench_batch()
{
    local kind=$1 wanted=$2 free
    bench_note_load
    free=$((processors - $(bench_others)))
    [ $free -lt 1 ] && free=1
    [ "$kind" = sleeping ] && free=$((free * 4))
    echo $((wanted < free ? wanted : free))
}

# bench_known KERNEL: ends the benchmark unless KERNEL is one of them.
bench_known()
{
    printf '%s\n' "${all_kernels[@]}" | grep -qxF -- "$1" ||
        { echo "$NAME: no kernel $1 here; there are ${all_kernels[*]}" >&2; exit 2; }
}

bench_plan() { bench_planned=$((bench_planned + $1)); }
bench_progress()
{
    bench_done=$((bench_done + 1))
    [ $bench_planned -lt $bench_done ] && bench_planned=$bench_done
    bench_note_load
    local took=$((SECONDS - bench_started)) left
    left=$((took * (bench_planned - bench_done) / bench_done))
    printf '%s: %s; %d of %d done, about %d min %02d s left (load %s)\n' "$NAME" "$1" $bench_done $bench_planned \
        $((left / 60)) $((left % 60)) "$(bench_load)" >&2
}

bench_header()
{
    local commit
    commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
    [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ] && commit="$commit with changes"
    echo "# made $(date -u '+%Y-%m-%d %H:%M UTC') of commit $commit on $processors processors, highest load average $bench_highest; each deciding cut $bench_repeat times${bench_busy:+; MADE ON A BUSY HOST (--busy): the figures measure the host too}"
}

# bench_harness: power.sh and the files it sources, copied under $work, so
# that a tree edited while the benchmark runs changes none of its cuts: sets
# $power to the copy, and KORRIN_OLD_KERNELS to the kernels that the tree's
# would find.
bench_harness()
{
    mkdir -p "$work/vm"
    cp tests/vm/power.sh tests/vm/power-debian.sh tests/vm/common.sh tests/vm/machines.sh "$work/vm/"
    KORRIN_OLD_KERNELS=$(here=$PWD/tests/vm && . tests/vm/machines.sh && shared_kernels)
    export KORRIN_OLD_KERNELS
    power=$work/vm/power.sh
}

bench_install()
{
    local file
    for file; do mv -f "$file.new" "$file"; done
}
