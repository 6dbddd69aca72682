#!/usr/bin/env bash
# Builds the scanner and the test-double engine with ThreadSanitizer (clang, the LLVM OpenMP
# runtime and its Archer tool, which tells ThreadSanitizer about OpenMP's synchronisation) and runs
# the end-to-end cases that use several threads.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-tsan
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DFERROX_TSAN=ON -DFERROX_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target ferrox64 fake_engine
export OMP_TOOL_LIBRARIES=/usr/lib/llvm-14/lib/libarcher.so
export TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp ignore_noninstrumented_modules=1 halt_on_error=1"
cd "$build"
ctest --output-on-failure -R 'e2e\.(targets_threads|driver_threads|samples_refused_threads|events|actions)'
