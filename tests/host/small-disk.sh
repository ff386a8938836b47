#!/bin/sh
# small-disk.sh mount|unmount DIR: a tmpfs of 320 KiB over DIR, for the tests
# of a save whose writes really fail part way (the disk runs full). Mounting
# needs root; without it those tests skip. Never fails, so that such a machine
# still runs the rest; a mount left by a killed run is replaced, and unmount
# leaves nothing.
set -u
dir=$2
mkdir -p "$dir"
mountpoint -q "$dir" && { umount "$dir" || umount -l "$dir"; }
case $1 in
  mount) mount -t tmpfs -o size=320k zentavo-small-disk "$dir" || echo "no small disk at $dir: run as root" ;;
  unmount) rmdir "$dir" ;;
esac
exit 0
