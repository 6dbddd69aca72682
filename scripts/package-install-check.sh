#!/usr/bin/env bash
# Installs, removes and purges a ferrox package in a throwaway copy of this system: an overlay of
# the root file system in a mount namespace of its own, so nothing of it reaches the real one.
# Checks what the maintainer scripts do: the service users, who owns the definitions and the
# runtime folder, the enabled units, a scan with the installed definitions, an upgrade, and a
# clean removal and purge.
# Needs root and overlay mounts. Arguments: the package, the sample folder to scan.
set -euo pipefail
deb=$(realpath "$1")
samples=$(realpath "$2")
if [ "${FERROX_IN_OVERLAY:-}" != 1 ]; then
  top=$(mktemp -d)
  trap 'rm -rf "$top"' EXIT
  mkdir -p "$top/upper/check" "$top/work" "$top/merged"
  # Only the root file system is in the overlay: what the check needs is copied in.
  cp "$deb" "$top/upper/check/ferrox.deb"
  cp -r "$samples" "$top/upper/check/samples"
  cp "$0" "$top/upper/check/run.sh"
  exec unshare --mount --fork sh -c '
    set -e
    mount -t overlay overlay -o "lowerdir=/,upperdir=$1/upper,workdir=$1/work" "$1/merged"
    for dir in proc sys dev run tmp; do mount -t tmpfs none "$1/merged/$dir"; done
    mount -t proc proc "$1/merged/proc"
    mount --rbind /dev "$1/merged/dev"
    FERROX_IN_OVERLAY=1 chroot "$1/merged" /bin/bash /check/run.sh /check/ferrox.deb /check/samples
  ' sh "$top"
fi

fail() {
  echo "FAIL: $*"
  exit 1
}
owner() { stat -c %U:%G "$1"; }

dpkg -i "$deb" > /check/install.log 2>&1 || { cat /check/install.log; fail "dpkg -i"; }
for user in _hubsvc _ferrox; do
  getent passwd "$user" > /dev/null || fail "no user $user after installation"
done
[ "$(owner /var/lib/ferrox)" = _ferrox:_ferrox ] || fail "/var/lib/ferrox is $(owner /var/lib/ferrox)"
[ "$(owner /var/lib/ferrox/sigbase-v2.def)" = _ferrox:_ferrox ] || fail "definitions not _ferrox's"
[ "$(owner /run/hubsvc)" = _hubsvc:_hubsvc ] || fail "/run/hubsvc is $(owner /run/hubsvc)"
[ -L /etc/systemd/system/multi-user.target.wants/hubsvc.service ] || fail "hubsvc.service not enabled"
[ -L /etc/systemd/system/timers.target.wants/ferrox-update.timer ] || fail "timer not enabled"
set +e
ferrox64 --nomem --nombr --noboot "$2" > /check/scan.log 2>&1
rc=$?
set -e
[ "$rc" -eq 5 ] || { cat /check/scan.log; fail "ferrox64 with the installed definitions exited $rc"; }
man -w ferrox64 qvxdef msgpost hubsvc avupd.ini > /dev/null || fail "man pages not found by man"
echo "installed: users _hubsvc and _ferrox, folders owned by them, units enabled, scan exit 5"

# An upgrade writes the definitions anew, as root: they must go back to the updater.
dpkg -i "$deb" > /check/upgrade.log 2>&1 || { cat /check/upgrade.log; fail "dpkg -i again"; }
[ "$(owner /var/lib/ferrox/sigbase-v2.def)" = _ferrox:_ferrox ] ||
  fail "definitions not _ferrox's after an upgrade"
echo "upgraded: the definitions still belong to _ferrox"

dpkg -r ferrox > /check/remove.log 2>&1 || { cat /check/remove.log; fail "dpkg -r"; }
for f in /usr/bin/ferrox64 /usr/sbin/hubsvc /var/lib/ferrox/sigbase-v2.def; do
  [ ! -e "$f" ] || fail "$f left after removal"
done
dpkg -P ferrox > /check/purge.log 2>&1 || { cat /check/purge.log; fail "dpkg -P"; }
# Removal keeps the units' enablement, as Debian does; the purge forgets it.
for f in /var/lib/ferrox /run/hubsvc /etc/ferrox \
  /etc/systemd/system/multi-user.target.wants/hubsvc.service \
  /etc/systemd/system/timers.target.wants/ferrox-update.timer; do
  [ ! -e "$f" ] && [ ! -L "$f" ] || fail "$f left after purge"
done
echo "removed and purged cleanly"
