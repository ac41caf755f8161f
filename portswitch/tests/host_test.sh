#!/bin/sh
# The host program loads the library by name and switches the printers of the
# prefix's local spooler; the changes last in the spooler's file. It says which
# spooler it used and counts the printers it saw and moved.
set -eu
host=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
export KESTRA_PREFIX="$prefix"
fail() { echo "$*" >&2; exit 1; }
spooler="spooler: the prefix's local spooler, $prefix/spooler/printers.txt"
hint="(this machine's own printers are reached only by the Windows build)"

# No spooler file: nothing to move, and the output says why.
out=$("$host" unplug)
[ "$out" = "$spooler, which does not exist: no printers $hint
unplug 1: 0 printers seen, 0 moved" ] || fail "unplug without printers printed: $out"
"$host" replug >/dev/null

mkdir -p "$prefix/spooler"
cat > "$prefix/spooler/printers.txt" <<'PRINTERS'
printer "Cutter"
port "ZBKUSB001"
driver "Kestra"
printer "Laser"
port "LPT2:"
PRINTERS

out=$("$host" unplug)
[ "$out" = "$spooler $hint
unplug 1: 2 printers seen, 1 moved" ] || fail "unplug printed: $out"
grep -q '^port "LPT1:"$' "$prefix/spooler/printers.txt" || fail "Cutter not on LPT1:"
grep -q '^port "LPT2:"$' "$prefix/spooler/printers.txt" || fail "Laser changed"
[ "$(cat "$prefix/drive_c/~PlugPort.Tmp")" = "ZBKUSB001,," ] || fail "wrong temporary file"

out=$("$host" replug)
[ "$(echo "$out" | tail -n 1)" = "replug 1: 2 printers seen, 1 moved" ] || fail "replug printed: $out"
grep -q '^port "ZBKUSB001"$' "$prefix/spooler/printers.txt" || fail "Cutter not restored"
grep -q '^driver "Kestra"$' "$prefix/spooler/printers.txt" || fail "driver lost"
[ ! -e "$prefix/drive_c/~PlugPort.Tmp" ] || fail "temporary file left behind"

if out=$("$host" replug); then fail "replug without a file succeeded"; fi
[ "$(echo "$out" | tail -n 1)" = "replug 0: 2 printers seen, 0 moved" ] || fail "second replug printed: $out"

# A spooler file that cannot be read is named with its fault.
echo 'port "orphan"' > "$prefix/spooler/printers.txt"
if out=$("$host" unplug); then fail "unplug with a broken spooler file succeeded"; fi
echo "$out" | grep -qx "spooler: $prefix/spooler/printers.txt: line 1: bad port" || fail "broken file printed: $out"
[ "$(echo "$out" | tail -n 1)" = "unplug 0" ] || fail "broken file result: $out"
