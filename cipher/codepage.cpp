#include "codepage.h"

#include <algorithm>
#include <array>

namespace CodePage {

namespace {

// Codes 128-159; every other code is the character of the same number.
constexpr std::array<char32_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

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

} // namespace CodePage
