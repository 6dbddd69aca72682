#!/bin/sh
# Every man page (plain or compressed) renders without a single warning, both through groff with
# all warnings on and through man as a reader gets it.
set -eu
status=0
for page in "$@"; do
  warnings=$(zcat -f "$page" | groff -ww -z -man 2>&1)
  warnings="$warnings$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  if [ -n "$warnings" ]; then
    echo "$page:"
    echo "$warnings"
    status=1
  fi
done
[ "$status" -eq 0 ] && echo ok
exit "$status"
