#!/bin/sh
# Makes (or brings up to date) the Wine prefix $WINEPREFIX and checks that it
# runs a program. Tries twice: a first start right after Wine was installed
# has been seen to fail once while loading kernel32.dll.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
for _ in 1 2; do
  wineboot --init && wine cmd /c exit 0 && exit 0
  wineserver -k 2>/dev/null
  sleep 1
done
exit 1
