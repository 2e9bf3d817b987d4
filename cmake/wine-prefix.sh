#!/bin/sh
# wine-prefix.sh [serve]: makes (or brings up to date) the Wine prefix
# $WINEPREFIX and checks that it runs a program. With "serve", it first starts
# the prefix's Wine server to stay up until "wineserver -k", so that no test's
# process starts it and is held up by it. Wine's output goes to a log beside
# the prefix, shown on failure: the services that Wine starts would hold this
# script's output open for as long as the server runs. Tries twice: a first
# start right after Wine was installed has been seen to fail once while
# loading kernel32.dll.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log=$WINEPREFIX.log
mkdir -p "$WINEPREFIX"  # the server starts only in a folder that is there
for _ in 1 2; do
  [ "${1-}" != serve ] || wineserver -p </dev/null >"$log" 2>&1
  { wineboot --init && wine cmd /c exit 0; } </dev/null >>"$log" 2>&1 && exit 0
  wineserver -k 2>/dev/null
  sleep 1
done
cat "$log"
exit 1
