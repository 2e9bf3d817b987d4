#!/bin/sh
# package.sh ZIP FILE...: puts the files into ZIP, byte for byte the same for
# one commit (fixed order and modes, the last commit's date in UTC, no extra
# fields), and prints its SHA-256. Runs in the source tree.
set -eu
zip=$1
shift
stage=$zip.files
rm -rf "$stage" "$zip"
mkdir "$stage"
cp "$@" "$stage/"
date=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)  # else 1980-01-01
chmod 644 "$stage"/*
touch -d "@$date" "$stage"/*
(cd "$stage" && TZ=UTC zip -X -q "$zip" $(for file; do basename "$file"; done))
rm -rf "$stage"
sha256sum "$zip"
