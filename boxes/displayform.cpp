// SPDX-License-Identifier: GPL-3.0-or-later
#include "displayform.h"

#include "codepage.h"

#include <algorithm>
#include <array>

namespace DisplayForm {

namespace {

constexpr char32_t FirstPicture = 0x2400; // SYMBOL FOR NULL; code n is 0x2400 + n up to 31
constexpr char32_t DeletePicture = 0x2421;
constexpr unsigned char Cr = 13;
constexpr unsigned char Lf = 10;
constexpr unsigned char Del = 127;
// The undefined codes, shown in their order as the symbols after the DEL picture,
// U+2422-U+2426.
constexpr char32_t FirstUndefinedPicture = DeletePicture + 1;
using CodePage::UndefinedCodes;

constexpr char32_t LineSeparator = 0x2028;
constexpr char32_t ParagraphSeparator = 0x2029;

constexpr bool isSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}
constexpr bool isHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool isLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

char16_t undefinedPicture(unsigned char code)
{
    const auto at =
        std::find(UndefinedCodes.begin(), UndefinedCodes.end(), code) - UndefinedCodes.begin();
    return static_cast<char16_t>(FirstUndefinedPicture + static_cast<char32_t>(at));
}

// Qt lays the soft hyphen out as nothing: it is shown as U+2010 HYPHEN, which the code
// page lacks.
constexpr unsigned char SoftHyphen = 0xAD;
constexpr char32_t SoftHyphenPicture = 0x2010;

char16_t picture(unsigned char code)
{
    if (code == Del)
        return static_cast<char16_t>(DeletePicture);
    if (code < 0x20)
        return static_cast<char16_t>(FirstPicture + code);
    if (code == SoftHyphen)
        return static_cast<char16_t>(SoftHyphenPicture);
    return undefinedPicture(code);
}

// Every character of the code page lies in the BMP, so one code is one UTF-16 unit.
char16_t character(unsigned char code)
{
    return static_cast<char16_t>(CodePage::toUnicode(code));
}

// Whether CODES holds a CR LF line break at I, as a box of LINES shows it.
bool breaksLine(std::string_view codes, std::size_t i, Lines lines)
{
    return lines == Lines::Multi && static_cast<unsigned char>(codes[i]) == Cr &&
           i + 1 < codes.size() && static_cast<unsigned char>(codes[i + 1]) == Lf;
}

// How a box shows each code when it is no part of a line break.
const std::array<char16_t, 256> &shownCodes()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int c = 0; c < 256; ++c) {
            const auto u = static_cast<unsigned char>(c);
            t[u] = isMark(u) ? picture(u) : character(u);
        }
        return t;
    }();
    return table;
}

char16_t shown(unsigned char code)
{
    return shownCodes()[code];
}

// Appends the codes of one character read from a box or the clipboard.
void appendCodes(std::string &out, char32_t c, bool newlineIsBreak)
{
    if (c == ParagraphSeparator || c == LineSeparator || (newlineIsBreak && c == U'\n')) {
        out.push_back(static_cast<char>(Cr));
        out.push_back(static_cast<char>(Lf));
    } else if (c >= FirstPicture && c < FirstPicture + 0x20) {
        out.push_back(static_cast<char>(c - FirstPicture));
    } else if (c == DeletePicture) {
        out.push_back(static_cast<char>(Del));
    } else if (c == SoftHyphenPicture) {
        out.push_back(static_cast<char>(SoftHyphen));
    } else if (c >= FirstUndefinedPicture && c < FirstUndefinedPicture + UndefinedCodes.size()) {
        out.push_back(static_cast<char>(UndefinedCodes[c - FirstUndefinedPicture]));
    } else if (const auto code = CodePage::fromUnicode(c)) {
        out.push_back(static_cast<char>(*code));
    } else {
        out.push_back(static_cast<char>(Unrepresentable));
    }
}

