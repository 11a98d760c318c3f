#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when missing;
# with arguments, those packages instead.
#   scripts/deps.sh [package...]
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
      libbenchmark-dev ccache g++-mingw-w64-i686-posix qt6-base-dev fonts-dejavu-core
      libcli11-dev nlohmann-json3-dev libedit-dev)
(($#)) && pkgs=("$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
