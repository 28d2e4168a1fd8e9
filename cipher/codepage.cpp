#include "codepage.h"

#include <algorithm>
#include <array>

namespace CodePage {

namespace {

// Codes 128-159; every other code is the character of the same number.
constexpr std::array<char32_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t LargestCharacter = 0x10FFFF;

std::size_t utf8Length(char32_t character)
{
    return character < 0x80 ? 1 : character < 0x800 ? 2 : character < 0x10000 ? 3 : 4;
}

// Writes CHARACTER (below U+10000, as every code's character is) ending just before END;
// gives the new end.
char *putUtf8Backwards(char32_t character, char *end)
{
    const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
    if (character < 0x80) {
        *--end = byte(character);
    } else if (character < 0x800) {
        *--end = byte(0x80 | (character & 0x3F));
        *--end = byte(0xC0 | (character >> 6));
    } else {
        *--end = byte(0x80 | (character & 0x3F));
        *--end = byte(0x80 | ((character >> 6) & 0x3F));
        *--end = byte(0xE0 | (character >> 12));
    }
    return end;
}

} // namespace

char32_t toUnicode(unsigned char code)
{
    return code >= 0x80 && code < 0xA0 ? HighControls[code - 0x80] : char32_t{code};
}

std::optional<unsigned char> fromUnicode(char32_t character)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return static_cast<unsigned char>(character);
    const auto found = std::find(HighControls.begin(), HighControls.end(), character);
    if (found == HighControls.end())
        return std::nullopt;
    return static_cast<unsigned char>(0x80 + (found - HighControls.begin()));
}

std::string_view describe(Utf8ErrorKind kind)
{
    switch (kind) {
    case Utf8ErrorKind::UnexpectedByte:
        return "unexpected byte";
    case Utf8ErrorKind::Incomplete:
        return "incomplete sequence";
    case Utf8ErrorKind::Overlong:
        return "overlong encoding";
    case Utf8ErrorKind::Surrogate:
        return "encoded surrogate";
    case Utf8ErrorKind::AboveMaximum:
        return "value above U+10FFFF";
    case Utf8ErrorKind::Unrepresentable:
        return "character not in Windows-1252";
    }
    return "unknown error";
}

std::optional<Utf8Error> fromUtf8InPlace(std::string &text)
{
    const std::size_t n = text.size();
    const auto byteAt = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t read = 0;
    std::size_t written = 0; // also the number of characters read so far
    while (read < n) {
        const unsigned char lead = byteAt(read);
        if (lead < 0x80) {
            text[written++] = static_cast<char>(lead);
            ++read;
            continue;
        }
        const auto fail = [&](Utf8ErrorKind kind, char32_t value) {
            return Utf8Error{kind, read, written, value};
        };
        std::size_t length = 0;
        char32_t character = 0;
        if (lead < 0xC0 || lead >= 0xF8)
            return fail(Utf8ErrorKind::UnexpectedByte, lead);
        if (lead < 0xE0) {
            length = 2;
            character = lead & 0x1F;
        } else if (lead < 0xF0) {
            length = 3;
            character = lead & 0x0F;
        } else {
            length = 4;
            character = lead & 0x07;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (read + k >= n || (byteAt(read + k) & 0xC0) != 0x80)
                return fail(Utf8ErrorKind::Incomplete, lead);
            character = (character << 6) | (byteAt(read + k) & 0x3F);
        }
        if (utf8Length(character) != length)
            return fail(Utf8ErrorKind::Overlong, character);
        if (character >= 0xD800 && character <= 0xDFFF)
            return fail(Utf8ErrorKind::Surrogate, character);
        if (character > LargestCharacter)
            return fail(Utf8ErrorKind::AboveMaximum, character);
        const auto code = fromUnicode(character);
        if (!code)
            return fail(Utf8ErrorKind::Unrepresentable, character);
        text[written++] = static_cast<char>(*code);
        read += length;
    }
    text.resize(written);
    return std::nullopt;
}

void toUtf8InPlace(std::string &text)
{
    const std::size_t codes = text.size();
    std::size_t length = 0;
    for (const char c : text)
        length += utf8Length(toUnicode(static_cast<unsigned char>(c)));
    if (length == codes)
        return; // plain ASCII
    // Filling from the back never overwrites a code not yet converted: the end of the
    // output stays at or after the end of the codes still to go.
    text.resize(length);
    char *end = text.data() + length;
    for (std::size_t i = codes; i-- > 0;)
        end = putUtf8Backwards(toUnicode(static_cast<unsigned char>(text[i])), end);
}

FromUtf8Result fromUtf8(std::string_view text)
{
    FromUtf8Result result{std::string(text), std::nullopt};
    result.error = fromUtf8InPlace(result.codes);
    if (result.error)
        result.codes.clear();
    return result;
}

std::string toUtf8(std::string_view codes)
{
    std::string text(codes);
    toUtf8InPlace(text);
    return text;
}

} // namespace CodePage
