#!/usr/bin/env bash
# Builds the library and its tests for 64-bit Windows with MinGW-w64 and runs
# them under Wine's COM runtime through CTest, in a fresh Wine prefix; builds
# the libraries for 32-bit Windows too, where a COM method without the
# system's calling convention fails to compile.
#   scripts/test-windows.sh [build-dir] [extra cmake args...]
# The 32-bit tree is <build-dir>-32. Prints the time of each phase.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
phase_start=$SECONDS
phase() { echo "test-windows.sh: $1: $((SECONDS - phase_start)) s"; phase_start=$SECONDS; }

scripts/deps.sh cmake ninja-build ccache libgtest-dev g++-mingw-w64-x86-64-posix \
  g++-mingw-w64-i686-posix mingw-w64-tools wine wine64 libwine-dev libcli11-dev nlohmann-json3-dev \
  procps
phase packages

build=${1:-build-windows}; shift || true
export CCACHE_BASEDIR=$PWD CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
jobs=$(nproc)
# Optimised lightly and without debug information: the trees are built for
# the tests, and a cold build is most of this script's time.
opt=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1)

# A fresh prefix without prompts: no display, and no Mono or Gecko installers.
# The system's BSTR cache is off so that task-memory counts are exact. It is
# made while the build runs.
mkdir -p "$build"
export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
       OANOCACHE=1 WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
# A server left over from an earlier run of this prefix would serve the
# deleted one.
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
( wineboot -u && wineserver -w ) </dev/null >"$build/wineboot.log" 2>&1 &
boot=$!

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
      -DVEXO_BUILD_TESTS=ON "${opt[@]}" "$@" >"$build/configure.log" || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs"
phase "64-bit build"

# The 32-bit libraries: compiled, not run (a 64-bit prefix runs 64-bit
# programs only without the i386 Wine packages). The tools are left to the
# 64-bit tree, which tests them.
mkdir -p "$build-32"
cmake -S . -B "$build-32" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake \
      -DVEXO_BUILD_TESTS=OFF -DVEXO_BUILD_TOOLS=OFF "${opt[@]}" "$@" >"$build-32/configure.log" || { cat "$build-32/configure.log"; exit 1; }
cmake --build "$build-32" -j "$jobs"
phase "32-bit build"

wait "$boot" || { cat "$build/wineboot.log"; exit 1; }
phase "prefix (after the builds)"

# One persistent server for every test, and the prefix's background processes
# started by a throw-away command whose streams lead nowhere: otherwise they
# inherit CTest's pipes and CTest waits for them after the first test.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1
phase "wine start"

rm -f "$build/src/servers/host/vexosimsrv.memory.log" # this run's processes only
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$jobs"
phase "tests under wine"

# One data-path figure across processes (the tests left the local-server
# program registered), beside the same path within the process.
wine "$build/bench/windows/vexo-bench-crossprocess.exe" 1000 200
phase "data path benchmark"

# The local-server program's own count of the task memory it never freed,
# one line per process, once the last one has ended. Under Wine the stubs
# keep one block of each top-level [in] array of records or VARIANTs, so a
# process may keep as many blocks as it had such calls, and not one more.
for _ in $(seq 30); do pgrep -f vexosimsrv.exe >/dev/null || break; sleep 0.5; done
log="$build/src/servers/host/vexosimsrv.memory.log"
if [ -f "$log" ]; then
  echo "test-windows.sh: local server task memory:"
  cat "$log"
  awk '$3 > $8 { bad = 1 } END { exit bad }' "$log" ||
    { echo "test-windows.sh: the local server leaked task memory"; exit 1; }
fi
echo "test-windows.sh: vexo-opc for Windows users: $build/vexo-opc-windows-x64.zip"
echo "test-windows.sh: total $((SECONDS - start)) s"
