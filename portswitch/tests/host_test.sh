#!/bin/sh
# The host program loads the library by name and switches the printers of the
# prefix's local spooler; the changes last in the spooler's file.
set -eu
host=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
mkdir -p "$prefix/spooler"
cat > "$prefix/spooler/printers.txt" <<'PRINTERS'
printer "Cutter"
port "ZBKUSB001"
driver "Kestra"
printer "Laser"
port "LPT2:"
PRINTERS
export KESTRA_PREFIX="$prefix"
fail() { echo "$*" >&2; exit 1; }

[ "$("$host" unplug)" = "unplug 1" ] || fail "unplug did not report 1"
grep -q '^port "LPT1:"$' "$prefix/spooler/printers.txt" || fail "Cutter not on LPT1:"
grep -q '^port "LPT2:"$' "$prefix/spooler/printers.txt" || fail "Laser changed"
[ "$(cat "$prefix/drive_c/~PlugPort.Tmp")" = "ZBKUSB001,," ] || fail "wrong temporary file"

[ "$("$host" replug)" = "replug 1" ] || fail "replug did not report 1"
grep -q '^port "ZBKUSB001"$' "$prefix/spooler/printers.txt" || fail "Cutter not restored"
grep -q '^driver "Kestra"$' "$prefix/spooler/printers.txt" || fail "driver lost"
[ ! -e "$prefix/drive_c/~PlugPort.Tmp" ] || fail "temporary file left behind"

if out=$("$host" replug); then fail "replug without a file succeeded"; fi
[ "$out" = "replug 0" ] || fail "second replug printed: $out"
