// SPDX-License-Identifier: GPL-3.0-or-later
#include "failurenote.h"

#include "boxtext.h"
#include "failuretext.h"

#include <QColor>
#include <QList>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>

namespace FailureNote {

QString why(ModCodeur::DecodeFailure failure, std::size_t unit)
{
    return QString::fromStdString(FailureText::why(failure, unit));
}

QString fitsNow()
{
    return QString::fromStdString(FailureText::fitsNow());
}

QString keyTooShort()
{
    return QString::fromStdString(FailureText::keyTooShort());
}

void mark(QPlainTextEdit *box, std::string_view codes, std::size_t unit)
{
    if (codes.empty()) {
        unmark(box);
        return;
    }
    const std::size_t marked = std::min(unit, codes.size() - 1);
    const int at = static_cast<int>(BoxText::displayIndex(codes, marked, BoxText::Lines::Multi));
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(box->document());
    selection.cursor.setPosition(at);
    selection.cursor.setPosition(at + 1, QTextCursor::KeepAnchor);
    selection.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    selection.format.setUnderlineColor(Qt::red);
    box->setExtraSelections({selection});
}

void unmark(QPlainTextEdit *box)
{
    if (!box->extraSelections().isEmpty())
        box->setExtraSelections({});
}

} // namespace FailureNote
