// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Why a code text does not fit the key, told in French with the unit it concerns (0-based,
// as the command line counts), and that unit marked in the code box as spell checkers
// mark a word.

#include "armor.h"
#include "modcodeur.h"

#include <QString>

#include <cstddef>
#include <string_view>

class QPlainTextEdit;

namespace FailureNote {

// "Le texte codé ne correspond pas à la clé. Unité 2 : ..." for FAILURE at UNIT.
[[nodiscard]] QString why(ModCodeur::DecodeFailure failure, std::size_t unit);

// For an "Erreur" that stays after a key edit although the code text now fits the key.
[[nodiscard]] QString fitsNow();
// For an "Erreur" that stays while the key is too short for any conversion.
[[nodiscard]] QString keyTooShort();
// For an armored text pasted or dropped damaged (FailureText::armorDamaged()).
[[nodiscard]] QString armorDamaged(Armor::Problem problem, std::size_t line);

// Underlines, red and wavy, the character of BOX that shows unit UNIT of its CODES, or its
// last character when the unit is missing (the code text ended too soon). Neither the text,
// its undo history nor the cursor changes.
void mark(QPlainTextEdit *box, std::string_view codes, std::size_t unit);
// Takes the mark away.
void unmark(QPlainTextEdit *box);

} // namespace FailureNote
