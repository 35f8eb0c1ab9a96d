#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# docs.sh SOURCE KORRIN: the documents hold together. Every relative link
# and #anchor of README.md and docs/*.md leads to a file and a heading that
# are there, pictures included; and every command of the README's Usage
# section shown at a "$ " prompt (anybody's) prints what the README shows
# under it when korrin is that program, run as nobody. A last line "..."
# stands for the rest of the output.
set -uo pipefail
source=$1 korrin=$2
cd "$source" || exit 1
failures=0
problem() { echo "$*"; failures=$((failures + 1)); }

# The anchors of a Markdown file's headings, as GitHub makes them.
anchors()
{
    sed -n 's/^#\{1,6\} \(.*\)$/\1/p' "$1" | tr 'A-Z' 'a-z' | sed 's/[^a-z0-9 _-]//g; s/ /-/g' |
        awk '{ n = seen[$0]++; print n ? $0 "-" n : $0 }'
}

for file in README.md docs/*.md; do
    # Links outside the indented code blocks: FILE:LINE:TARGET.
    awk '!/^    / { line = $0
            while (match(line, /\]\([^)]+\)/)) {
                print FILENAME ":" FNR ":" substr(line, RSTART + 2, RLENGTH - 3)
                line = substr(line, RSTART + RLENGTH)
            } }' "$file" >"${TMPDIR:-/tmp}/links.$$"
    while IFS=: read -r name line target; do
        case $target in
        http:* | https:* | mailto:*) continue ;;
        esac
        path=${target%%#*} anchor=""
        [[ $target == *"#"* ]] && anchor=${target#*#}
        if [ -z "$path" ]; then
            path=$name
        else
            path=$(dirname "$name")/$path
        fi
        if [ ! -e "$path" ]; then
            problem "$name:$line: $target: no such file"
        elif [ -n "$anchor" ] && ! anchors "$path" | grep -qxF "$anchor"; then
            problem "$name:$line: $target: no heading '#$anchor' in $path"
        fi
    done <"${TMPDIR:-/tmp}/links.$$"
    rm -f "${TMPDIR:-/tmp}/links.$$"
done

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
