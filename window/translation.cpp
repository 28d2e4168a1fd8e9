// SPDX-License-Identifier: GPL-3.0-or-later
#include "translation.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translation {

std::unique_ptr<QTranslator> qtTexts(const QLocale &locale)
{
    auto translator = std::make_unique<QTranslator>();
    // qtbase holds the texts of the widgets the window uses; "qt" would load every module's.
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    return translator;
}

} // namespace Translation
