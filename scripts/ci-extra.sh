#!/usr/bin/env bash
# The sanitizer and fuzz runs of CI, after the plain build and tests passed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export CCACHE_BASEDIR=$PWD CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
jobs=$(nproc)

echo "== AddressSanitizer + UndefinedBehaviorSanitizer: whole suite"
cmake -S . -B build-asan -G Ninja -DVEXO_SANITIZE=address -DVEXO_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure --no-tests=error -j "$jobs"

echo "== ThreadSanitizer: threading and reconnection tests"
cmake -S . -B build-tsan -G Ninja -DVEXO_SANITIZE=thread -DVEXO_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only the programs of the labels run below: the rest would build for nothing.
cmake --build build-tsan -j "$jobs" --target test_threads test_reconnect test_soak
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure --no-tests=error -j "$jobs" -L '^(threads|reconnect)$'

if [ -d fuzz ]; then
  echo "== libFuzzer: bounded runs"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVEXO_BUILD_FUZZ=ON \
    -DVEXO_BUILD_TESTS=OFF -DVEXO_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-fuzz -j "$jobs" --target fuzz_all
  for f in build-fuzz/fuzz/fuzz_*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    dirs=("build-fuzz/corpus-$name")
    mkdir -p "${dirs[0]}"
    [ -d "fuzz/corpus/$name" ] && dirs+=("fuzz/corpus/$name")
    # New inputs go to the first directory only; the seeds in the tree stay as they are.
    "$f" -max_total_time=60 -rss_limit_mb=2048 -print_final_stats=1 "${dirs[@]}" > "build-fuzz/$name.log" 2>&1 \
      || { tail -n 40 "build-fuzz/$name.log"; echo "fuzz target $name failed"; exit 1; }
    tail -n 3 "build-fuzz/$name.log"
  done
fi
