#!/bin/sh
# wine-prefix.sh HOST [DESKTOP]: makes (or brings up to date) the Wine prefix
# $WINEPREFIX, checks that it runs a program, and puts the program HOST in its
# system folder as cscript.exe, in the place of Wine's own script host: where a
# 32-bit program finds it, syswow64 in a 64-bit prefix, system32 in a 32-bit one.
# Wine makes or updates a prefix by itself when it starts the first program in
# it: a wineboot run besides that started a second service manager in a new
# prefix, and every service start then failed after 10 s, RpcSs among them,
# which Wine's desktop waits for.
#
# With DESKTOP, it first starts the prefix's Wine server to stay up until
# "wineserver -k", so that no test's process starts it and is held up by it;
# then DESKTOP, which holds Wine's desktop until then, as Windows always has
# one. Wine starts a desktop (explorer.exe /desktop) for the first program that
# needs it, hands it that program's error output, and closes it a second after
# the last program has left it: a test whose launcher started it would be held
# by its output until every test running beside it is done.
#
# Wine's output goes to a log beside the prefix, shown on failure: the services
# that Wine starts would hold this script's output open for as long as the
# server runs. Tries twice: a first start right after Wine was installed has
# been seen to fail once while loading kernel32.dll.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log=$WINEPREFIX.log
windows=$WINEPREFIX/drive_c/windows
mkdir -p "$WINEPREFIX"  # the server starts only in a folder that is there
for _ in 1 2; do
  [ -z "${2-}" ] || wineserver -p </dev/null >"$log" 2>&1
  if wine cmd /c exit 0 </dev/null >>"$log" 2>&1; then
    if [ -d "$windows/syswow64" ]; then system=$windows/syswow64; else system=$windows/system32; fi
    cp "$1" "$system/cscript.exe" || exit 1
    [ -n "${2-}" ] || exit 0
    wine "$2" </dev/null >"$log.desktop" 2>>"$log" &  # says "desktop" once it holds it
    for _ in $(seq 100); do
      grep -qx desktop "$log.desktop" && exit 0
      sleep 0.1
    done
  fi
  wineserver -k 2>/dev/null
  sleep 1
done
cat "$log"
exit 1
