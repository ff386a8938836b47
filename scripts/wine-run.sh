#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's isolated prefix.
# CMake places a copy of this script, with the prefix filled in, in the build tree.
: "${WINEPREFIX:=@ZV_WINEPREFIX@}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
exec wine "$@"
