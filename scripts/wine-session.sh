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

XVFB_PID=""; KEEPER_PID=""; COMMAND_PGID=""
cleanup() {
  # The command's whole process group: a stopped session leaves no test behind.
  [ -n "$COMMAND_PGID" ] && kill -TERM -- "-$COMMAND_PGID" 2>/dev/null
  [ -n "$KEEPER_PID" ] && kill "$KEEPER_PID" 2>/dev/null
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  return 0
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# A free display, chosen by Xvfb itself.
DISPLAY_FILE="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$DISPLAY_FILE" >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do [ -s "$DISPLAY_FILE" ] && break; sleep 0.05; done
if [ ! -s "$DISPLAY_FILE" ]; then
  rm -f "$DISPLAY_FILE"
  echo "wine-session.sh: Xvfb gave no display within 5 seconds (is xvfb installed and working?)" >&2
  exit 1
fi
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

# In a process group of its own (job control on just for this), so that a
# SIGTERM to this script stops the command and everything it started.
set -m
"$@" &
COMMAND_PGID=$!
set +m
wait "$COMMAND_PGID"
rc=$?
exit $rc
