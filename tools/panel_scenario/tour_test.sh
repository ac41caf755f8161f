#!/bin/sh
# The headless tour: it ends well, its pictures are named for what they show
# (with the panel after Poll Size and during Loop Detect), and none of Qt's
# notices reach the output.
set -eu
runner=$1
tour=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$*" >&2; exit 1; }
cd "$tmp"
pictures=build/default/tour-pictures
mkdir -p "$pictures"
env -u XDG_RUNTIME_DIR QT_QPA_PLATFORM=offscreen "$runner" --pictures "$pictures" "$tour" >out 2>err ||
  fail "the tour failed: $(tail -n 3 out)"
[ ! -s err ] || fail "noise in the output: $(cat err)"
expected="01-panel.png
02-panel-media-size.png
03-panel-loop-detect.png
04-adjust-method.png
05-measured-size.png
06-box-please-measure-the-width.png
07-save-name.png
08-about.png
cuts.svg"
[ "$(ls "$pictures")" = "$expected" ] || fail "pictures: $(ls "$pictures")"
grep -qx 'picture "build/default/tour-pictures/03-panel-loop-detect.png"' out || fail "no picture line"
