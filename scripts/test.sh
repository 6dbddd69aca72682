#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds ferrox and runs every test.
# With --sanitize the build uses AddressSanitizer and UBSan (build-asan/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
if [ "${1:-}" = "--sanitize" ]; then
  export BUILD_DIR=$root/build-asan
  "$root/scripts/build.sh" -DFERROX_SANITIZE=ON
else
  export BUILD_DIR=${BUILD_DIR:-$root/build}
  "$root/scripts/build.sh"
fi
cd "$BUILD_DIR"
ctest -j"$(nproc)" --output-on-failure --timeout 300
