#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the test suite under Wine.
# Extra arguments go to ctest (for example -R config or -L bench).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ZV_BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/build.sh"
cd "$BUILD"
if [ $# -eq 0 ]; then set -- -LE bench; fi
exec bash "$ROOT/scripts/wine-session.sh" "$BUILD" \
     ctest --output-on-failure --timeout 300 -j "$(nproc)" "$@"
