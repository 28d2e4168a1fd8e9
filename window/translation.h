// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Qt's own texts (the boxes' context menus, the names of their shortcuts) in the user's
// language. The window's own words are French whatever the language; Qt's would otherwise
// stay English.

#include <memory>

class QLocale;
class QTranslator;

namespace Translation {

// Qt's translation for LOCALE's languages, from the catalogues Qt is installed with (on
// Debian, qt6-translations-l10n); null when there is none, English then standing.
[[nodiscard]] std::unique_ptr<QTranslator> qtTexts(const QLocale &locale);

} // namespace Translation
