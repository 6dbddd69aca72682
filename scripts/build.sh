#!/usr/bin/env bash
# Configures and builds ferrox into build/ (or $BUILD_DIR), warnings as errors. Extra arguments go
# to cmake and may override these.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DFERROX_WERROR=ON "$@"
cmake --build "$build" -j"$(nproc)"
