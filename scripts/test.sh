#!/usr/bin/env bash
# Installs what is missing, builds Mivora and runs every test (ctest starts its own slapd).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
build=${MIVORA_BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)"
