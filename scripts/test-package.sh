#!/usr/bin/env bash
# Tests the Debian package that scripts/build-package.sh made: lintian finds no error; unpacked
# into a scratch root, its files are where they belong (binaries stripped, units naming the
# installed programs, man pages rendering cleanly, hubsvc.service's exposure at most 2.0); its
# ferrox64 scans the samples with its definitions; and msgpost's end-to-end tests pass against its
# hubsvc and msgpost, with hubsvc running as the service user of the package's sysusers.d file;
# and it installs, upgrades, removes and purges cleanly (scripts/package-install-check.sh).
# Needs root (to run hubsvc as that user). Argument: the package build folder (default build-deb/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-deb}" && pwd)
deb=$(ls "$build"/ferrox_*.deb)
# The checkers this test needs: lintian, and systemd's systemd-analyze and systemd-sysusers.
if ! command -v lintian >/dev/null || ! command -v systemd-analyze >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lintian systemd
fi

fail() {
  echo "FAIL: $*"
  exit 1
}

echo "== lintian $(basename "$deb")"
# Run as root here; lintian would complain about that on standard error only.
lintian --fail-on error --display-info "$deb" 2>/dev/null | tee "$build/lintian.txt" ||
  fail "lintian found errors"
echo "lintian: $(grep -c '^E:' "$build/lintian.txt" || true) errors," \
  "$(grep -c '^W:' "$build/lintian.txt" || true) warnings"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The service user must reach the programs.
chmod 755 "$scratch"
dest=$scratch/root
dpkg -x "$deb" "$dest"

echo "== files"
for f in usr/bin/ferrox64 usr/bin/qvxdef usr/bin/msgpost usr/sbin/hubsvc \
  var/lib/ferrox/sigbase-v2.def var/lib/ferrox/qorvexcon-v2.def \
  lib/systemd/system/hubsvc.service lib/systemd/system/ferrox-update.service \
  lib/systemd/system/ferrox-update.timer usr/lib/tmpfiles.d/hubsvc.conf \
  usr/lib/tmpfiles.d/ferrox.conf usr/lib/sysusers.d/hubsvc.conf usr/lib/sysusers.d/ferrox.conf \
  usr/share/doc/ferrox/copyright usr/share/doc/ferrox/examples/avupd.ini \
  usr/share/man/man1/ferrox64.1.gz usr/share/man/man1/qvxdef.1.gz \
  usr/share/man/man1/msgpost.1.gz usr/share/man/man8/hubsvc.8.gz \
  usr/share/man/man5/avupd.ini.5.gz; do
  [ -e "$dest/$f" ] || fail "$f is not in the package"
done
engine=$(find "$dest/usr/lib" -name libqorvex000.so)
[ -n "$engine" ] || fail "libqorvex000.so is not in the package"
for f in usr/bin/ferrox64 usr/bin/qvxdef usr/bin/msgpost usr/sbin/hubsvc "${engine#"$dest"/}"; do
  ! readelf -S "$dest/$f" | grep -q '\.symtab' || fail "$f is not stripped"
done
grep -qx 'ExecStart=/usr/sbin/hubsvc' "$dest/lib/systemd/system/hubsvc.service" ||
  fail "hubsvc.service does not start /usr/sbin/hubsvc"
grep -qx 'ExecStart=/usr/bin/ferrox64 --update --deflocation=/var/lib/ferrox/' \
  "$dest/lib/systemd/system/ferrox-update.service" ||
  fail "ferrox-update.service does not start /usr/bin/ferrox64"
"$root/man/check_render.sh" "$dest"/usr/share/man/man*/*.gz
exposure() {
  systemd-analyze security --offline=true --root="$dest" "$1" 2>&1 |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p'
}
for unit in hubsvc.service ferrox-update.service; do
  level=$(exposure "$unit")
  echo "$unit: exposure $level"
  [ -n "$level" ] || fail "no exposure level for $unit"
done
level=$(exposure hubsvc.service)
awk -v e="$level" 'BEGIN { exit !(e <= 2.0) }' || fail "hubsvc.service exposure $level is above 2.0"

echo "== scanning the samples with the installed programs"
"$dest/usr/bin/qvxdef" info "$dest/var/lib/ferrox/sigbase-v2.def" | grep -q '^role: signatures$' ||
  fail "the installed qvxdef does not read the installed definitions"
set +e
"$dest/usr/bin/ferrox64" --nomem --nombr --noboot --deflocation="$dest/var/lib/ferrox/" \
  "$build/samples" > "$scratch/installed.out" 2>&1
installed=$?
"$build/bin/ferrox64" --nomem --nombr --noboot "$build/samples" > "$scratch/built.out" 2>&1
built=$?
set -e
[ "$installed" -eq 5 ] || fail "the installed ferrox64 exited $installed: $(cat "$scratch/installed.out")"
[ "$built" -eq 5 ] || fail "the built ferrox64 exited $built"
grep '^Found: ' "$scratch/installed.out" | sort > "$scratch/installed.found"
grep '^Found: ' "$scratch/built.out" | sort > "$scratch/built.found"
[ -s "$scratch/installed.found" ] || fail "the installed ferrox64 found nothing"
diff "$scratch/built.found" "$scratch/installed.found" ||
  fail "the installed ferrox64 found other things than the built one"
echo "found $(wc -l < "$scratch/installed.found") detections, exit 5"

echo "== msgpost end-to-end tests against the installed hubsvc, as its service user"
# The user that the package's sysusers.d file makes, made in the scratch root only.
mkdir -p "$dest/etc"
systemd-sysusers --root="$dest" >/dev/null 2>&1
ids=$(awk -F: '$1 == "_hubsvc" { print $3 ":" $4 }' "$dest/etc/passwd")
[ -n "$ids" ] || fail "the package's sysusers.d file makes no _hubsvc"
[ "${ids%%:*}" -ne 0 ] || fail "_hubsvc is root"
bin=$scratch/bin
mkdir "$bin"
ln -s "$dest/usr/sbin/hubsvc" "$bin/hubsvc"
ln -s "$dest/usr/bin/msgpost" "$bin/msgpost"
ln -s "$build/bin/msgpost_responder" "$bin/msgpost_responder"
e2e=$root/tests/e2e
export HUBSVC_E2E_AS=$ids
run_one() {
  local out
  out=$(python3 "$@" 2>&1) || { echo "FAIL: $*"; echo "$out" | tail -5; return 1; }
}
export -f run_one
printf '%s\0' "$e2e"/cases/msgpost/*.case |
  xargs -0 -n 1 -P "$(nproc)" bash -c 'run_one "$1" --bin-dir "$2" --fake-dir "$3" "$4"' _ \
    "$e2e/run_case.py" "$bin" "$build/tests/fake_engine" ||
  fail "msgpost end-to-end cases"
echo "msgpost end-to-end tests passed as uid:gid $ids"

echo "== dpkg -i, upgrade, dpkg -r and dpkg -P in a throwaway copy of this system"
"$root/scripts/package-install-check.sh" "$deb" "$build/samples"
echo ok
