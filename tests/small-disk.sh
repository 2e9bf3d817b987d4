#!/bin/sh
# small-disk.sh FOLDER mount|unmount: mounts a disk of its own (tmpfs, 1 MB) at
# FOLDER for the cases that fill it, as Wine's drive V: of $WINEPREFIX; or
# unmounts it. Mounting needs root: without it there is no drive V:, and those
# cases report themselves skipped.
set -u
link=$WINEPREFIX/dosdevices/v:
rm -f "$link"
umount -l "$1" 2>/dev/null
[ "$2" = mount ] || exit 0
mkdir -p "$1"
if mount -t tmpfs -o size=1m,mode=755 vyra-small-disk "$1" 2>/dev/null; then
  ln -s "$1" "$link"
else
  echo "small-disk.sh: cannot mount (not root?); the cases that fill a disk will be skipped"
fi
