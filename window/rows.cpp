// SPDX-License-Identifier: GPL-3.0-or-later
#include "rows.h"

#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace Rows {
namespace {

// The block format's property that marks a row continuing a line. A format, not block user
// data: undo and redo restore it with the blocks they bring back.
constexpr int ContinuesLine = QTextFormat::UserProperty + 1;

QTextBlockFormat rowFormat(bool continues)
{
    QTextBlockFormat format;
    if (continues)
        format.setProperty(ContinuesLine, true);
    return format;
}

} // namespace

bool continuesLine(const QTextBlock &block)
{
    return block.blockFormat().boolProperty(ContinuesLine);
}

void insert(QTextCursor &cursor, QStringView text)
{
    // One insertion, row breaks among the line breaks: line by line, inserting would cost
    // more than the text itself.
    QString rows;
    rows.reserve(text.size() + text.size() / RowLength + 1);
    std::vector<int> continuing; // the new blocks that continue a line, numbered from 1
    int blocks = 0;
    for (qsizetype start = 0;;) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        for (qsizetype at = start;; at += RowLength) {
            rows += text.mid(at, std::min<qsizetype>(RowLength, end - at));
            if (end - at <= RowLength)
                break;
            rows += QChar::ParagraphSeparator;
            continuing.push_back(++blocks);
        }
        if (end == text.size())
            break;
        rows += u'\n';
        ++blocks;
        start = end + 1;
    }
    const int first = cursor.blockNumber();
    // A new block takes the format of the block the insertion split.
    const bool inherited = continuesLine(cursor.block());
    cursor.insertText(rows);
    if (continuing.empty() && !inherited)
        return;
    QTextDocument *doc = cursor.document();
    QTextCursor format(doc);
    auto next = continuing.begin();
    for (int n = 1; n <= blocks; ++n) {
        const bool continues = next != continuing.end() && *next == n;
        next += continues;
        if (continues != inherited) {
            format.setPosition(doc->findBlockByNumber(first + n).position());
            format.setBlockFormat(rowFormat(continues));
        }
    }
}

void setText(QTextDocument *doc, const QString &text)
{
    // As one edit, so that the document's layout hears of it once, after the rows have their
    // formats: laid out earlier, a row would be laid out for every format set.
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.setBlockFormat(rowFormat(false));
    insert(cursor, text);
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undo);
}

void replace(QTextDocument *doc, std::size_t from, std::size_t to, QStringView text)
{
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    const int start = position(doc, from);
    cursor.setPosition(start);
    cursor.setPosition(position(doc, to), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    insert(cursor, text);
    settle(cursor, start, cursor.position());
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undo);
}

QString text(const QTextDocument *doc, int from, int to)
{
    QString out;
    out.reserve(to - from);
    for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        if (block.position() > from && !continuesLine(block))
            out += u'\n';
        const int start = std::max(from - block.position(), 0);
        const int end = std::min(to - block.position(), block.length() - 1);
        if (end > start)
            out += QStringView(block.text()).mid(start, end - start);
    }
    return out;
}

QString text(const QTextDocument *doc)
{
    // The document's raw text in one piece, less its row breaks.
    QString raw = doc->toRawText();
    qsizetype kept = -1;
    qsizetype from = 0;
    for (QTextBlock block = doc->begin().next(); block.isValid(); block = block.next()) {
        if (!continuesLine(block))
            continue;
        const qsizetype rowBreak = block.position() - 1;
        if (kept < 0)
            kept = rowBreak;
        else
            kept += std::copy(raw.cbegin() + from, raw.cbegin() + rowBreak, raw.begin() + kept) -
                    (raw.begin() + kept);
        from = rowBreak + 1;
    }
    if (kept >= 0) {
        kept +=
            std::copy(raw.cbegin() + from, raw.cend(), raw.begin() + kept) - (raw.begin() + kept);
        raw.truncate(kept);
    }
    return raw;
}

int position(const QTextDocument *doc, std::size_t index)
{
    // Each line break is one display character and one document position; a row break is a
    // document position only.
    std::size_t seen = 0;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        if (block.position() > 0 && !continuesLine(block))
            ++seen;
        const auto length = static_cast<std::size_t>(block.length() - 1);
        if (index <= seen + length &&
            (index < seen + length || !block.next().isValid() || !continuesLine(block.next())))
            return block.position() + static_cast<int>(index - seen);
        seen += length;
    }
    return std::max(doc->characterCount() - 1, 0);
}

bool breaksRows(const QTextDocument *doc, int from, int to)
{
    for (QTextBlock block = doc->findBlock(from).next(); block.isValid() && block.position() <= to;
         block = block.next())
        if (continuesLine(block))
            return true;
    return false;
}

void enterLines(QTextCursor &cursor, int from, int to)
{
    const QTextDocument *doc = cursor.document();
    for (QTextBlock block = doc->findBlock(from).next(); block.isValid() && block.position() <= to;
         block = block.next()) {
        if (continuesLine(block)) {
            cursor.setPosition(block.position());
            cursor.setBlockFormat(rowFormat(false));
        }
    }
}

bool unsettled(const QTextDocument *doc, int from, int to)
{
    for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next())
        if (block.length() - 1 > LongestRow || (block.length() == 1 && continuesLine(block)))
            return true;
    return false;
}

void settle(QTextCursor &cursor, int from, int to)
{
    QTextDocument *doc = cursor.document();
    QTextBlock block = doc->findBlock(from);
    while (block.isValid() && block.position() <= to) {
        if (block.length() == 1 && continuesLine(block)) {
            // A row emptied by a deletion goes, its line unchanged.
            const QTextBlock next = block.next();
            cursor.setPosition(block.position());
            cursor.deletePreviousChar();
            to -= 1;
            block = next;
        } else if (block.length() - 1 > LongestRow) {
            // A row grown too long is split; what follows the split is looked at again.
            cursor.setPosition(block.position() + RowLength);
            cursor.insertBlock(rowFormat(true));
            block = cursor.block();
            to = std::max(to + 1, block.position());
        } else {
            block = block.next();
        }
    }
}

} // namespace Rows
