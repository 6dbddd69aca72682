#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to run again.
set -euo pipefail
pkgs=(build-essential cmake pkg-config git python3
      libgtest-dev libgmock-dev libbenchmark-dev
      libcurl4-openssl-dev libminizip-dev zlib1g-dev libssl-dev libvectorscan-dev
      clang-format
      scdoc groff-base man-db)
# The update's end-to-end tests: kills injected with strace, keys made with openssl.
pkgs+=(strace openssl)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
