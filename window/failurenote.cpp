// SPDX-License-Identifier: GPL-3.0-or-later
#include "failurenote.h"

#include "boxtext.h"

#include <QColor>
#include <QList>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>

namespace FailureNote {

namespace {

// What the unit is or lacks; the command line says the same in English.
const char *reason(ModCodeur::DecodeFailure failure)
{
    using ModCodeur::DecodeFailure;
    switch (failure) {
    case DecodeFailure::None:
        return "aucune erreur";
    case DecodeFailure::EmptyCode:
        return "manquante, le texte codé est vide";
    case DecodeFailure::StartOutsideKey:
        return "décalage de départ hors de la clé";
    case DecodeFailure::NoGroup:
        return "manquante, le texte codé ne contient aucun groupe";
    case DecodeFailure::EscapeCutShort:
        return "manquante, groupe d'échappement tronqué";
    case DecodeFailure::BelowKey:
        return "plus petite que le code de son caractère de clé";
    case DecodeFailure::EscapeAbove255:
        return "valeur d'échappement au-delà de 255";
    }
    return "erreur inconnue";
}

} // namespace

QString why(ModCodeur::DecodeFailure failure, std::size_t unit)
{
    return QStringLiteral("Le texte codé ne correspond pas à la clé. Unité %1 : %2.")
        .arg(unit)
        .arg(QString::fromUtf8(reason(failure)));
}

QString fitsNow()
{
    return QStringLiteral("Le texte codé correspond maintenant à la clé : « Erreur » vient d'une "
                          "clé précédente, et toute modification du texte codé le décode.");
}

QString keyTooShort()
{
    return QStringLiteral("La clé a moins de 2 caractères : rien n'est converti.");
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
