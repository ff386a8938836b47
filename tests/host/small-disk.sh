#!/bin/sh
# small-disk.sh mount|unmount DIR: a tmpfs of 320 KiB over DIR, for the tests
# of a save whose writes really fail part way (the disk runs full). Mounting
# needs root; where it cannot be done, the reason goes to DIR.txt and the
# tests skip, saying why. Never fails, so that such a machine still runs the
# rest; a mount left by a killed run is replaced, and unmount leaves nothing.
set -u
action=$1 dir=$2
unmount() { mountpoint -q "$dir" && { umount "$dir" || umount -l "$dir"; }; }
case $action in
  mount)
    rm -f "$dir.txt"
    mkdir -p "$dir" && unmount
    if ! out=$(mount -t tmpfs -o size=320k zentavo-small-disk "$dir" 2>&1); then
      echo "no small disk: cannot mount a tmpfs over $dir ($(echo "${out:-mount failed}" | head -n1)); run as root" |
        tee "$dir.txt"
    fi ;;
  unmount)
    unmount
    rmdir "$dir" 2>/dev/null
    rm -f "$dir.txt" ;;
esac
exit 0
