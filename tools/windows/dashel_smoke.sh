#!/bin/sh
# dashel_smoke.sh PREFIX SMOKE DASHEL: runs dashel-smoke on the prefix's
# display, after making sure that COM1, which Dashel opens when Poll Size is
# clicked, is /dev/null and not a serial device of this machine.
set -eu
[ $# -eq 3 ] || { echo "usage: dashel_smoke.sh PREFIX SMOKE DASHEL" >&2; exit 2; }
com1=$(readlink "$1/dosdevices/com1" || true)
[ "$com1" = /dev/null ] || { echo "dashel_smoke.sh: COM1 of $1 is '$com1', not /dev/null: not starting" >&2; exit 1; }
exec sh "$(dirname "$0")/on_display.sh" "$1" wine "$2" "$3"
