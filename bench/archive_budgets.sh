#!/usr/bin/env bash
# Archives that are big but ordinary, against the engine's bomb evidence and work budgets:
#   1. a zip of 100,000 small members, made at run time: scanned whole, and how long it takes;
#   2. /usr with a JDK (default-jdk, installed with apt-get when missing): no "Archive bomb".
# Usage: bench/archive_budgets.sh [BUILD_DIR]  (default build). Figures go to standard output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$root/build}/bin" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scan=("$bin/ferrox64" --nomem --nombr --noboot)

echo "== 100,000 small members"
python3 "$root/tests/e2e/tools/make_many_members.py" "$work/many.zip" 100000 "$bin/../samples/eicar.com"
for workers in 1 0; do
  prefix=()
  [ "$workers" = 1 ] && prefix=(taskset -c 0)
  start=$(date +%s.%N)
  set +e
  out=$("${prefix[@]}" "${scan[@]}" "$work/many.zip")
  code=$?
  set -e
  end=$(date +%s.%N)
  echo "$out" | grep -E '^(Found|Processed)' || true
  printf '%s: exit %d, %.2f s wall\n' "${prefix[*]:-all CPUs}" "$code" "$(awk "BEGIN { print $end - $start }")"
done

echo "== /usr with a JDK"
if ! dpkg -s default-jdk >/dev/null 2>&1; then
  apt-get install -y default-jdk >/dev/null
fi
start=$(date +%s.%N)
set +e
"${scan[@]}" /usr >"$work/usr.out" 2>"$work/usr.err"
code=$?
set -e
end=$(date +%s.%N)
bombs=$(grep -c 'Archive bomb' "$work/usr.out" || true)
grep 'Archive bomb' "$work/usr.out" || true
grep -E '^Processed' "$work/usr.out" || true
printf '/usr: exit %d, %d archive bomb report(s), %.0f s wall\n' "$code" "$bombs" \
  "$(awk "BEGIN { print $end - $start }")"
"${scan[@]}" -V "$(find /usr/lib/jvm -name ct.sym | head -1)" | grep -c '^Scanning: ' |
  sed 's/^/ct.sym objects scanned: /'
