#!/usr/bin/env python3
"""Writes a Windows .ico file from one of our text pixel maps (the format
that tools/rc reads): sixteen "color I RRGGBB" lines, then "image W H" blocks
of rows, one character per pixel, 0-F or '.' for transparent. Each image
becomes a 4-bit image with its palette and a transparency mask.

usage: icon_to_ico.py PIXELMAP OUT.ico
"""
import struct
import sys


class MapError(Exception):
    pass


def read_map(path):
    with open(path, encoding="utf-8") as f:
        lines = [line.rstrip("\r\n") for line in f]
    palette = {}
    images = []
    i = 0
    while i < len(lines):
        line = lines[i]
        words = line.split()
        if not words or line.startswith("#"):
            i += 1
            continue
        where = f"{path}:{i + 1}"
        if words[0] == "color":
            if len(words) != 3 or len(words[1]) != 1 or words[1].upper() not in "0123456789ABCDEF":
                raise MapError(f"{where}: expected 'color <0-F> <RRGGBB>'")
            try:
                rgb = bytes.fromhex(words[2])
            except ValueError:
                rgb = b""
            if len(rgb) != 3:
                raise MapError(f"{where}: colour must be six hex digits RRGGBB")
            palette[int(words[1], 16)] = rgb
            i += 1
        elif words[0] == "image":
            if len(palette) != 16:
                raise MapError(f"{where}: all sixteen colours must be given before an image")
            try:
                w, h = int(words[1]), int(words[2])
            except (IndexError, ValueError):
                w = h = 0
            if len(words) != 3 or not (1 <= w <= 256 and 1 <= h <= 256):
                raise MapError(f"{where}: image needs a width and a height from 1 to 256")
            rows = lines[i + 1:i + 1 + h]
            if len(rows) != h:
                raise MapError(f"{where}: image has fewer than {h} rows")
            for n, row in enumerate(rows):
                if len(row) != w or any(c not in "0123456789ABCDEFabcdef." for c in row):
                    raise MapError(f"{path}:{i + 2 + n}: row must be {w} pixels of 0-F or '.'")
            images.append((w, h, rows))
            i += 1 + h
        else:
            raise MapError(f"{where}: expected 'color' or 'image', found '{words[0]}'")
    if not images:
        raise MapError(f"{path}: icon file has no image")
    return palette, images


def padded(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def image_bytes(palette, w, h, rows):
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 4, 0, 0, 0, 0, 16, 0)
    colours = b"".join(bytes((palette[n][2], palette[n][1], palette[n][0], 0)) for n in range(16))
    pixels = b""
    mask = b""
    for row in reversed(rows):  # bottom-up, as bitmaps are stored
        nibbles = [0 if c == "." else int(c, 16) for c in row] + [0]
        line = bytes(nibbles[k] << 4 | nibbles[k + 1] for k in range(0, w, 2))
        pixels += line.ljust(padded(4 * w), b"\0")
        bits = "".join("1" if c == "." else "0" for c in row).ljust(padded(w) * 8, "0")
        mask += bytes(int(bits[k:k + 8], 2) for k in range(0, len(bits), 8))
    return header + colours + pixels + mask


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        palette, images = read_map(argv[1])
    except (OSError, MapError) as error:
        print(f"icon_to_ico: {error}", file=sys.stderr)
        return 1
    datas = [image_bytes(palette, w, h, rows) for w, h, rows in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (w, h, _), data in zip(images, datas):
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(argv[2], "wb") as f:
        f.write(out + b"".join(datas))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
