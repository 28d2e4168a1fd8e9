// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The display form of texts of codes 0-255, free of any toolkit: which character shows each
// code in a box, which codes are marks, and how a box's characters read back as codes. The
// window's boxes (BoxText) and the browser page both use it; BoxText describes the form.
// Strings are UTF-16, as Qt and JavaScript hold them.

#include <cstddef>
#include <string>
#include <string_view>

namespace DisplayForm {

enum class Lines {
    Single, // a one-line box: CR and LF are pictures like the other control codes
    Multi,  // a multi-line box: CR LF is a line break '\n'
};

// Code that replaces a character the code page cannot represent.
inline constexpr unsigned char Unrepresentable = '?';

// Whether CODE shows as a mark (a picture the box font draws two cells wide) rather than as
// a character of its own; a CR LF line break in a multi-line box is neither.
[[nodiscard]] bool isMark(unsigned char code);

// Writes how a box of LINES shows CODES to OUT, which has room for codes.size() units, and
// gives how many units it wrote.
std::size_t toDisplay(std::string_view codes, Lines lines, char16_t *out);
[[nodiscard]] std::u16string toDisplay(std::string_view codes, Lines lines);
// Where in the display form the code at INDEX is shown: both codes of a CR LF line break are
// the one '\n' there.
[[nodiscard]] std::size_t displayIndex(std::string_view codes, std::size_t index, Lines lines);
// Reads a box's text. In Lines::Multi, '\n' is a line break (CR LF); in Lines::Single it is
// code 10 like any control character.
[[nodiscard]] std::string fromDisplay(std::u16string_view text, Lines lines);

// Writes the raw form of CODES (every code its Windows-1252 character, control codes
// included) to OUT, which has room for codes.size() units.
void toRaw(std::string_view codes, char16_t *out);
[[nodiscard]] std::u16string toRaw(std::string_view codes);
// Reads text from the clipboard or another program: every character is its own code.
[[nodiscard]] std::string fromRaw(std::u16string_view text);

// TEXT entered by a user rewritten as the box shows what it enters (see BoxText::typed).
[[nodiscard]] std::u16string typed(std::u16string_view text, Lines lines);

} // namespace DisplayForm
