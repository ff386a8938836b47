#!/usr/bin/env bash
# wine-session.sh BUILD_DIR COMMAND...
# Runs COMMAND with Xvfb and a persistent wineserver for the build tree's prefix,
# then stops everything it started. Without a running wineserver every Wine
# process pays its start-up and ctest may wait on helper processes that
# inherited its pipes.
set -uo pipefail
BUILD="$(cd "$1" && pwd)"; shift
export WINEPREFIX="$BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY

XVFB_PID=""; KEEPER_PID=""
cleanup() {
  [ -n "$KEEPER_PID" ] && kill "$KEEPER_PID" 2>/dev/null
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  return 0
}
trap cleanup EXIT

# A free display, chosen by Xvfb itself.
DISPLAY_FILE="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$DISPLAY_FILE" >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do [ -s "$DISPLAY_FILE" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$DISPLAY_FILE")"; rm -f "$DISPLAY_FILE"

wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1
fi
# Managed windows: without it every box takes seconds to close on a bare X server.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
if [ -f "$BUILD/tests/WineKeeper.exe" ]; then
  wine "$BUILD/tests/WineKeeper.exe" </dev/null >/dev/null 2>&1 &
  KEEPER_PID=$!
fi

"$@"
rc=$?
exit $rc
