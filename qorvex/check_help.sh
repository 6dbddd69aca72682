#!/bin/sh
# qvxdef's usage: on standard output with exit 0 when asked for (--help, -h), on standard error
# with exit 2 after a wrong or missing subcommand.
set -eu
qvxdef="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat > "$tmp/expected" <<'USAGE'
usage:
  qvxdef compile [--id=YYYYMMDDhhmm] [--out-dir=DIR] [--signatures=NAME] [--companion=NAME] [--portable] SOURCE...
  qvxdef info FILE
  qvxdef publish --out=DIR [--sign-key=KEY.pem] DEFS_DIR
  qvxdef --help
USAGE
for asked in --help -h; do
  set +e
  "$qvxdef" "$asked" > "$tmp/out" 2> "$tmp/err"
  rc=$?
  set -e
  [ "$rc" -eq 0 ] || { echo "$asked: exit $rc"; exit 1; }
  cmp "$tmp/out" "$tmp/expected" || { echo "$asked: standard output:"; cat "$tmp/out"; exit 1; }
  [ ! -s "$tmp/err" ] || { echo "$asked: standard error: $(cat "$tmp/err")"; exit 1; }
done
for wrong in "" nonsense --helpme; do
  set +e
  if [ -z "$wrong" ]; then "$qvxdef" > "$tmp/out" 2> "$tmp/err"; else
    "$qvxdef" "$wrong" > "$tmp/out" 2> "$tmp/err"; fi
  rc=$?
  set -e
  [ "$rc" -eq 2 ] || { echo "'$wrong': exit $rc"; exit 1; }
  [ ! -s "$tmp/out" ] || { echo "'$wrong': wrote to standard output"; exit 1; }
  cmp "$tmp/err" "$tmp/expected" || { echo "'$wrong': standard error:"; cat "$tmp/err"; exit 1; }
done
echo ok
