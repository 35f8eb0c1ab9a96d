#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# reproducible.sh: the release, built twice from clones of this checkout's
# commit, gives the same bytes in every file: the second build in a directory
# of another name and depth, under another umask, time zone and locale, and
# as another user (nobody). Both pass their own checks (sha256sum -c among
# them), and their SHA256SUMS are the same.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
source=$(cd "$here/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

first=$(mktemp -d /tmp/korrin-release.XXXXXX)
second=$(mktemp -d /var/tmp/korrin-release-elsewhere.XXXXXX)
trap 'rm -rf "$first" "$second"' EXIT
git clone -q "$source" "$first/korrin"
mkdir "$second/a" "$second/a/deeper"
git clone -q "$source" "$second/a/deeper/korrin-checkout"
chown -R 65534:65534 "$second"
chmod 755 "$second"

start=$SECONDS
(cd "$first/korrin" && umask 022 && TZ=UTC LC_ALL=C cmake --workflow --preset release) >"$first/log" 2>&1 ||
    { tail -n 40 "$first/log"; fail "the first release build"; }
echo "first build: $first/korrin, umask 022, TZ=UTC, LC_ALL=C, root: $((SECONDS - start)) s"
start=$SECONDS
(cd "$second/a/deeper/korrin-checkout" &&
    setpriv --reuid=65534 --regid=65534 --clear-groups \
        env -u LC_ALL HOME="$second" TZ=Pacific/Chatham LANG=de_DE.UTF-8 \
        bash -c 'umask 077 && cmake --workflow --preset release') >"$second/log" 2>&1 ||
    { tail -n 40 "$second/log"; fail "the second release build"; }
echo "second build: $second/a/deeper/korrin-checkout, umask 077, TZ=Pacific/Chatham, LANG=de_DE.UTF-8, nobody: $((SECONDS - start)) s"

a=$first/korrin/build/release/dist b=$second/a/deeper/korrin-checkout/build/release/dist
if ! cmp -s "$a/SHA256SUMS" "$b/SHA256SUMS"; then
    diff "$a/SHA256SUMS" "$b/SHA256SUMS" >&2 || true
    fail "the two builds differ"
fi
for file in "$a"/*; do
    cmp "$file" "$b/$(basename "$file")" || fail "$(basename "$file") differs"
done
echo "reproducible: $(wc -l <"$a/SHA256SUMS") files, the same bytes in both builds:"
(cd "$a" && ls -l --time-style=+ | awk 'NR > 1 { printf "  %8d  %s\n", $5, $6 }')
