#!/bin/sh
# wrong-case.sh RUNNER: runs the case runner on tests/failing/wrong_on_purpose.case,
# a case that is wrong on purpose, and checks what the runner says of it: that it
# fails, in at most 40 lines and 2,000 characters, at the line of the case file
# that expects the settings file, with the diff's sides labelled, and the second
# run's same difference in one line.
case=tests/failing/wrong_on_purpose.case
at=$(grep -n '^+++ .*Prepar3D.cfg$' "$case" | cut -d: -f1)
out=$(CASES=tests/failing wine "$1" --gtest_filter='*/wrong_on_purpose' 2>&1)
status=$?
out=$(echo "$out" | tr -d '\r')  # Wine's console ends lines in CR LF
echo "$out"
[ "$status" -ne 0 ] || { echo "wrong-case.sh: the wrong case passed"; exit 1; }
lines=$(echo "$out" | wc -l) chars=$(echo "$out" | wc -c)
[ "$lines" -le 40 ] && [ "$chars" -le 2000 ] || { echo "wrong-case.sh: $lines lines, $chars characters"; exit 1; }
for line in "$case:$at: Failure" '--- expected' '+++ written by the launcher' '-HDR=1' '+HDR=0' \
  'AppData\Roaming\Lockheed Martin\Prepar3D v2\Prepar3D.cfg differs, run 2, as before'; do
  echo "$out" | grep -qxF -- "$line" || { echo "wrong-case.sh: no line reads: $line"; exit 1; }
done
