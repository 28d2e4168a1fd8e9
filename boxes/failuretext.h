// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The French texts that say why a conversion failed, as UTF-8 and without any toolkit, so
// that every front end shows the same words.

#include "armor.h"
#include "modcodeur.h"

#include <cstddef>
#include <string>

namespace FailureText {

// "Le texte codé ne correspond pas à la clé. Unité 2 : ..." for FAILURE at UNIT (0-based,
// as the command line counts).
[[nodiscard]] std::string why(ModCodeur::DecodeFailure failure, std::size_t unit);

// For an "Erreur" that stays after a key edit although the code text now fits the key.
[[nodiscard]] std::string fitsNow();
// For an "Erreur" that stays while the key is too short for any conversion.
[[nodiscard]] std::string keyTooShort();

// For a text pasted or dropped that would take a box past LIMIT codes, and entered nothing.
[[nodiscard]] std::string tooLong(std::size_t limit);

// "Le texte armé est abîmé à la ligne 3 : ..." for an armored text that failed to read with
// PROBLEM at LINE (1-based, the BEGIN line being 1), and whose code text was not entered.
[[nodiscard]] std::string armorDamaged(Armor::Problem problem, std::size_t line);

} // namespace FailureText
