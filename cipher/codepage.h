// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The single-byte code page of texts: Windows-1252, its five undefined positions
// (UndefinedCodes) taken as the C1 controls of the same numbers, so that code and character
// are an exact inverse pair for all 256 codes.
//
// Also the conversion between UTF-8 and codes, for programs that exchange texts as UTF-8.

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace CodePage {

// The codes Windows-1252 leaves undefined, in ascending order; each is taken as the C1
// control of its own number.
inline constexpr std::array<unsigned char, 5> UndefinedCodes = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

[[nodiscard]] constexpr bool isUndefined(unsigned char code)
{
    return std::find(UndefinedCodes.begin(), UndefinedCodes.end(), code) != UndefinedCodes.end();
}

[[nodiscard]] char32_t toUnicode(unsigned char code);

// The code of CHARACTER, or nothing when the code page cannot represent it.
[[nodiscard]] std::optional<unsigned char> fromUnicode(char32_t character);

enum class Utf8ErrorKind {
    UnexpectedByte,  // a continuation byte, or 0xF8-0xFF, where a character should start
    Incomplete,      // a sequence cut short by the end or by a byte that does not continue it
    Overlong,        // a character written with more bytes than it needs
    Surrogate,       // U+D800-U+DFFF, which UTF-8 never carries
    AboveMaximum,    // a value above U+10FFFF
    Unrepresentable, // well-formed, but the code page has no code for the character
};

// Why and where a UTF-8 text could not be read as codes.
struct Utf8Error {
    Utf8ErrorKind kind = Utf8ErrorKind::UnexpectedByte;
    std::size_t byteOffset = 0;     // 0-based offset of the sequence's first byte
    std::size_t characterIndex = 0; // 0-based: how many characters were read before it
    // The offending byte for UnexpectedByte and Incomplete (the sequence's first byte);
    // otherwise the character the sequence stands for.
    char32_t value = 0;

    friend bool operator==(const Utf8Error &, const Utf8Error &) = default;
};

// A short lower-case English description of KIND, for messages.
[[nodiscard]] std::string_view describe(Utf8ErrorKind kind);

// Replaces the UTF-8 TEXT by its codes, one per character, in place (never longer). On
// failure TEXT holds unspecified bytes and the error says what was found where.
[[nodiscard]] std::optional<Utf8Error> fromUtf8InPlace(std::string &text);
// The same for the SIZE bytes at TEXT; SIZE becomes the count of codes.
[[nodiscard]] std::optional<Utf8Error> fromUtf8InPlace(char *text, std::size_t &size);

// Appends the characters of the codes TEXT to UTF8, in UTF-8, within its capacity when it
// has room.
void appendUtf8(std::string_view text, std::string &utf8);

// Writes the characters of the codes TEXT in UTF-8 at OUT, which has room for three bytes a
// code and three more, and gives their end.
char *writeUtf8(std::string_view text, char *out);

} // namespace CodePage
