#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# install.sh BUILD_DIR: cmake --install into a staging root (DESTDIR) puts
# the program under sbin, the page under share/man/man8 and the unit under
# lib/systemd/system, whose ExecStart names the program where it went, under
# /usr and under /usr/local, the README and the pages of docs/ go under
# share/doc/korrin with their links holding; and the staged program runs.
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1
root=$scratch/root

DESTDIR=$root cmake --install "$build" --prefix /usr >"$scratch/install.log" ||
    fail "cmake --install: $(cat "$scratch/install.log")"
[ -x "$root/usr/sbin/korrin" ] || fail "no executable usr/sbin/korrin"
[ "$(stat -c %a "$root/usr/sbin/korrin")" = 755 ] || fail "usr/sbin/korrin is not mode 755"
gzip -t "$root/usr/share/man/man8/korrin.8.gz" || fail "usr/share/man/man8/korrin.8.gz is not gzip"
[ -f "$root/usr/lib/systemd/system/korrin.service" ] || fail "no korrin.service"
leftover=$(find "$root" -type f | grep -vE '/usr/(sbin/korrin|share/man/man8/korrin.8.gz|lib/systemd/system/korrin.service|share/doc/korrin/(README.md|docs/[a-z-]+\.(md|svg)|copyright|changelog.gz))$' || true)
[ -z "$leftover" ] || fail "unexpected files installed: $leftover"
"$(dirname "$0")/../../dist/doc-links" "$root/usr/share/doc/korrin" >"$scratch/links" ||
    fail "the installed documents: $(cat "$scratch/links")"
grep -qx 'ExecStart=/usr/sbin/korrin' "$root/usr/lib/systemd/system/korrin.service" ||
    fail "unit under /usr: $(grep ExecStart "$root/usr/lib/systemd/system/korrin.service")"
DESTDIR=$scratch/local cmake --install "$build" --prefix /usr/local >"$scratch/install.log" ||
    fail "cmake --install --prefix /usr/local: $(cat "$scratch/install.log")"
grep -qx 'ExecStart=/usr/local/sbin/korrin' "$scratch/local/usr/local/lib/systemd/system/korrin.service" ||
    fail "unit under /usr/local: $(grep ExecStart "$scratch/local/usr/local/lib/systemd/system/korrin.service")"
expect_help "$root/usr/sbin/korrin"
echo "install: staged under $root, program runs"
