#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine; prints their ratio tables.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ZV_BUILD_DIR:-$ROOT/build}"
bash "$ROOT/scripts/build.sh" >/dev/null
cd "$BUILD"
exec bash "$ROOT/scripts/wine-session.sh" "$BUILD" ctest -L bench -V "$@"
