// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The font of the text boxes: a monospace face shipped inside the program that draws every
// character a box can show, control marks included, so that nothing falls back to another
// font and every machine shows the same.

#include <QFont>
#include <QString>

namespace BoxFont {

// The family of the shipped font, loaded into the application on first use; empty when it
// could not be loaded.
[[nodiscard]] QString family();

// BASE in the shipped font, a little larger, laid out without shaping: Windows-1252 has no
// combining marks and the font no ligatures, so shaping would give the same glyphs at
// several times the cost.
[[nodiscard]] QFont font(const QFont &base);

} // namespace BoxFont
