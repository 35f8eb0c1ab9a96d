# SPDX-License-Identifier: GPL-2.0-or-later
# Shared by the tests that boot real kernels under QEMU: a cache of Debian
# packages outside the build tree, fetched through private apt states, and
# the boot itself. Sourced by bash scripts.

cache=${KORRIN_VM_CACHE:-/var/cache/korrin-tests}

# Where the platform cannot run a check, say why and let CTest count a skip.
# In CI every check must really run, so there it is a failure.
skip()
{
    if [ "${CI:-}" = true ]; then
        echo "FAIL (would skip outside CI): $*" >&2
        exit 1
    fi
    echo "SKIPPED: $*"
    exit 77
}

fail() { echo "FAIL: $*" >&2; exit 1; }

need_commands()
{
    local command
    for command; do
        command -v "$command" >/dev/null || skip "$command is missing (tests/install-deps installs it)"
    done
}

# The URI of the Debian archive that the machine's own apt sources use for
# its release's main component. The machine's apt configuration is only read.
vm_mirror()
{
    local release
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
        awk -v release="$release" '($2 == release || $2 == "stable") && $3 == "main" { print $1; exit }'
}

# apt-get, or apt-cache with --cache, in a private state for SUITE and ARCH
# under the cache directory, reading the machine's own archive.
vm_apt()
{
    local suite=$1 arch=$2 tool=apt-get
    shift 2
    [ "$1" = --cache ] && { tool=apt-cache; shift; }
    local state=$cache/apt/$suite-$arch
    local -a options=(
        -o "Dir::Etc::SourceList=$state/sources.list" -o Dir::Etc::SourceParts=/nonexistent
        -o "Dir::State=$state" -o "Dir::State::Lists=$state/lists" -o Dir::State::status=/dev/null
        -o "Dir::Cache=$state" -o "Dir::Cache::archives=$state/archives"
        -o "APT::Architecture=$arch" -o "APT::Architectures=$arch"
        -o Debug::NoLocking=1 -o APT::Sandbox::User=root -q)
    mkdir -p "$state/lists/partial" "$state/archives/partial"
    if [ ! -s "$state/sources.list" ]; then
        local mirror
        mirror=$(vm_mirror)
        [ -n "$mirror" ] || return 1
        echo "deb [arch=$arch signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" \
            >"$state/sources.list"
    fi
    if [ -z "$(ls "$state/lists" | grep -v -e partial -e lock)" ]; then
        apt-get "${options[@]}" update >"$state/update.log" 2>&1 || { cat "$state/update.log" >&2; return 1; }
    fi
    "$tool" "${options[@]}" "$@"
}

# The path of a cached .deb of PACKAGE from SUITE for ARCH; downloaded once.
vm_deb()
{
    local suite=$1 arch=$2 package=$3
    local dir=$cache/debs/$suite-$arch
    mkdir -p "$dir"
    local found
    found=$(ls "$dir/${package}"_*.deb 2>/dev/null | head -n 1)
    if [ -z "$found" ]; then
        (cd "$dir" && vm_apt "$suite" "$arch" download "$package" >/dev/null) ||
            # The lists may be older than the archive: read them again once.
            (rm -rf "$cache/apt/$suite-$arch/lists" && cd "$dir" && vm_apt "$suite" "$arch" download "$package" >/dev/null) ||
            return 1
        found=$(ls "$dir/${package}"_*.deb 2>/dev/null | head -n 1)
    fi
    [ -n "$found" ] && echo "$found"
}

# The path of the kernel image of Debian's linux-image-FLAVOUR in SUITE, the
# versioned package found through that metapackage's dependency.
vm_kernel()
{
    local suite=$1 arch=$2 flavour=$3
    local pointer=$cache/kernels/$suite-$arch-$flavour
    if [ ! -s "$pointer" ] || [ ! -s "$(cat "$pointer")" ]; then
        local package deb
        package=$(vm_apt "$suite" "$arch" --cache depends "linux-image-$flavour" |
            awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ { print $2; exit }')
        [ -n "$package" ] || return 1
        deb=$(vm_deb "$suite" "$arch" "$package") || return 1
        mkdir -p "$cache/kernels"
        dpkg-deb --fsys-tarfile "$deb" | tar -xO --wildcards './boot/vmlinuz-*' >"$cache/kernels/$package.new" &&
            [ -s "$cache/kernels/$package.new" ] || return 1
        mv "$cache/kernels/$package.new" "$cache/kernels/$package"
        echo "$cache/kernels/$package" >"$pointer"
        rm -f "$deb"
    fi
    cat "$pointer"
}

# Serialises the tests' use of the cache.
vm_lock()
{
    mkdir -p "$cache"
    exec 9>"$cache/lock"
    flock 9
}

# How this machine can run a guest, "kvm: WHY" or "tcg: WHY". A /dev/kvm that
# opens is not enough (a PVM host's KVM runs only guests built for it, and a
# nested KVM may lack VMX), so the kernel about to be booted is first started
# under KVM without a root file system: it must print its banner on the serial
# console within 10 s. The answer holds until the machine reboots.
# KORRIN_VM_ACCEL=kvm or tcg decides instead.
# Keeps a verdict of vm_accel's for the rest of the machine's boot.
vm_remember_accel() # VERDICT
{
    mkdir -p "$cache" && printf '%s\n%s\n' "$(cat /proc/sys/kernel/random/boot_id)" "$1" >"$cache/accel"
}

vm_accel() # QEMU-SYSTEM KERNEL
{
    case ${KORRIN_VM_ACCEL:-} in
    kvm | tcg) echo "$KORRIN_VM_ACCEL: KORRIN_VM_ACCEL=$KORRIN_VM_ACCEL"; return ;;
    esac
    [ -r /dev/kvm ] && [ -w /dev/kvm ] || { echo "tcg: no usable /dev/kvm"; return; }
    local verdict=$cache/accel boot
    boot=$(cat /proc/sys/kernel/random/boot_id 2>/dev/null)
    if [ -n "$boot" ] && [ "$(sed -n 1p "$verdict" 2>/dev/null)" = "$boot" ]; then
        sed -n 2p "$verdict"
        return
    fi
    local probe answer
    probe=$(mktemp)
    timeout --kill-after=5 10 "$1" -accel kvm -m 256 -smp 1 -display none -monitor none -nic none \
        -serial "file:$probe" -no-reboot -kernel "$2" -append "console=ttyS0 loglevel=7 panic=-1" \
        </dev/null >/dev/null 2>&1
    if grep -aq 'Linux version' "$probe"; then
        answer="kvm: a kernel booted under KVM here"
    else
        answer="tcg: under KVM the kernel printed nothing within 10 s"
    fi
    rm -f "$probe"
    vm_remember_accel "$answer"
    echo "$answer"
}