// The code of each character below U+0100 read alone, '\n' as code 10: most of any text,
// read by a look-up.
const std::array<unsigned char, 256> &latinCodes()
{
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        std::string code;
        for (char32_t c = 0; c < 256; ++c) {
            code.clear();
            appendCodes(code, c, false);
            t[c] = static_cast<unsigned char>(code[0]);
        }
        return t;
    }();
    return table;
}

// Reads TEXT code point by code point; a lone surrogate is one unrepresentable character.
std::string readCodes(std::u16string_view text, bool newlineIsBreak)
{
    // Written in place rather than appended, which costs more than the look-up itself: one
    // code per unit, more only for a line break (two).
    std::string out(text.size(), '\0');
    std::size_t used = 0;
    const auto room = [&out, &used](std::size_t more) {
        if (used + more > out.size())
            out.resize(out.size() + out.size() / 8 + more);
    };
    const std::array<unsigned char, 256> &latin = latinCodes();
    const std::size_t n = text.size();
    std::string codes;
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = text[i];
        if (c < 256) {
            room(2);
            if (newlineIsBreak && c == U'\n') {
                out[used++] = static_cast<char>(Cr);
                out[used++] = static_cast<char>(Lf);
            } else {
                out[used++] = static_cast<char>(latin[c]);
            }
            continue;
        }
        if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        codes.clear();
        appendCodes(codes, c, newlineIsBreak);
        room(codes.size());
        for (const char code : codes)
            out[used++] = code;
    }
    out.resize(used);
    return out;
}

} // namespace

bool isMark(unsigned char code)
{
    return code < 0x20 || code == Del || code == SoftHyphen || CodePage::isUndefined(code);
}

std::size_t toDisplay(std::string_view codes, Lines lines, char16_t *out)
{
    const std::array<char16_t, 256> &table = shownCodes();
    std::size_t used = 0;
    const std::size_t n = codes.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto code = static_cast<unsigned char>(codes[i]);
        if (code == Cr && breaksLine(codes, i, lines)) {
            out[used++] = u'\n';
            ++i;
        } else {
            out[used++] = table[code];
        }
    }
    return used;
}

std::u16string toDisplay(std::string_view codes, Lines lines)
{
    std::u16string out(codes.size(), u'\0');
    out.resize(toDisplay(codes, lines, out.data()));
    return out;
}

std::size_t displayIndex(std::string_view codes, std::size_t index, Lines lines)
{
    std::size_t shownAt = 0;
    for (std::size_t i = 0; i < index && i < codes.size(); ++i, ++shownAt) {
        if (breaksLine(codes, i, lines)) {
            if (i + 1 == index)
                break;
            ++i;
        }
    }
    return shownAt;
}

std::string fromDisplay(std::u16string_view text, Lines lines)
{
    return readCodes(text, lines == Lines::Multi);
}

void toRaw(std::string_view codes, char16_t *out)
{
    for (const char code : codes)
        *out++ = character(static_cast<unsigned char>(code));
}

std::u16string toRaw(std::string_view codes)
{
    std::u16string out(codes.size(), u'\0');
    toRaw(codes, out.data());
    return out;
}

std::string fromRaw(std::u16string_view text)
{
    return readCodes(text, false);
}

std::u16string typed(std::u16string_view text, Lines lines)
{
    const bool multi = lines == Lines::Multi;
    std::u16string out;
    out.reserve(text.size());
    std::string codes;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (isSurrogate(c)) {
            // Nothing outside the BMP is representable: one '?' per character.
            if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1]))
                ++i;
            out.push_back(static_cast<char16_t>(Unrepresentable));
            continue;
        }
        if (multi && c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            continue; // the LF makes the line break
        const bool isBreak = c == u'\n' || c == ParagraphSeparator || c == LineSeparator;
        if (multi && isBreak) {
            out.push_back(u'\n');
            continue;
        }
        codes.clear();
        appendCodes(codes, c, false);
        for (const char code : codes)
            out.push_back(shown(static_cast<unsigned char>(code)));
    }
    return out;
}

} // namespace DisplayForm
