#pragma once

// Functions shared by the window's Qt tests.

#include "codepage.h"

#include <QByteArray>
#include <QString>
#include <QTest>

#include <string>

// CODES in hex, for failure messages.
inline QByteArray printable(const std::string &codes)
{
    return QByteArray::fromStdString(codes).toHex(' ');
}

// The clipboard form of CODES, built from the code page alone: each code its character.
inline QString rawReference(const std::string &codes)
{
    QString raw;
    for (const char code : codes)
        raw.append(
            QChar(static_cast<char16_t>(CodePage::toUnicode(static_cast<unsigned char>(code)))));
    return raw;
}

// Types CHARACTER as one key press carrying it as text, as a keyboard layout would.
inline void typeCharacter(QWidget *widget, char32_t character)
{
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString::fromUcs4(&character, 1),
                        Qt::NoModifier);
}
