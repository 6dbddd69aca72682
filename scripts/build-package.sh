#!/usr/bin/env bash
# Builds the Debian package the way a distribution builds: Debian's compiler and linker flags
# (dpkg-buildflags, all hardening on), warnings not errors, no tests, the definitions compiled for
# any processor. Builds into build-deb/ (or $BUILD_DIR) and leaves ferrox_*.deb there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${BUILD_DIR:-$root/build-deb}
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# CMake reads no CPPFLAGS: they go with the compiler flags, as Debian's own helpers do it.
cppflags=$(dpkg-buildflags --get CPPFLAGS)
CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS
# The engine serves ferrox64 alone and has no versioned soname: a private library, in the
# package's own folder (ferrox64's run path follows it).
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_INSTALL_LIBDIR=lib/ferrox -DFERROX_TESTS=OFF -DFERROX_PORTABLE_DEFINITIONS=ON \
  -DFERROX_SYSTEMD_UNITDIR=/lib/systemd/system
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/ferrox_*.deb
(cd "$build" && cpack -G DEB)
