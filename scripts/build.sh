#!/usr/bin/env bash
# Sets up the machine and builds Zentavo.wfx (and the tests) into ./build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ZV_BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/setup.sh"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw32.cmake" >/dev/null
cmake --build "$BUILD" -j "$(nproc)"
echo "Built: $BUILD/Zentavo.wfx"
