#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Derives the window's box font from a monospace TrueType font.

    derive_box_font.py SOURCE.ttf DIGITS.ttf OUTPUT.ttf

Keeps the characters of Windows-1252 and gives every code that has no printable character
(controls 0-31 and 127, the undefined 129, 141, 143, 144 and 157, and the soft hyphen 173,
which Qt lays out as nothing) a mark of its own: its
two hex digits stacked, cut out of a solid block one cell wide, drawn from the digits of
DIGITS (the bold face of the same family: at a box's size its strokes are barely a pixel
wide). The escape marker 1 is the only outlined mark, dark digits in a frame, so that it
stands out among the others. The marks are mapped
from the characters the boxes show for those codes: the Control Pictures U+2400-U+241F
and U+2421, for the undefined codes the next five symbols, U+2422-U+2426, and U+2010 for
the soft hyphen.

Ligatures, kerning and hinting are left out: the boxes show every code in a cell of its
own and lay text out without shaping.
"""

import sys

from fontTools import subset
from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.recordingPen import RecordingPen, replayRecording
from fontTools.pens.reverseContourPen import ReverseContourPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont

FAMILY = "Code Tarvo Mono"
POSTSCRIPT = "CodeTarvoMono-Regular"

# Characters of Windows-1252 codes 128-159 (the five undefined ones are the C1 controls).
CP1252_HIGH = [
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
]
UNDEFINED = [0x81, 0x8D, 0x8F, 0x90, 0x9D]
SOFT_HYPHEN = 0xAD
ESCAPE_MARKER = 1


def shown_character(code):
    """The character a box shows for CODE, as the window's display form has it."""
    if code < 0x20:
        return 0x2400 + code
    if code == 0x7F:
        return 0x2421
    if code in UNDEFINED:
        return 0x2422 + UNDEFINED.index(code)
    if code == SOFT_HYPHEN:
        return 0x2010
    if 0x80 <= code < 0xA0:
        return CP1252_HIGH[code - 0x80]
    return code


def marked_codes():
    return list(range(0x20)) + [0x7F] + UNDEFINED + [SOFT_HYPHEN]


def rectangle(pen, x0, y0, x1, y1, clockwise):
    """One rectangular contour; clockwise fills, counter-clockwise cuts a hole (TrueType)."""
    points = [(x0, y0), (x0, y1), (x1, y1), (x1, y0)]
    if not clockwise:
        points.reverse()
    pen.moveTo(points[0])
    for point in points[1:]:
        pen.lineTo(point)
    pen.closePath()


class Cell:
    """The geometry of a mark in the font's cell, in font units."""

    def __init__(self, font):
        self.advance = font["hmtx"]["zero"][0]
        ascent = font["hhea"].ascent
        descent = font["hhea"].descent  # negative
        # Room above and below, so that marks on consecutive lines never touch.
        margin = (ascent - descent) // 18
        self.left = self.advance // 20
        self.right = self.advance - self.left
        self.bottom = descent + margin
        self.top = ascent - margin
        self.stroke = self.advance // 12


def digit_names(font):
    cmap = font.getBestCmap()
    return {d: cmap[ord(d)] for d in "0123456789ABCDEF"}


def contours(glyph_set, name):
    """The contours of glyph NAME, each as a list of recorded pen operations."""
    recording = RecordingPen()
    glyph_set[name].draw(recording)
    result, current = [], []
    for operation in recording.value:
        current.append(operation)
        if operation[0] in ("closePath", "endPath"):
            result.append(current)
            current = []
    return result


def area(glyph_set, contour):
    pen = BoundsPen(glyph_set)
    replayRecording(contour, pen)
    x0, y0, x1, y1 = pen.bounds
    return (x1 - x0) * (y1 - y0)


def draw_digit(glyph_set, name, pen):
    """Draws digit NAME; a zero loses the dot inside it, which at a mark's size fills the
    counter and reads as an 8."""
    parts = contours(glyph_set, name)
    if name == "zero" and len(parts) == 3:
        parts.remove(min(parts, key=lambda contour: area(glyph_set, contour)))
    for contour in parts:
        replayRecording(contour, pen)


