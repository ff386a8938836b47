#!/usr/bin/env bash
# screenshot.sh [BUILD_DIR] [OUT_DIR] [SCENE...]
# A review tool, not a test: runs tests/FormsDemo.exe (already built) under Xvfb
# once per scene and saves a screenshot of each as OUT_DIR/<scene>.png.
# Scenes: processor settings1 settings2 about updates progress
#         confirm input message open
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:-${ZV_BUILD_DIR:-$ROOT/build}}" && pwd)"
OUT="${2:-$BUILD/screenshots}"
shift $(( $# > 2 ? 2 : $# )) || true
SCENES="${*:-processor settings1 settings2 about updates progress confirm input message open}"
DEMO="$BUILD/tests/FormsDemo.exe"
[ -f "$DEMO" ] || { echo "missing $DEMO: build the FormsDemo target first" >&2; exit 1; }
mkdir -p "$OUT"

export OUT DEMO SCENES BUILD
bash "$ROOT/scripts/wine-session.sh" "$BUILD" bash -c '
  set -u
  for scene in $SCENES; do
    "$BUILD/wine-run.sh" "$DEMO" "$scene" 5000 </dev/null >/dev/null 2>&1 &
    pid=$!
    sleep 3   # let the window appear and paint; the demo leaves by itself
    xwd -root -display "$DISPLAY" -silent | /usr/bin/convert xwd:- "$OUT/$scene.png"
    wait "$pid" || true
    echo "$OUT/$scene.png"
  done
'
