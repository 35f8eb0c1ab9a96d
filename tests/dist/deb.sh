#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# deb.sh BUILD_DIR ARCH [ABI]: make-deb builds korrin_1.4_ARCH.deb with the right
# control fields and contents, the README and its pages as HTML whose links
# hold, registered with doc-base, lintian finds nothing to say of the packages
# built with the C library, the packaged program runs, and so does its start
# script for sysvinit.
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1 arch=$2 abi=${3:-}

"$(dirname "$0")/../../dist/make-deb" "$build" "$scratch" >"$scratch/make-deb.log" 2>&1 ||
    fail "make-deb: $(cat "$scratch/make-deb.log")"
deb=$scratch/korrin_1.4_$arch.deb
[ -f "$deb" ] || fail "no $(basename "$deb"); made: $(ls "$scratch"/*.deb 2>/dev/null)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = korrin ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.4 ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = admin ] || fail "Section: $(field Section)"
field Maintainer | grep -qE '^[^<]+ <[^@>]+@[^>]+>$' || fail "Maintainer: $(field Maintainer)"
# The whole field is read before its first line is taken: a reader that stops
# early would break dpkg-deb's pipe, which pipefail counts as a failure.
summary=$(field Description | sed -n 1p)
[ "$summary" = 'buffer-cache flush daemon and tuning tool' ] || fail "Description: $summary"

dpkg-deb -c "$deb" | awk '{print $6}' | sort >"$scratch/contents"
for path in ./usr/sbin/korrin ./usr/share/man/man8/korrin.8.gz ./usr/lib/systemd/system/korrin.service \
    ./usr/share/doc/korrin/copyright ./usr/share/doc/korrin/changelog.gz ./etc/init.d/korrin \
    ./usr/share/doc/korrin/README.html ./usr/share/doc/korrin/docs/kernels.html ./usr/share/doc-base/korrin; do
    grep -qxF "$path" "$scratch/contents" || fail "$path is not in the package"
done

dpkg-deb -x "$deb" "$scratch/root"
# The pages as HTML, their links holding; no Markdown, whose would not.
"$(dirname "$0")/../../dist/doc-links" "$scratch/root/usr/share/doc/korrin" >"$scratch/links" ||
    fail "the package's documents: $(cat "$scratch/links")"
cat "$scratch/links"
! grep -q '\.md$' "$scratch/contents" || fail "Markdown in the package: $(grep '\.md$' "$scratch/contents")"
korrin=$scratch/root/usr/sbin/korrin
case $arch in
i386) want='ELF 32-bit LSB .* Intel 80386' ;;
amd64) want='ELF 64-bit LSB .* x86-64' ;;
arm64) want='ELF 64-bit LSB .* ARM aarch64' ;;
armel | armhf) want='ELF 32-bit LSB .* ARM, EABI5' ;;
mipsel) want='ELF 32-bit LSB .* MIPS, MIPS32' ;;
mips64el) want='ELF 64-bit LSB .* MIPS, MIPS64' ;;
ppc64el) want='ELF 64-bit LSB .* 64-bit PowerPC' ;;
s390x) want='ELF 64-bit MSB .* IBM S/390' ;;
riscv64) want='ELF 64-bit LSB .* RISC-V' ;;
*) fail "no ELF description for $arch" ;;
esac
file -b "$korrin" | grep -qE "$want" || fail "packaged program: $(file -b "$korrin")"
file -b "$korrin" | grep -q ', stripped' || fail "packaged program is not stripped"
expect_help "$korrin"

# The unit starts the packaged program, allows its system-call ABI, which
# systemd knows by that name, and is locked down to an exposure of 1.0 or less
# by systemd's own measure.
unit=$scratch/root/usr/lib/systemd/system/korrin.service
grep -qx 'ExecStart=/usr/sbin/korrin' "$unit" || fail "unit: $(grep ExecStart "$unit")"
case $arch in
i386) abi=x86 ;;
amd64) abi=native ;;
esac
[ -n "$abi" ] || fail "no system-call ABI given for $arch"
grep -qx "SystemCallArchitectures=$abi" "$unit" || fail "unit: $(grep SystemCallArchitectures "$unit")"
command -v systemd-analyze >/dev/null || fail "systemd-analyze is missing (install systemd)"
systemd-analyze security --offline=true "$unit" >"$scratch/security" 2>&1 || true
! grep -iE 'korrin.service:[0-9]+: .*(fail|unknown|invalid)' "$scratch/security" ||
    fail "unit: $(grep -iE 'korrin.service:[0-9]+:' "$scratch/security")"
