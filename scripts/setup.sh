#!/usr/bin/env bash
# Installs everything a fresh Debian 12 machine needs to build and test Zentavo.
# Idempotent: packages already present are left alone.
set -euo pipefail

PACKAGES=(cmake make g++-mingw-w64-i686 libz-mingw-w64-dev googletest wine wine32:i386
          fonts-wine xvfb xauth x11-apps imagemagick python3
          fp-utils)  # chmcmd, the compiler of the help file

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
