#!/usr/bin/env bash
# Builds the library and its tests for 64-bit Windows with MinGW-w64 and runs
# them under Wine's COM runtime through CTest, in a fresh Wine prefix.
#   scripts/test-windows.sh [build-dir] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
pkgs=(cmake ninja-build ccache libgtest-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
      mingw-w64-tools wine wine64 libwine-dev)
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

build=${1:-build-windows}; shift || true
export CCACHE_BASEDIR=$PWD CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
start=$SECONDS

# A fresh prefix without prompts: no display, and no Mono or Gecko installers.
# The system's BSTR cache is off so that task-memory counts are exact.
mkdir -p "$build"
export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
       OANOCACHE=1 WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$WINEPREFIX"
wineboot -u </dev/null >"$build/wineboot.log" 2>&1 &
boot=$!

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
      -DVEXO_BUILD_TESTS=ON "$@"
cmake --build "$build" -j "$(nproc)"
wait "$boot" || { cat "$build/wineboot.log"; exit 1; }

# One persistent server for every test, and the prefix's background processes
# started by a throw-away command whose streams lead nowhere: otherwise they
# inherit CTest's pipes and CTest waits for them after the first test.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1

ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)"
echo "test-windows.sh: $((SECONDS - start)) s"
