#!/bin/sh
# wine_prefix.sh start|stop PREFIX: the Wine the Windows tests run on.
#   start  a fresh 32-bit prefix at PREFIX, its wineserver kept running so
#          that each test's programs start quickly, its desktop on a virtual
#          display of its own (Xvfb) whose name goes to PREFIX.display
#   stop   ends that wineserver and display and removes the prefix's COM
#          port links
# Wine's mount manager points dosdevices/com* at the host's serial devices
# whenever its server starts; no test opens them, and none is left behind.
# COM1, the port Dashel starts with, is mapped in the registry (which the
# mount manager obeys) to /dev/null: a link to a path that does not exist
# would not do, as Wine then falls back to the host's /dev/ttyS0 for COM1.
set -eu
[ $# -eq 2 ] || { echo "usage: wine_prefix.sh start|stop PREFIX" >&2; exit 2; }
export WINEPREFIX=$2 WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko installer: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

stop_display() {
  [ -f "$WINEPREFIX.xvfb" ] && kill "$(cat "$WINEPREFIX.xvfb")" 2>/dev/null || true
  rm -f "$WINEPREFIX.xvfb" "$WINEPREFIX.display"
}

case $1 in
  start)
    [ -d "$WINEPREFIX" ] && { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
    stop_display
    rm -rf "$WINEPREFIX"
    # Wine's desktop takes its display when the server starts: the display
    # must outlive this script, and it holds none of the runner's output.
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$WINEPREFIX.display" </dev/null >/dev/null 2>&1 &
    echo $! >"$WINEPREFIX.xvfb"
    tries=0
    until [ -s "$WINEPREFIX.display" ]; do
      tries=$((tries + 1))
      [ $tries -le 100 ] || { echo "wine_prefix.sh: Xvfb did not start" >&2; stop_display; exit 1; }
      sleep 0.1
    done
    export DISPLAY=":$(cat "$WINEPREFIX.display")"
    # Wine's server and services outlive this script: they must not hold
    # the test runner's output open.
    wineboot -i >"$WINEPREFIX.log" 2>&1 || { cat "$WINEPREFIX.log" >&2; exit 1; }
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d /dev/null /f \
      >>"$WINEPREFIX.log" 2>&1 || { cat "$WINEPREFIX.log" >&2; exit 1; }
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
    stop_display
    ;;
  *)
    echo "usage: wine_prefix.sh start|stop PREFIX" >&2
    exit 2
    ;;
esac
