#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""xpm_to_png.py IN.xpm OUT.png SIZE: the program's icon as a SIZE x SIZE PNG, each pixel
enlarged as a square block (the icon is pixel art), for the page and its web app manifest."""

import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools", "icons"))
from xpm_to_ico import read_xpm  # noqa: E402


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png(size, width, height, palette, rows):
    lines = bytearray()
    for y in range(size):
        row = rows[y * height // size]
        lines.append(0)
        for x in range(size):
            index = row[x * width // size]
            lines += bytes((0, 0, 0, 0)) if index is None else bytes((*palette[index], 255))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(lines), 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: xpm_to_png.py IN.xpm OUT.png SIZE")
    os.makedirs(os.path.dirname(os.path.abspath(sys.argv[2])), exist_ok=True)
    with open(sys.argv[2], "wb") as out:
        out.write(png(int(sys.argv[3]), *read_xpm(sys.argv[1])))


if __name__ == "__main__":
    main()
