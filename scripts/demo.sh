#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo against the embedded
# simulation server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export CCACHE_BASEDIR=$PWD CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
# The same build tree as scripts/test.sh: only the demo and what it needs are built.
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target vexo-demo
build/examples/demo/vexo-demo "$@"
