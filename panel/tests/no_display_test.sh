#!/bin/sh
# Without a display Dashel prints one line saying what to set and exits 1,
# instead of Qt's abort.
set -u
dashel=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$*" >&2; exit 1; }
hint="or run headless with QT_QPA_PLATFORM=offscreen"

run() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM KESTRA_PREFIX="$tmp/prefix" XDG_RUNTIME_DIR="$tmp" \
    "$@" "$dashel" >"$tmp/out" 2>"$tmp/err"
  echo $?
}

code=$(run)
[ "$code" = 1 ] || fail "no display: exit $code"
[ "$(cat "$tmp/err")" = "Dashel: no display found: set DISPLAY or WAYLAND_DISPLAY, $hint" ] ||
  fail "no display printed: $(cat "$tmp/err")"
[ ! -s "$tmp/out" ] || fail "no display wrote to standard output"

# A display that is named but not there (no server has this number).
code=$(run DISPLAY=:65000)
[ "$code" = 1 ] || fail "dead display: exit $code"
[ "$(cat "$tmp/err")" = "Dashel: cannot open the display (DISPLAY=:65000): set DISPLAY or WAYLAND_DISPLAY to a running display, $hint" ] ||
  fail "dead display printed: $(cat "$tmp/err")"