def draw_mark(pen, digit_font, cell, digits, code):
    glyph_set = digit_font.getGlyphSet()
    glyf = digit_font["glyf"]
    outlined = code == ESCAPE_MARKER
    s = cell.stroke
    rectangle(pen, cell.left, cell.bottom, cell.right, cell.top, clockwise=True)
    if outlined:
        rectangle(pen, cell.left + s, cell.bottom + s, cell.right - s, cell.top - s,
                  clockwise=False)

    # Two digits stacked in the frame: the high one above, the low one below.
    inner_left = cell.left + s
    inner_width = cell.right - cell.left - 2 * s
    gap = s // 2
    inner_bottom = cell.bottom + s + gap
    inner_height = cell.top - cell.bottom - 2 * s - 3 * gap
    sample = glyf[digits["0"]]
    digit_width = max(glyf[n].xMax - glyf[n].xMin for n in digits.values())
    digit_height = sample.yMax - sample.yMin
    sx = (inner_width - 2 * gap) / digit_width
    sy = (inner_height / 2) / digit_height
    for row, digit in enumerate(f"{code:02X}"):
        name = digits[digit]
        g = glyf[name]
        width = (g.xMax - g.xMin) * sx
        dx = inner_left + (inner_width - width) / 2 - g.xMin * sx
        y_base = inner_bottom + (1 - row) * (inner_height / 2 + gap)
        dy = y_base - sample.yMin * sy
        # Reversed, a digit's contours cut it out of the block.
        target = pen if outlined else ReverseContourPen(pen)
        draw_digit(glyph_set, name, TransformPen(target, (sx, 0, 0, sy, dx, dy)))


def add_marks(font, digit_font):
    cell = Cell(font)
    digits = digit_names(digit_font)
    glyf = font["glyf"]
    hmtx = font["hmtx"]
    order = font.getGlyphOrder()
    mapping = {}
    for code in marked_codes():
        name = f"ctmark{code:02X}"
        pen = TTGlyphPen(font.getGlyphSet())
        draw_mark(pen, digit_font, cell, digits, code)
        glyph = pen.glyph()
        glyph.recalcBounds(glyf)
        glyf[name] = glyph
        hmtx[name] = (cell.advance, glyph.xMin)
        if name not in order:
            order.append(name)
        mapping[shown_character(code)] = name
    font.setGlyphOrder(order)
    for table in font["cmap"].tables:
        if table.isUnicode():
            table.cmap.update(mapping)


def rename(font):
    name = font["name"]
    copyright_notice = name.getDebugName(0)
    for record in list(name.names):
        if record.nameID in (1, 2, 3, 4, 6, 16, 17, 21, 22):
            name.removeNames(nameID=record.nameID)
    name.setName(copyright_notice + "; control marks added for Code Tarvo", 0, 3, 1, 0x409)
    name.setName(FAMILY, 1, 3, 1, 0x409)
    name.setName("Regular", 2, 3, 1, 0x409)
    name.setName(POSTSCRIPT, 3, 3, 1, 0x409)
    name.setName(FAMILY + " Regular", 4, 3, 1, 0x409)
    name.setName(POSTSCRIPT, 6, 3, 1, 0x409)


def derive(source, digit_source, output):
    font = TTFont(source)
    add_marks(font, TTFont(digit_source))
    options = subset.Options()
    options.layout_features = []
    options.drop_tables += ["GSUB", "GPOS", "GDEF", "DSIG"]
    options.hinting = False
    options.name_IDs = ["*"]
    options.notdef_outline = True
    options.glyph_names = True
    kept = set(range(0x20, 0x7F)) | set(range(0xA0, 0x100)) | set(CP1252_HIGH)
    kept -= set(UNDEFINED) | {SOFT_HYPHEN}
    kept |= {shown_character(code) for code in marked_codes()}
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=sorted(kept))
    subsetter.subset(font)
    rename(font)
    font.save(output)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit("usage: derive_box_font.py SOURCE.ttf DIGITS.ttf OUTPUT.ttf")
    derive(sys.argv[1], sys.argv[2], sys.argv[3])
