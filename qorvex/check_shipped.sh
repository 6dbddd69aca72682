#!/bin/sh
# Checks the shipped definitions (built, and loading as the engine loads them) and qvxdef's
# answers to bad sources and bad usage.
set -eu
qvxdef="$1"
dir="$2"
"$qvxdef" info "$dir/sigbase-v2.def" | grep -q '^role: signatures$'
"$qvxdef" info "$dir/qorvexcon-v2.def" | grep -q '^role: companion$'
"$qvxdef" info "$dir/sigbase-v2.def" | grep -q '^id: [0-9]\{12\}$'

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf 'id 202612101530\npattern Ok kind=1 : "abcd"\npattern Bad kind=1 : 4\n' > "$tmp/bad.src"
set +e
"$qvxdef" compile --out-dir="$tmp" "$tmp/bad.src" 2> "$tmp/err"
rc=$?
"$qvxdef" compile 2> /dev/null
usage=$?
set -e
[ "$rc" -eq 1 ] || { echo "bad source: exit $rc"; exit 1; }
grep -q "bad.src:3: " "$tmp/err" || { echo "no line number in: $(cat "$tmp/err")"; exit 1; }
[ ! -e "$tmp/sigbase-v2.def" ] || { echo "a file was written for a bad source"; exit 1; }
[ "$usage" -eq 2 ] || { echo "no sources: exit $usage"; exit 1; }
printf 'pattern Ok kind=1 : "abcd"\n' > "$tmp/good.src"
"$qvxdef" compile --id=202701020304 --out-dir="$tmp" --signatures=sigbase-v2s.def "$tmp/good.src"
"$qvxdef" info "$tmp/sigbase-v2s.def" | grep -q '^id: 202701020304$'
