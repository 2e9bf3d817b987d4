#!/bin/sh
# reproducible.sh BUILD: builds the launcher and its package again, in another
# folder and at a later time (zip dates count in 2 s steps), and checks that
# both come out byte for byte as in BUILD.
set -eu
cmake --build "$1" --target package >/dev/null
rm -rf "$1/again" && cmake --preset windows -B "$1/again" -DBUILD_TESTING=OFF >/dev/null
sleep 2 && cmake --build "$1/again" --target package >/dev/null
cd "$1" && for file in bin/VyraLauncher.exe *-win32.zip; do cmp "$file" "again/$file"; done
