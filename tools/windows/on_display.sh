#!/bin/sh
# on_display.sh PREFIX COMMAND...: runs the command on the virtual display of
# the Wine prefix that wine_prefix.sh started.
set -eu
[ $# -ge 2 ] || { echo "usage: on_display.sh PREFIX COMMAND..." >&2; exit 2; }
[ -s "$1.display" ] || { echo "on_display.sh: no display for $1: run wine_prefix.sh start first" >&2; exit 1; }
DISPLAY=":$(cat "$1.display")"
export DISPLAY
shift
exec "$@"
