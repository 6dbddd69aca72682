#!/bin/sh
# `cmake --install --prefix` after the build: every installed file that names an installed program
# names it under that prefix, not under the one the build was configured with.
set -eu
build="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
DESTDIR="$tmp" cmake --install "$build" --prefix /opt/fx > /dev/null
units="$tmp/opt/fx/lib/systemd/system"
grep -qx 'ExecStart=/opt/fx/sbin/hubsvc' "$units/hubsvc.service" ||
  { echo "hubsvc.service: $(grep ExecStart "$units/hubsvc.service")"; exit 1; }
grep -qx 'ExecStart=/opt/fx/bin/ferrox64 --update --deflocation=/var/lib/ferrox/' \
  "$units/ferrox-update.service" ||
  { echo "ferrox-update.service: $(grep ExecStart "$units/ferrox-update.service")"; exit 1; }
for program in sbin/hubsvc bin/ferrox64; do
  [ -x "$tmp/opt/fx/$program" ] || { echo "$program is not under the prefix"; exit 1; }
done
! grep -l '@FERROX_' "$units"/* || { echo "placeholders left in the units"; exit 1; }
echo ok
