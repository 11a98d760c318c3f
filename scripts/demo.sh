#!/usr/bin/env bash
# Installs what is missing, builds the demo and vexo-opc, puts vexo-opc on
# PATH, and runs the demo against the embedded simulation server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export CCACHE_BASEDIR=$PWD CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
# The same build tree as scripts/test.sh: only the demo and what it needs are built.
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target vexo-demo vexo-opc
# vexo-opc on PATH, so the README's examples work as typed: a link in
# /usr/local/bin to the one in the build tree (rebuilt by the next run).
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! $SUDO ln -sf "$PWD/build/tools/vexo-opc/vexo-opc" /usr/local/bin/vexo-opc; then
  echo "could not link /usr/local/bin/vexo-opc; run $PWD/build/tools/vexo-opc/vexo-opc" >&2
fi
build/examples/demo/vexo-demo "$@"
