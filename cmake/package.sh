#!/bin/sh
# package.sh ZIP FILE...: puts the files into ZIP, byte for byte the same for
# one commit (the files in the order given, mode 644, the last commit's date in
# UTC, no extra fields), and prints its SHA-256. Runs in the source tree.
set -eu
zip=$(realpath -m "$1")
shift
stage=$zip.files
rm -rf "$stage" "$zip"
mkdir "$stage"
date=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)  # else 1980-01-01
for file; do
  name=${file##*/}
  cp "$file" "$stage/$name"
  chmod 644 "$stage/$name"
  touch -d "@$date" "$stage/$name"
  (cd "$stage" && TZ=UTC zip -X -q "$zip" "$name")
done
rm -rf "$stage"
sha256sum "$zip"
