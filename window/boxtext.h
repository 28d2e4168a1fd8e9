// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Conversion between texts of codes 0-255 and the strings the window's boxes display or
// the clipboard carries, as Qt strings. The rule is DisplayForm's (displayform.h), which
// the browser page shares: it is the one place where a code becomes a character on screen.
//
// Display form: a code is its Windows-1252 character, except that every control code that
// would be invisible or change the layout is shown as its Unicode Control Picture
// (U+2400 + code for 0-31, U+2421 for 127), and each of the code page's five undefined codes
// (CodePage::UndefinedCodes), whose C1 controls Qt lays out as nothing, as the next five
// symbols of that block, U+2422-U+2426 in that order. The soft hyphen (173), which Qt lays out as
// nothing too, is shown as U+2010 HYPHEN. The box font draws all of these as marks. In a multi-line
// box the pair CR LF is a line break, written '\n' as QPlainTextEdit expects; a lone CR or LF is a
// picture.
//
// Raw form (clipboard): every code is its Windows-1252 character, control codes included.
//
// Reading either form back, a Control Picture (U+2422-U+2426 included) or U+2010 gives its
// code (so typed pictures are codes too), a line or paragraph separator (U+2028, U+2029)
// gives CR LF, and a character the code page cannot represent gives '?'. Every code survives codes
// -> display -> codes and codes -> raw -> codes unchanged.

#include "displayform.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <string>
#include <string_view>

namespace BoxText {

// The rule itself lives in DisplayForm, free of Qt, so that the browser page shares it.
using DisplayForm::isMark;
using DisplayForm::Lines;
using DisplayForm::Unrepresentable;

[[nodiscard]] QString toDisplay(std::string_view codes, Lines lines);
// Where in toDisplay(CODES, LINES) the code at INDEX is shown: both codes of a CR LF line
// break are the one '\n' there.
[[nodiscard]] std::size_t displayIndex(std::string_view codes, std::size_t index, Lines lines);
// Reads a box's text. In Lines::Multi, '\n' is a line break (CR LF); in Lines::Single it is
// code 10 like any control character.
[[nodiscard]] std::string fromDisplay(QStringView text, Lines lines);

[[nodiscard]] QString toRaw(std::string_view codes);
// Reads text from the clipboard or another program: every character is its own code.
[[nodiscard]] std::string fromRaw(QStringView text);

// TEXT entered by a user (typed, composed or dropped) rewritten as the box shows what it
// enters, character by character: a control character as its picture, a line or paragraph
// separator (and CR LF) as a line break, or its CR and LF pictures in a one-line box, a
// character the code page cannot represent as '?'. Pictures are kept: each reads as its
// code, so a CR picture before an LF picture reads as CR LF although it is not shown as a
// line break.
[[nodiscard]] QString typed(QStringView text, Lines lines);

} // namespace BoxText
