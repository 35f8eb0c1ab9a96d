#!/bin/bash
# manpage.sh PAGE KORRIN: the manual page renders without warnings and
# documents every option of the program's usage text.
set -euo pipefail
. "$(dirname "$0")/common.sh"
page=$1 korrin=$2

mandoc -T lint -W warning "$page" >"$scratch/lint" 2>&1 || fail "mandoc lint: $(cat "$scratch/lint")"
[ ! -s "$scratch/lint" ] || fail "mandoc lint: $(cat "$scratch/lint")"

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
echo "manual page: clean, all $(echo $options | wc -w) options described"
