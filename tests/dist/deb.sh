#!/bin/bash
# deb.sh BUILD_DIR ARCH: cpack builds korrin_1.4_ARCH.deb with the right
# control fields and contents, and the packaged program runs.
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1 arch=$2

cpack -G DEB -B "$scratch" --config "$build/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$scratch/cpack.log")"
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
for path in ./usr/sbin/korrin ./usr/share/man/man8/korrin.8.gz ./usr/lib/systemd/system/korrin.service; do
    grep -qxF "$path" "$scratch/contents" || fail "$path is not in the package"
done

dpkg-deb -x "$deb" "$scratch/root"
korrin=$scratch/root/usr/sbin/korrin
case $arch in
i386) want='ELF 32-bit LSB .* Intel 80386' ;;
amd64) want='ELF 64-bit LSB .* x86-64' ;;
*) want=ELF ;;
esac
file -b "$korrin" | grep -qE "$want" || fail "packaged program: $(file -b "$korrin")"
file -b "$korrin" | grep -q ', stripped' || fail "packaged program is not stripped"
expect_help "$korrin"

# The unit allows the program's own system-call ABI, and is locked down to an
# exposure of 1.0 or less by systemd's own measure.
unit=$scratch/root/usr/lib/systemd/system/korrin.service
case $arch in
i386) abi=x86 ;;
*) abi=native ;;
esac
grep -qx "SystemCallArchitectures=$abi" "$unit" || fail "unit: $(grep SystemCallArchitectures "$unit")"
command -v systemd-analyze >/dev/null || fail "systemd-analyze is missing (install systemd)"
score=$(systemd-analyze security --offline=true "$unit" 2>&1 |
    sed -n 's/.*Overall exposure level for korrin.service: \([0-9.]*\).*/\1/p')
awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 1.0) }' || fail "unit: exposure ${score:-unknown}, above 1.0"
echo "unit: exposure $score"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
