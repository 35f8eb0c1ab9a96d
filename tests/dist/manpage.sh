#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# manpage.sh PAGE KORRIN: the manual page renders without warnings and
# documents every option of the program's usage text.
set -euo pipefail
. "$(dirname "$0")/common.sh"
page=$1 korrin=$2

# groff, through man-db, is on every Debian machine; mandoc's stricter lint
# is added where Debian's mandoc is installed (CI installs it).
if command -v mandoc >/dev/null; then
    mandoc -T lint -W warning "$page" >"$scratch/lint" 2>&1 || fail "mandoc lint: $(cat "$scratch/lint")"
    [ ! -s "$scratch/lint" ] || fail "mandoc lint: $(cat "$scratch/lint")"
    linted="mandoc -T lint and man --warnings"
else
    linted="man --warnings (mandoc is not installed)"
fi

MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >"$scratch/page" 2>"$scratch/warnings"
[ ! -s "$scratch/warnings" ] || fail "man --warnings: $(cat "$scratch/warnings")"
grep -q '^NAME' "$scratch/page" || fail "page did not render"

run_korrin "$korrin" -h
options=$(sed -n 's/^  \(-[0-9a-z]\)  .*/\1/p' "$scratch/err")
[ "$(echo "$options" | wc -l)" = 13 ] || fail "found $(echo "$options" | wc -l) options in the usage text"
for option in $options; do
    grep -qE "^ +$option( |$)" "$scratch/page" || fail "option $option is not described in the page"
done
for section in SYNOPSIS DESCRIPTION "EXIT STATUS" DIAGNOSTICS EXAMPLES; do
    grep -q "^$section" "$scratch/page" || fail "no $section section"
done
echo "manual page: clean under $linted, all $(echo $options | wc -w) options described"
