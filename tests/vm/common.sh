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

# vm_boot QEMU-SYSTEM KERNEL INITRAMFS MEMORY-MB TIMEOUT-S LOG [APPEND...]:
# boots the kernel with the initramfs, the serial console going to LOG, and
# returns when the guest powers off or reboots, or when the time is up (1).
# KVM when this machine offers it, TCG otherwise.
vm_boot()
{
    local qemu=$1 kernel=$2 initramfs=$3 memory=$4 limit=$5 log=$6
    shift 6
    local -a accel=(-accel tcg)
    [ -w /dev/kvm ] && accel=(-accel kvm -accel tcg)
    local start=$SECONDS status=0
    timeout --kill-after=5 "$limit" "$qemu" "${accel[@]}" -m "$memory" -smp 1 \
        -display none -monitor none -nic none -serial "file:$log" -no-reboot \
        -kernel "$kernel" -initrd "$initramfs" \
        -append "console=ttyS0 panic=-1 loglevel=3 $*" </dev/null || status=$?
    echo "boot: $(basename "$kernel"), ${accel[1]}: $((SECONDS - start)) s"
    return "$status"
}

# cpio_of DIRECTORY OUTPUT: an initramfs of the directory's contents.
cpio_of()
{
    (cd "$1" && find . -mindepth 1 | LC_ALL=C sort | cpio --quiet -o -H newc -R 0:0) >"$2"
}
