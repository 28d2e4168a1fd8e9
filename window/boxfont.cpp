// SPDX-License-Identifier: GPL-3.0-or-later
#include "boxfont.h"

#include <QFontDatabase>
#include <QStringList>

namespace BoxFont {

namespace {

// The boxes' text is a little larger than the window's: a control mark stacks two digits
// in one cell, which at the usual 9 points leaves them five pixels high. Larger, the key
// box's line would no longer fit its height.
constexpr qreal Enlargement = 10.5 / 9;

} // namespace

QString family()
{
    // Loaded once per process: the application's fonts live as long as the application.
    static const QString loaded = [] {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/box.ttf"));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    return loaded;
}

QFont font(const QFont &base)
{
    QFont font = base;
    if (const QString name = family(); !name.isEmpty())
        font.setFamilies({name});
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(base.pointSizeF() * Enlargement);
    font.setStyleStrategy(QFont::PreferNoShaping);
#ifdef Q_OS_WIN
    // Windows' font engines hint fully by default, which rounds every advance to a whole
    // pixel: a two-cell mark would then come out a pixel wider or narrower than two cells
    // of text. Hinted only vertically, advances keep their fractions, as on Linux.
    font.setHintingPreference(QFont::PreferVerticalHinting);
#endif
    return font;
}

} // namespace BoxFont