# vm_boot QEMU-SYSTEM KERNEL MEMORY-MB TIMEOUT-S LOG QEMU-ARGUMENTS...: boots
# the kernel, the serial console going to LOG, and returns when the guest
# powers off or reboots, or when the time is up (1). The arguments give the
# rest (-initrd, -append, disks). vm_tcg_only=1 keeps the guest off KVM.
# Under KVM a guest that prints nothing within 60 s is stopped and booted
# again under TCG.
vm_boot()
{
    local qemu=$1 kernel=$2 memory=$3 limit=$4 log=$5
    shift 5
    local verdict="tcg: these kernels stop under KVM"
    [ -n "${vm_tcg_only:-}" ] || verdict=$(vm_accel "$qemu" "$kernel")
    local accel=${verdict%%:*} why=${verdict#*: }
    local -a run=("$qemu" -m "$memory" -smp 1 -display none -monitor none -nic none
        -serial "file:$log" -no-reboot -kernel "$kernel" "$@")
    local start=$SECONDS status=0
    if [ "$accel" = kvm ]; then
        : >"$log"
        timeout --kill-after=5 "$limit" "${run[@]}" -accel kvm </dev/null &
        local pid=$! tenths=600
        while [ ! -s "$log" ] && [ $tenths -gt 0 ] && kill -0 $pid 2>/dev/null; do
            sleep 0.1
            tenths=$((tenths - 1))
        done
        if [ -s "$log" ] || [ "${KORRIN_VM_ACCEL:-}" = kvm ]; then
            wait $pid || status=$?
        else
            kill $pid 2>/dev/null
            wait $pid
            echo "boot: $(basename "$kernel") printed nothing under KVM; again under TCG"
            accel=tcg why="no console output under KVM within 60 s"
            vm_remember_accel "tcg: $why"
            start=$SECONDS
        fi
    fi
    if [ "$accel" = tcg ]; then
        timeout --kill-after=5 "$limit" "${run[@]}" -accel tcg </dev/null || status=$?
    fi
    echo "boot: $(basename "$kernel"), $accel ($why): $((SECONDS - start)) s"
    return "$status"
}

# The first lines of a busybox init: the console as its streams, busybox's
# commands on the path, /proc and /sys mounted.
vm_busybox_init()
{
    cat <<'INIT'
#!/bin/busybox sh
/bin/busybox mount -t devtmpfs dev /dev
exec </dev/console >/dev/console 2>&1
/bin/busybox --install -s /bin
export PATH=/usr/sbin:/usr/bin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
INIT
}

# cpio_of DIRECTORY OUTPUT: an initramfs of the directory's contents.
cpio_of()
{
    (cd "$1" && find . -mindepth 1 | LC_ALL=C sort | cpio --quiet -o -H newc -R 0:0) >"$2"
}

# vm_modules SUITE ARCH FLAVOUR MODULE...: the modules of the kernel of
# vm_kernel's package (block devices, file systems and what they need), with
# every module they depend on, as files of the cache listed in the order to
# load them.
vm_modules()
{
    local suite=$1 arch=$2 flavour=$3
    shift 3
    local package dir
    package=$(basename "$(vm_kernel "$suite" "$arch" "$flavour")") || return 1
    dir=$cache/modules/$package
    if [ ! -d "$dir" ]; then
        local deb
        deb=$(vm_deb "$suite" "$arch" "$package") || return 1
        rm -rf "$dir.new" && mkdir -p "$dir.new" &&
            dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$dir.new" --wildcards --no-wildcards-match-slash \
                './lib/modules/*/kernel/drivers/virtio' './lib/modules/*/kernel/drivers/block' \
                './lib/modules/*/kernel/fs' './lib/modules/*/kernel/lib' './lib/modules/*/kernel/crypto' ||
            return 1
        mv "$dir.new"/lib/modules/*/kernel "$dir" && rm -rf "$dir.new" "$deb"
    fi
    local -A seen=()
    local order=()
    add_module()
    {
        local path needed
        [ -n "${seen[$1]:-}" ] && return 0
        seen[$1]=1
        path=$(find "$dir" -name "$1.ko" -o -name "${1//_/-}.ko" | head -n 1)
        [ -n "$path" ] || return 1
        # The module's own list, "depends=A,B" in its .modinfo strings.
        for needed in $(tr '\0' '\n' <"$path" | sed -n 's/^depends=//p' | head -n 1 | tr ',' ' '); do
            add_module "$needed" || return 1
        done
        order+=("$path")
    }
    local module
    for module; do
        add_module "$module" || return 1
    done
    printf '%s\n' "${order[@]}"
}