score=$(sed -n 's/.*Overall exposure level for korrin.service: \([0-9.]*\).*/\1/p' "$scratch/security")
awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 1.0) }' || fail "unit: exposure ${score:-unknown}, above 1.0"
echo "unit: exposure $score"

# Debian's checker: no error, no warning and, even pedantic, no remark. The
# static program (a static build's package) is left to the tests of its own:
# a statically linked binary is one of lintian's errors.
if [ -z "${KORRIN_STATIC_PACKAGE:-}" ]; then
    command -v lintian >/dev/null || fail "lintian is missing (tests/install-deps installs it)"
    lintian -E -I --pedantic "$deb" >"$scratch/lintian" 2>&1 || true
    grep -v 'running with root privileges is not recommended' "$scratch/lintian" >"$scratch/remarks" || true
    [ ! -s "$scratch/remarks" ] || fail "lintian: $(cat "$scratch/remarks")"
    echo "lintian -E -I --pedantic: nothing to say"
fi

# The start script, where the packaged program can run: in a mount namespace
# of its own whose /usr/sbin shows the packaged korrin over the machine's
# own, told to run even where systemd would take the command over.
if [ -n "${KORRIN_EMULATOR:-}" ]; then
    echo "start script: not run, this kernel cannot run the $arch program"
else
    pids=$scratch/pids
    trap 'xargs -r kill -KILL <"$pids" 2>/dev/null || true; rm -rf "$scratch"' EXIT
    : >"$pids"
    mkdir -p "$scratch/sbin"
    cp "$korrin" "$scratch/sbin/korrin"
    unshare --mount --propagation private bash -s "$scratch" "$pids" >"$scratch/script.log" 2>&1 <<'SCENARIO' ||
set -u
scratch=$1 pids=$2
mount -t overlay overlay -o "lowerdir=$scratch/sbin:/usr/sbin" /usr/sbin || exit 2
export _SYSTEMCTL_SKIP_REDIRECT=true
script=$scratch/root/etc/init.d/korrin
titles() { # the titles of processes of /usr/sbin/korrin, sorted
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/exe" 2>/dev/null)" = /usr/sbin/korrin ] || continue
        echo "${proc#/proc/}" >>"$pids"
        tr '\0' '\n' <"$proc/cmdline" | head -n 1
    done | sort
}
pair="bdflush (daemon)
update (bdflush)"
fail() { echo "FAIL: $*"; exit 1; }
sh "$script" start || fail "start exited with $?"
sleep 0.3
got=$(titles | grep -v '^bdflush (daemon)$' || true)
# The kernel-daemon process ends at once on kernels without the flush call.
[ "$got" = "update (bdflush)" ] || fail "after start: $(titles | tr '\n' '/')"
sh "$script" start || fail "a second start exited with $?"
sleep 0.3
[ "$(titles | grep -c '^update (')" = 1 ] || fail "a second start added daemons: $(titles | tr '\n' '/')"
status=$(sh "$script" status) || fail "status of the running daemons exited with $?: $status"
echo "status: $status"
sh "$script" stop || fail "stop exited with $?"
[ -z "$(titles)" ] || fail "left after stop: $(titles | tr '\n' '/')"
sh "$script" status >/dev/null
[ $? = 3 ] || fail "status after stop is not 3"
sh "$script" restart || fail "restart exited with $?"
sleep 0.3
[ "$(titles | grep -c '^update (')" = 1 ] || fail "after restart: $(titles | tr '\n' '/')"
sh "$script" stop || fail "the last stop exited with $?"
[ -z "$(titles)" ] || fail "left after the last stop"
echo "start script: start, a second start, status, stop, restart and stop as they should"
SCENARIO
        fail "start script: $(cat "$scratch/script.log")"
    grep -E '^(status|start script):' "$scratch/script.log"
fi
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
