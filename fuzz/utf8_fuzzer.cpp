// SPDX-License-Identifier: GPL-3.0-or-later
// Reads arbitrary bytes as UTF-8 with CodePage::fromUtf8InPlace, the reader of untrusted
// standard input, and checks it against a plain reader a byte at a time: the same codes, or
// the same error at the same place. What it reads must write back as the same bytes, and any
// codes written as UTF-8 must read back as themselves.

#include "codepage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>

namespace {

using CodePage::Utf8Error;
using CodePage::Utf8ErrorKind;

// The codes of TEXT, or its first error, one sequence at a time.
std::variant<std::string, Utf8Error> readPlainly(const std::string &text)
{
    std::string codes;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const auto fail = [&](Utf8ErrorKind kind, char32_t value) {
            return Utf8Error{kind, i, codes.size(), value};
        };
        std::size_t length = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC0 && lead < 0xE0) {
            length = 2;
            least = 0x80;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            least = 0x800;
        } else if (lead >= 0xF0 && lead < 0xF8) {
            length = 4;
            least = 0x10000;
        } else {
            return fail(Utf8ErrorKind::UnexpectedByte, lead);
        }
        // The lead byte keeps 7, 5, 4 or 3 bits of the character.
        char32_t character = lead & (length == 1 ? 0x7F : 0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= text.size())
                return fail(Utf8ErrorKind::Incomplete, lead);
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < 0x80 || next >= 0xC0)
                return fail(Utf8ErrorKind::Incomplete, lead);
            character = character * 64 + (next - 0x80);
        }
        if (character < least)
            return fail(Utf8ErrorKind::Overlong, character);
        if (character >= 0xD800 && character < 0xE000)
            return fail(Utf8ErrorKind::Surrogate, character);
        if (character > 0x10FFFF)
            return fail(Utf8ErrorKind::AboveMaximum, character);
        const std::optional<unsigned char> code = CodePage::fromUnicode(character);
        if (!code)
            return fail(Utf8ErrorKind::Unrepresentable, character);
        codes.push_back(static_cast<char>(*code));
        i += length;
    }
    return codes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);

    std::string text = input;
    const std::optional<Utf8Error> error = CodePage::fromUtf8InPlace(text);
    const auto expected = readPlainly(input);
    if (const auto *plainError = std::get_if<Utf8Error>(&expected)) {
        if (!error || *error != *plainError)
            std::abort();
    } else {
        if (error || text != std::get<std::string>(expected))
            std::abort();
        // Every character has one UTF-8 form: the codes write back as the input.
        std::string again;
        CodePage::appendUtf8(text, again);
        if (again != input)
            std::abort();
    }

    // The input taken as codes: its UTF-8 reads back as itself.
    std::string utf8;
    CodePage::appendUtf8(input, utf8);
    if (CodePage::fromUtf8InPlace(utf8) || utf8 != input)
        std::abort();
    return 0;
}
