#!/bin/sh
# The library exports UnPlug and RePlug and nothing else of its own.
set -eu
symbols=$(nm -D --defined-only "$1" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$symbols" != "RePlug UnPlug " ]; then
  echo "exported: $symbols" >&2
  exit 1
fi
