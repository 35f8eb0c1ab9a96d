#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# docs.sh SOURCE KORRIN: the documents hold together. Every relative link
# and #anchor of README.md and docs/*.md leads to a file and a heading that
# are there, pictures included (dist/doc-links); and every command of the README's Usage
# section shown at a "$ " prompt (anybody's) prints what the README shows
# under it when korrin is that program, run as nobody. A last line "..."
# stands for the rest of the output.
set -uo pipefail
source=$1 korrin=$2
cd "$source" || exit 1
failures=0
problem() { echo "$*"; failures=$((failures + 1)); }

"$source/dist/doc-links" "$source" README.md docs/*.md || problem "the documents' links"
# Staged without one of their pictures, they fail, naming it.
copy=$(mktemp -d)
cp -r README.md docs "$copy/" && rm "$copy/docs/loss-window.svg"
staged=$("$source/dist/stage-docs" md "$copy" "$copy/staged" 2>&1) &&
    problem "stage-docs made the documents without docs/loss-window.svg"
grep -q ': loss-window.svg: no such file' <<<"$staged" || problem "stage-docs, a picture missing, said: $staged"
rm -rf "$copy"

# The README's commands, run as the README shows them, in a directory of
# their own that nobody can reach.
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
chmod 755 "$bin"
cp "$korrin" "$bin/korrin"
as_nobody=()
[ "$(id -u)" = 0 ] && as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
commands=0
usage=$(awk '/^## / { on = ($0 == "## Usage") } on' README.md)
[ -n "$usage" ] || problem "README.md: no Usage section"
run_block()
{
    [ -n "$command" ] || return 0
    commands=$((commands + 1))
    local got wanted=$expected
    got=$(cd / && "${as_nobody[@]}" env PATH="$bin:/usr/bin:/bin" sh -c "$command" 2>&1)
    if [[ $wanted == *$'\n...' || $wanted == '...' ]]; then
        wanted=${wanted%...}
        wanted=${wanted%$'\n'}
        got=$(head -n "$(printf '%s\n' "$wanted" | wc -l)" <<<"$got")
    fi
    [ "$got" = "$wanted" ] || problem "README.md: \$ $command printed:
$got
where the README shows:
$expected"
    command=""
}
command="" expected=""
while IFS= read -r line; do
    case $line in
    '    $ '*) run_block; command=${line#    \$ } expected="" ;;
    '    # '* | '') run_block ;;
    '    '*) [ -n "$command" ] && expected=${expected:+$expected$'\n'}${line#    } ;;
    *) run_block ;;
    esac
done <<<"$usage"
run_block
[ $commands -gt 0 ] || problem "README.md: no command at a \$ prompt in its Usage section"

if [ $failures != 0 ]; then
    echo "FAIL: $failures problems in the documents"
    exit 1
fi
echo "documents: links and anchors of README.md and docs/*.md resolve; $commands commands of the README print what it shows"
