// SPDX-License-Identifier: GPL-3.0-or-later
#include "codepage.h"

#include "vectorclones.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace CodePage {

namespace {

// The characters of codes 128-159, mostly printable; every other code is the character of the
// same number.
constexpr std::array<char32_t, 32> Characters128To159 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The table holds the undefined codes' controls where UndefinedCodes says they are.
static_assert([] {
    for (unsigned k = 0; k < Characters128To159.size(); ++k) {
        const bool control = Characters128To159[k] == 0x80 + k;
        if (isUndefined(static_cast<unsigned char>(0x80 + k)) != control)
            return false;
    }
    return true;
}());

constexpr char32_t LargestCharacter = 0x10FFFF;

constexpr char32_t characterOf(unsigned char code)
{
    return code >= 0x80 && code < 0xA0 ? Characters128To159[code - 0x80] : char32_t{code};
}

// The code of each character below U+2200, where all of them lie; 0 for none but U+0000.
constexpr std::size_t MappedBelow = 0x2200;
constexpr auto CodesOfCharacters = [] {
    std::array<unsigned char, MappedBelow> codes{};
    for (unsigned code = 1; code < 256; ++code)
        codes[characterOf(static_cast<unsigned char>(code))] = static_cast<unsigned char>(code);
    return codes;
}();

// How many bytes the UTF-8 sequence a byte starts takes, when it may stand for a code: 1 to 3;
// 0 for continuation bytes, the overlong leads 0xC0 and 0xC1, and the leads of four bytes.
constexpr auto SequenceLengths = [] {
    std::array<unsigned char, 256> lengths{};
    for (unsigned byte = 0; byte < 256; ++byte)
        lengths[byte] = byte < 0x80                   ? 1
                        : byte >= 0xC2 && byte < 0xE0 ? 2
                        : byte >= 0xE0 && byte < 0xF0 ? 3
                                                      : 0;
    return lengths;
}();

constexpr std::size_t utf8Length(char32_t character)
{
    return character < 0x80 ? 1 : character < 0x800 ? 2 : character < 0x10000 ? 3 : 4;
}

// One code's character in UTF-8: its bytes, first byte first, padded to four so that a
// copy of all four is one store, and how many of them count.
struct Utf8Bytes {
    std::array<char, 4> bytes{};
    std::uint32_t length = 0;
};

constexpr std::array<Utf8Bytes, 256> makeUtf8Table()
{
    std::array<Utf8Bytes, 256> table{};
    for (std::size_t code = 0; code < table.size(); ++code) {
        const char32_t c = characterOf(static_cast<unsigned char>(code));
        const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
        Utf8Bytes &entry = table[code];
        entry.length = static_cast<std::uint32_t>(utf8Length(c));
        if (entry.length == 1) {
            entry.bytes[0] = byte(c);
        } else if (entry.length == 2) {
            entry.bytes[0] = byte(0xC0 | (c >> 6));
            entry.bytes[1] = byte(0x80 | (c & 0x3F));
        } else { // every code's character is below U+10000
            entry.bytes[0] = byte(0xE0 | (c >> 12));
            entry.bytes[1] = byte(0x80 | ((c >> 6) & 0x3F));
            entry.bytes[2] = byte(0x80 | (c & 0x3F));
        }
    }
    return table;
}

constexpr std::array<Utf8Bytes, 256> Utf8Table = makeUtf8Table();

// Bit K set when code 128 + K takes three bytes in UTF-8 (all codes 160-255 take two).
constexpr std::uint32_t makeThreeByteMask()
{
    std::uint32_t mask = 0;
    for (unsigned k = 0; k < 32; ++k)
        if (Utf8Table[0x80 + k].length == 3)
            mask |= std::uint32_t{1} << k;
    return mask;
}

constexpr std::uint32_t ThreeByteMask = makeThreeByteMask();

// The high bit of each of eight bytes: a word of ASCII has none of them set.
constexpr std::uint64_t HighBits = 0x8080808080808080;

std::uint64_t load8(const char *at)
{
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return word;
}

void store8(char *at, std::uint64_t word)
{
    std::memcpy(at, &word, sizeof word);
}

// How many more bytes the UTF-8 of CODES takes than CODES: one for each code from 128
// on, and one more for each that takes three. Kept free of branches and table lookups so
// that the compiler can vectorise it; built for AVX2 and AVX-512 too, since its shift by a
// different amount in each lane needs AVX2 to be vectorised.
CODETARVO_VECTOR_CLONES std::size_t extraUtf8Bytes(std::string_view codes)
{
    std::size_t extra = 0;
    constexpr std::size_t Block = 1 << 16; // a 32-bit sum of at most 2 per code cannot overflow
    for (std::size_t start = 0; start < codes.size(); start += Block) {
        const std::size_t end = std::min(codes.size(), start + Block);
        std::uint32_t sum = 0;
        for (std::size_t i = start; i < end; ++i) {
            const std::uint32_t code = static_cast<unsigned char>(codes[i]);
            const std::uint32_t offset = code ^ 0x80; // 0-31 for codes 128-159
            sum += (code >> 7) + ((offset < 32) & (ThreeByteMask >> (offset & 31)));
        }
        extra += sum;
    }
    return extra;
}

// Reads the characters in windows of 64 bytes while each has a code: the lead bytes of a window
// (all but the continuation bytes 0x80-0xBF) are found at once, and each character is read from
// its lead and the next lead's place, without waiting for the one before, so that the random
// mix of lengths in a code text costs no branch and no chain of loads. Writes the codes from
// TEXT[WRITTEN] on and gives where it stopped: before a character it cannot read, which the
// careful way then names, or near the end.
std::size_t readWindows(char *text, std::size_t n, std::size_t read, std::size_t &written)
{
    constexpr std::size_t Width = 64;
    // Two bytes past a window are read for its last character.
    while (n - read >= Width + 2) {
        const auto *at = reinterpret_cast<const unsigned char *>(text + read);
        std::uint64_t leads = 0;
#if defined(__SSE2__)
        for (std::size_t w = 0; w < Width; w += 16) {
            __m128i bytes;
            std::memcpy(&bytes, at + w, sizeof bytes);
            const __m128i top = _mm_and_si128(bytes, _mm_set1_epi8(static_cast<char>(0xC0)));
            const int continuation =
                _mm_movemask_epi8(_mm_cmpeq_epi8(top, _mm_set1_epi8(static_cast<char>(0x80))));
            leads |= std::uint64_t{static_cast<std::uint16_t>(~continuation)} << w;
        }
#else
        for (std::size_t t = 0; t < Width; ++t)
            leads |= std::uint64_t{(at[t] & 0xC0) != 0x80} << t;
#endif
        // The last lead's character may reach past the window: it starts the next one.
        if ((leads & 1) == 0 || (leads & (leads - 1)) == 0)
            return read;
        std::size_t p = 0;
        leads &= leads - 1;
        while (leads != 0) {
            const auto q = static_cast<std::size_t>(std::countr_zero(leads));
            leads &= leads - 1;
            const unsigned lead = at[p];
            const unsigned b1 = at[p + 1];
            const unsigned b2 = at[p + 2];
            const auto length = static_cast<unsigned>(q - p);
            const unsigned two = ((lead & 0x1Fu) << 6) | (b1 & 0x3F);
            const unsigned three = ((lead & 0x0Fu) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
            const unsigned character = length == 1 ? lead : length == 2 ? two : three;
            const unsigned code = character < MappedBelow ? CodesOfCharacters[character] : 0;
            if (!((SequenceLengths[lead] == length) & ((code != 0) | (character == 0)) &
                  ((length != 3) | (character >= 0x800))))
                return read + p;
            text[written++] = static_cast<char>(code);
            p = q;
        }
        read += p;
    }
    return read;
}

} // namespace

char32_t toUnicode(unsigned char code)
{
    return characterOf(code);
}

std::optional<unsigned char> fromUnicode(char32_t character)
{
    if (character == 0)
        return 0;
    if (character < MappedBelow && CodesOfCharacters[character] != 0)
        return CodesOfCharacters[character];
    return std::nullopt;
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
    std::size_t size = text.size();
    auto error = fromUtf8InPlace(text.data(), size);
    if (!error)
        text.resize(size);
    return error;
}

std::optional<Utf8Error> fromUtf8InPlace(char *text, std::size_t &size)
{
    const std::size_t n = size;
    const auto byteAt = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t read = 0;
    std::size_t written = 0; // also the number of characters read so far
    while (read < n) {
        // Runs of ASCII eight bytes at a time: each byte is a character and its own code.
        // The word is loaded before it is stored, so the overlap of WRITTEN and READ when
        // they are less than eight apart does no harm.
        while (n - read >= 8) {
            const std::uint64_t word = load8(text + read);
            if ((word & HighBits) != 0)
                break;
            if (written != read)
                store8(text + written, word);
            read += 8;
            written += 8;
        }
        if (read == n)
            break;
        if (const std::size_t stop = readWindows(text, n, read, written); stop != read) {
            read = stop;
            continue;
        }
        const unsigned char lead = byteAt(read);
        if (n - read >= 3) {
            // A character of one to three bytes that has a code, without a branch on its
            // length, which varies at random in a code text; anything else goes the way below,
            // which names what is wrong.
            const unsigned b1 = byteAt(read + 1);
            const unsigned b2 = byteAt(read + 2);
            const unsigned length = SequenceLengths[lead];
            const unsigned two = ((lead & 0x1Fu) << 6) | (b1 & 0x3F);
            const unsigned three = ((lead & 0x0Fu) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
            const unsigned character = length == 1 ? lead : length == 2 ? two : three;
            const bool continued =
                length == 1 || ((b1 & 0xC0) == 0x80 && (length == 2 || (b2 & 0xC0) == 0x80));
            const unsigned code = character < MappedBelow ? CodesOfCharacters[character] : 0;
            if (continued & (length != 0) & ((code != 0) | (character == 0)) &
                ((length != 3) | (character >= 0x800))) {
                text[written++] = static_cast<char>(code);
                read += length;
                continue;
            }
        }
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
    size = written;
    return std::nullopt;
}

namespace {

} // namespace

char *writeUtf8(std::string_view text, char *out)
{
    const std::size_t codes = text.size();
    const char *in = text.data();
    const auto put = [&out](char code) {
        const Utf8Bytes &entry = Utf8Table[static_cast<unsigned char>(code)];
        std::memcpy(out, entry.bytes.data(), entry.bytes.size());
        out += entry.length;
    };
    std::size_t i = 0;
    for (; codes - i >= 8; i += 8) {
        // A word of ASCII is its own UTF-8.
        const std::uint64_t word = load8(in + i);
        if ((word & HighBits) == 0) {
            store8(out, word);
            out += 8;
        } else {
            for (std::size_t k = 0; k < 8; ++k)
                put(in[i + k]);
        }
    }
    for (; i < codes; ++i)
        put(in[i]);
    return out;
}

void appendUtf8(std::string_view text, std::string &utf8)
{
    const std::size_t start = utf8.size();
    const std::size_t length = text.size() + extraUtf8Bytes(text);
    // Three bytes to spare at the end, since every character is written with a copy of
    // four bytes; the string is cut to its length afterwards.
    utf8.resize(start + length + 3);
    writeUtf8(text, utf8.data() + start);
    utf8.resize(start + length);
}

} // namespace CodePage
