#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""xpm_to_ico.py IN.xpm OUT.ico: writes the icon IN as a Windows icon of the same size, a
16-colour image with a transparency mask, as a program file's icon resource holds it.

Used where the icon tool, a program of this build, cannot run: when building for Windows on
another system. Reads the XPM subset the program's icon uses: one character per pixel,
colours given as "c #RRGGBB" or "c None"."""

import re
import struct
import sys


def read_xpm(path):
    """The XPM image at PATH as its width, height, palette and rows of colour indexes (None
    for a transparent pixel)."""
    strings = re.findall(r'"([^"]*)"', open(path, encoding="ascii").read())
    width, height, count, per_pixel = (int(n) for n in strings[0].split()[:4])
    if per_pixel != 1:
        sys.exit(f"{path}: {per_pixel} characters per pixel, only 1 is read")
    palette, index_of = [], {}
    for line in strings[1:1 + count]:
        key, fields = line[0], line[1:].split()
        colour = fields[fields.index("c") + 1]
        if colour.lower() == "none":
            index_of[key] = None
            continue
        if not re.fullmatch(r"#[0-9A-Fa-f]{6}", colour):
            sys.exit(f"{path}: colour {colour!r} is not #RRGGBB")
        index_of[key] = len(palette)
        palette.append(tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5)))
    if len(palette) > 16:
        sys.exit(f"{path}: {len(palette)} colours, a 16-colour icon holds 16")
    rows = [[index_of[c] for c in row] for row in strings[1 + count:1 + count + height]]
    if len(rows) != height or any(len(row) != width for row in rows):
        sys.exit(f"{path}: the pixel rows do not match {width} x {height}")
    return width, height, palette, rows


def ico(width, height, palette, rows):
    """The ICO file holding one 4-bit image: the colours, then the mask, bottom row first,
    each row padded to 4 bytes."""
    def padded(row_bytes):
        return row_bytes + b"\0" * (-len(row_bytes) % 4)

    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    colours += b"\0" * (4 * (16 - len(palette)))
    pixels = mask = b""
    for row in reversed(rows):
        nibbles = [index or 0 for index in row] + [0] * (width % 2)
        pixels += padded(bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, width, 2)))
        bits = [1 if index is None else 0 for index in row] + [0] * (-width % 8)
        mask += padded(bytes(int("".join(map(str, bits[i:i + 8])), 2)
                             for i in range(0, len(bits), 8)))
    # The bitmap header counts the colour rows and the mask rows together.
    header = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, 4, 0,
                         len(pixels) + len(mask), 0, 0, 16, 0)
    image = header + colours + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", width % 256, height % 256, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + image


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: xpm_to_ico.py IN.xpm OUT.ico")
    with open(sys.argv[2], "wb") as out:
        out.write(ico(*read_xpm(sys.argv[1])))


if __name__ == "__main__":
    main()
