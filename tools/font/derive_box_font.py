#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Derives the window's box font from a monospace TrueType font.

    derive_box_font.py SOURCE.ttf DIGITS.ttf OUTPUT.ttf
    derive_box_font.py --code-page    (prints its copy of the code page, for a test)

Keeps the characters of Windows-1252 and gives every code that has no printable character
(controls 0-31 and 127, the undefined 129, 141, 143, 144 and 157, and the soft hyphen 173,
which Qt lays out as nothing) a mark of its own, as wide as two characters: its two hex
digits side by side, as tall as the text's digits and on the same baseline, in a field that
sets them apart from text. The digits come from DIGITS (the bold face of the same family),
a little narrowed. A control code's field is a rule above and below the digits; the escape
marker 1 is a solid block with the digits cut out of it, the darkest thing in a line, so
that it stands out among the others; the undefined codes and the soft hyphen have dashed
rules. The
marks are mapped from the characters the boxes show for those codes: the Control Pictures
U+2400-U+241F and U+2421, for the undefined codes the next five symbols, U+2422-U+2426, and
U+2010 for the soft hyphen.

Ligatures, kerning and hinting are left out: the boxes show every code in cells of its
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

# Characters of Windows-1252 codes 128-159 (the five undefined ones are the C1 controls),
# and the undefined codes: a copy of cipher/codepage (this script runs before any of the
# program is built); codepage_test checks that the two agree.
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


def rectangle(pen, x0, y0, x1, y1, clockwise=True):
    """One rectangular contour; clockwise fills, counter-clockwise cuts a hole (TrueType)."""
    points = [(x0, y0), (x0, y1), (x1, y1), (x1, y0)]
    if not clockwise:
        points.reverse()
    pen.moveTo(points[0])
    for point in points[1:]:
        pen.lineTo(point)
    pen.closePath()


def dashes(start, end, dash, ends_solid):
    """The (from, to) spans of a dashed line from START to END, dashes about DASH long and
    gaps four fifths of that; the line begins and ends with a dash when ENDS_SOLID, with a
    gap otherwise."""
    length = end - start
    count = max(1, round((length + (0.8 * dash if ends_solid else -0.8 * dash)) / (1.8 * dash)))
    gaps = count - 1 if ends_solid else count + 1
    gap = (length - count * dash) / gaps
    first = start if ends_solid else start + gap
    return [(first + i * (dash + gap), first + i * (dash + gap) + dash) for i in range(count)]


class Mark:
    """The geometry of a mark, in font units: a field two cells wide around two digits side by
    side, as tall as the text's digits and standing on the baseline as they do."""

    def __init__(self, font, digit_bottom, digit_top):
        self.advance = 2 * font["hmtx"]["zero"][0]
        self.stroke = self.advance * 7 // 120
        # A gap between neighbouring marks, so that a run of them reads as separate fields.
        self.left = self.advance // 60
        self.right = self.advance - self.left
        # Clear room between the rules and the digits: touching, they blur into one shape.
        pad = self.advance // 15
        self.bottom = digit_bottom - pad - self.stroke
        self.top = digit_top + pad + self.stroke
        # The field has no sides, which would leave the digits too narrow to tell 0 from D
        # or 8 from B: each digit keeps nearly a cell of its own.
        side = self.advance // 30
        self.between = self.advance // 12
        self.digit_left = self.left + side
        self.digit_width = (self.right - self.left - 2 * side - self.between) // 2


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


def draw_field(pen, mark, style):
    """The field of a mark: a solid block, or rules above and below the digits, whole or
    dashed."""
    s = mark.stroke
    if style == "block":
        rectangle(pen, mark.left, mark.bottom, mark.right, mark.top)
        return
    spans = [(mark.left, mark.right)]
    if style == "dashed":
        spans = dashes(mark.left, mark.right, 2 * s, ends_solid=True)
    for x0, x1 in spans:
        rectangle(pen, x0, mark.bottom, x1, mark.bottom + s)
        rectangle(pen, x0, mark.top - s, x1, mark.top)


def field_style(code):
    if code == ESCAPE_MARKER:
        return "block"
    if code in UNDEFINED or code == SOFT_HYPHEN:
        return "dashed"
    return "rules"


def draw_mark(pen, digit_font, mark, digits, scale_y, code):
    glyph_set = digit_font.getGlyphSet()
    glyf = digit_font["glyf"]
    style = field_style(code)
    draw_field(pen, mark, style)

    # The two digits side by side, each centred in its column, standing on the baseline as
    # the text's digits do; the widest glyph (A) may reach a little beyond its column.
    usual_width = max(glyf[digits[d]].xMax - glyf[digits[d]].xMin for d in "0123456789BCDEF")
    scale_x = mark.digit_width / usual_width
    for column, digit in enumerate(f"{code:02X}"):
        name = digits[digit]
        g = glyf[name]
        width = (g.xMax - g.xMin) * scale_x
        left = mark.digit_left + column * (mark.digit_width + mark.between)
        dx = left + (mark.digit_width - width) / 2 - g.xMin * scale_x
        # Reversed, a digit's contours cut it out of the block.
        target = ReverseContourPen(pen) if style == "block" else pen
        draw_digit(glyph_set, name, TransformPen(target, (scale_x, 0, 0, scale_y, dx, 0)))


def zero(font):
    """The digit 0, whose overshoots reach below and above the other digits."""
    return font["glyf"][font.getBestCmap()[ord("0")]]


def add_marks(font, digit_font):
    text_zero, mark_zero = zero(font), zero(digit_font)
    # The marks' digits as tall as the text's, whichever face they come from.
    scale_y = (text_zero.yMax - text_zero.yMin) / (mark_zero.yMax - mark_zero.yMin)
    mark = Mark(font, text_zero.yMin, text_zero.yMax)
    digits = digit_names(digit_font)
    glyf = font["glyf"]
    hmtx = font["hmtx"]
    order = font.getGlyphOrder()
    mapping = {}
    for code in marked_codes():
        name = f"ctmark{code:02X}"
        pen = TTGlyphPen(font.getGlyphSet())
        draw_mark(pen, digit_font, mark, digits, scale_y, code)
        glyph = pen.glyph()
        glyph.recalcBounds(glyf)
        glyf[name] = glyph
        hmtx[name] = (mark.advance, glyph.xMin)
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
    if sys.argv[1:] == ["--code-page"]:
        print(" ".join(map(str, UNDEFINED)))
        print(" ".join(map(str, CP1252_HIGH)))
        sys.exit()
    if len(sys.argv) != 4:
        sys.exit("usage: derive_box_font.py SOURCE.ttf DIGITS.ttf OUTPUT.ttf")
    derive(sys.argv[1], sys.argv[2], sys.argv[3])
