// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A text box's document holds a line longer than RowLength characters as several blocks,
// rows of at most RowLength characters, each row after the first marked as continuing the
// line. QPlainTextEdit lays out, shapes and paints a block whole, and only the blocks on
// screen: a code text of millions of characters on one line then costs what its visible
// rows cost. The row breaks are the document's alone: the box's text, what it copies and
// where its marks go are read as if each line were one block.

#include <QString>
#include <QStringView>

#include <cstddef>

class QTextBlock;
class QTextCursor;
class QTextDocument;

namespace Rows {

// Longer than any line typed by hand, so that only long texts ever show rows; short enough
// that the few rows on screen are laid out in about a millisecond.
inline constexpr int RowLength = 2048;
// Edits let a row grow to this length before it is split again, so that typing at the end of
// a row stays one step to undo, as elsewhere.
inline constexpr int LongestRow = 2 * RowLength;

// Whether BLOCK is a row that continues the line of the block before it.
[[nodiscard]] bool continuesLine(const QTextBlock &block);

// Inserts TEXT (display form, '\n' between lines) at CURSOR, its long lines in rows.
void insert(QTextCursor &cursor, QStringView text);

// Replaces DOC's whole text by TEXT (display form, '\n' between lines), in rows.
void setText(QTextDocument *doc, const QString &text);

// Replaces what lies between FROM and TO in the display form of DOC's text by TEXT, as
// setText() would leave it; the rows around it keep their layout.
void replace(QTextDocument *doc, std::size_t from, std::size_t to, QStringView text);

// The display form of DOC's positions FROM to TO, '\n' between lines and nothing between the
// rows of a line.
[[nodiscard]] QString text(const QTextDocument *doc, int from, int to);
// The same for the whole text, with U+2029 between lines, which the display form reads as
// '\n'.
[[nodiscard]] QString text(const QTextDocument *doc);

// The document position of INDEX in the display form of DOC's text.
[[nodiscard]] int position(const QTextDocument *doc, std::size_t index);

// Whether a row break lies inside DOC's positions FROM to TO.
[[nodiscard]] bool breaksRows(const QTextDocument *doc, int from, int to);

// The changes below go through CURSOR, within the edit block its caller opened.
// Makes every block break inside positions FROM to TO a line break: one the user typed or
// composed there took the format of the block it split, which may be a row.
void enterLines(QTextCursor &cursor, int from, int to);
// Whether a row inside DOC's positions FROM to TO is longer than LongestRow, or empty.
[[nodiscard]] bool unsettled(const QTextDocument *doc, int from, int to);
// After an edit of positions FROM to TO: a row grown past LongestRow is split, a row left
// empty goes.
void settle(QTextCursor &cursor, int from, int to);

} // namespace Rows
