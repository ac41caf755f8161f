#!/bin/sh
# wine_prefix.sh start|stop PREFIX: the Wine the Windows tests run on.
#   start  a fresh 32-bit prefix at PREFIX, its wineserver kept running so
#          that each test's programs start quickly
#   stop   ends that wineserver and removes the prefix's COM port links
# Wine's mount manager points dosdevices/com* at the host's serial devices
# whenever its server starts; no test opens them, and none is left behind.
set -eu
[ $# -eq 2 ] || { echo "usage: wine_prefix.sh start|stop PREFIX" >&2; exit 2; }
export WINEPREFIX=$2 WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko installer: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

case $1 in
  start)
    [ -d "$WINEPREFIX" ] && { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
    rm -rf "$WINEPREFIX"
    # Wine's server and services outlive this script: they must not hold
    # the test runner's output open.
    wineboot -i >"$WINEPREFIX.log" 2>&1 || { cat "$WINEPREFIX.log" >&2; exit 1; }
    # In the session that creates the prefix the service manager cannot
    # start drivers (error 1077): boot once more, with a server that stays
    # until "stop".
    wineserver -w
    wineserver -p >>"$WINEPREFIX.log" 2>&1
    wineboot >>"$WINEPREFIX.log" 2>&1 || { cat "$WINEPREFIX.log" >&2; exit 1; }
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -f "$WINEPREFIX"/dosdevices/com*
    ;;
  *)
    echo "usage: wine_prefix.sh start|stop PREFIX" >&2
    exit 2
    ;;
esac
