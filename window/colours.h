// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's colours: the desktop colour as background, and label text readable on it.

#include <QColor>

namespace Colours {

// The classic default desktop colour, used where the platform reports none.
inline const QColor DefaultDesktop{0, 128, 128};

// The desktop colour of the platform (system colour 1 on Windows), or DefaultDesktop.
[[nodiscard]] QColor desktop();

// Contrast ratio (1 to 21) between two opaque colours, by relative luminance in sRGB.
[[nodiscard]] double contrastRatio(const QColor &a, const QColor &b);

// Black or white, whichever contrasts more with BACKGROUND; at least 4.58:1 for any colour.
[[nodiscard]] QColor textOn(const QColor &background);

} // namespace Colours
