// SPDX-License-Identifier: GPL-3.0-or-later
#include "boxtext.h"

#include "codepage.h"

#include <QChar>

#include <algorithm>
#include <array>

namespace BoxText {

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

// How a box shows CODE when it is no part of a line break.
char16_t shown(unsigned char code)
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int c = 0; c < 256; ++c) {
            const auto u = static_cast<unsigned char>(c);
            t[u] = isMark(u) ? picture(u) : character(u);
        }
        return t;
    }();
    return table[code];
}

// Appends the codes of one character read from a box or the clipboard.
void appendCodes(std::string &out, char32_t c, bool newlineIsBreak)
{
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator ||
        (newlineIsBreak && c == U'\n')) {
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

// Reads TEXT code point by code point; a lone surrogate is one unrepresentable character.
std::string readCodes(QStringView text, bool newlineIsBreak)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        appendCodes(out, c, newlineIsBreak);
    }
    return out;
}

} // namespace

bool isMark(unsigned char code)
{
    return code < 0x20 || code == Del || code == SoftHyphen || CodePage::isUndefined(code);
}

QString toDisplay(std::string_view codes, Lines lines)
{
    QString out(static_cast<qsizetype>(codes.size()), Qt::Uninitialized);
    char16_t *d = reinterpret_cast<char16_t *>(out.data());
    qsizetype used = 0;
    const std::size_t n = codes.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (breaksLine(codes, i, lines)) {
            d[used++] = u'\n';
            ++i;
        } else {
            d[used++] = shown(static_cast<unsigned char>(codes[i]));
        }
    }
    out.truncate(used);
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

std::string fromDisplay(QStringView text, Lines lines)
{
    return readCodes(text, lines == Lines::Multi);
}

QString toRaw(std::string_view codes)
{
    QString out(static_cast<qsizetype>(codes.size()), Qt::Uninitialized);
    char16_t *d = reinterpret_cast<char16_t *>(out.data());
    for (const char code : codes)
        *d++ = character(static_cast<unsigned char>(code));
    return out;
}

std::string fromRaw(QStringView text)
{
    return readCodes(text, false);
}

QString typed(QStringView text, Lines lines)
{
    const bool multi = lines == Lines::Multi;
    QString out;
    out.reserve(text.size());
    std::string codes;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isSurrogate(c)) {
            // Nothing outside the BMP is representable: one '?' per character.
            if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate())
                ++i;
            out.append(QChar(Unrepresentable));
            continue;
        }
        if (multi && c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            continue; // the LF makes the line break
        const bool isBreak =
            c == u'\n' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
        if (multi && isBreak) {
            out.append(u'\n');
            continue;
        }
        codes.clear();
        appendCodes(codes, c, false);
        for (const char code : codes)
            out.append(QChar(shown(static_cast<unsigned char>(code))));
    }
    return out;
}

} // namespace BoxText
