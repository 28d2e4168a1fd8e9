// SPDX-License-Identifier: GPL-3.0-or-later
#include "armor.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

// Layout: the BEGIN frame, then the code text in chunks of 40 bytes, each written as 64
// characters of the Bech32 alphabet (5 bits each) and a 6-character Bech32m checksum, one
// chunk a line; the last chunk is shorter (an empty code text gives a chunk of its checksum
// alone) and ends with the period that closes the data; then the END frame. Each checksum
// also covers the chunk's index and whether it is the last, so a line lost, doubled, moved
// or cut off fails like a changed character. Since every chunk but the last has a fixed
// length, the reader needs no line breaks at all: it drops whitespace before parsing.

namespace Armor {
namespace {

constexpr std::string_view Alphabet = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";
constexpr std::string_view BeginFrame = "BEGIN CODE TARVO MESSAGE.";
constexpr std::string_view EndFrame = "END CODE TARVO MESSAGE.";
// The frames as the reader sees them, after dropping whitespace and folding case.
constexpr std::string_view BeginKey = "begincodetarvomessage.";
constexpr std::string_view EndKey = "endcodetarvomessage.";

constexpr std::size_t ChunkBytes = 40;
constexpr std::size_t DataChars = ChunkBytes * 8 / 5;
constexpr std::size_t ChecksumChars = 6;
constexpr std::size_t ChunkChars = DataChars + ChecksumChars;
constexpr std::uint32_t Bech32mConstant = 0x2bc830a3;
constexpr std::size_t IndexDigits = 13; // 5-bit digits of a 64-bit chunk index

// Stands for any character outside ASCII that the reader keeps: never valid data.
constexpr char Foreign = '\x80';

constexpr std::array<std::int8_t, 256> makeValues()
{
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    for (std::size_t i = 0; i < Alphabet.size(); ++i)
        values[static_cast<unsigned char>(Alphabet[i])] = static_cast<std::int8_t>(i);
    return values;
}
constexpr std::array<std::int8_t, 256> Values = makeValues();

int valueOf(char c)
{
    return Values[static_cast<unsigned char>(c)];
}

// The BCH generator's contributions for each combination of the 5 bits shifted out.
constexpr std::array<std::uint32_t, 32> makeGenerators()
{
    constexpr std::uint32_t g[5] = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd, 0x2a1462b3};
    std::array<std::uint32_t, 32> table{};
    for (unsigned top = 0; top < 32; ++top)
        for (unsigned i = 0; i < 5; ++i)
            if ((top >> i) & 1)
                table[top] ^= g[i];
    return table;
}
constexpr std::array<std::uint32_t, 32> Generators = makeGenerators();

std::uint32_t step(std::uint32_t check, unsigned value)
{
    return (((check & 0x1ffffff) << 5) ^ value) ^ Generators[check >> 25];
}

// The checksum state once the chunk's place (its index and whether it is the last) is fed,
// as Bech32 feeds its human-readable part first.
std::uint32_t chunkStart(std::size_t index, bool last)
{
    std::uint32_t check = step(1, last ? 1 : 0);
    const auto wide = static_cast<std::uint64_t>(index);
    for (std::size_t digit = IndexDigits; digit-- > 0;)
        check = step(check, static_cast<unsigned>((wide >> (5 * digit)) & 31));
    return check;
}

std::uint32_t feed(std::uint32_t check, std::string_view chars)
{
    for (const char c : chars)
        check = step(check, static_cast<unsigned>(valueOf(c)));
    return check;
}

void writeChunk(std::string &out, std::string_view bytes, std::size_t index, bool last)
{
    const std::size_t first = out.size();
    std::uint32_t bits = 0;
    int held = 0;
    for (const char byte : bytes) {
        bits = (bits << 8) | static_cast<unsigned char>(byte);
        held += 8;
        while (held >= 5) {
            held -= 5;
            out += Alphabet[(bits >> held) & 31];
        }
    }
    if (held > 0)
        out += Alphabet[(bits << (5 - held)) & 31];
    std::uint32_t check = feed(chunkStart(index, last), std::string_view(out).substr(first));
    for (std::size_t i = 0; i < ChecksumChars; ++i)
        check = step(check, 0);
    check ^= Bech32mConstant;
    for (std::size_t i = ChecksumChars; i-- > 0;)
        out += Alphabet[(check >> (5 * i)) & 31];
}

// Whether CHARS (data and checksum, already known to be in the alphabet) is the chunk at
// INDEX, last or not.
bool checks(std::string_view chars, std::size_t index, bool last)
{
    return feed(chunkStart(index, last), chars) == Bech32mConstant;
}

// Appends the bytes of DATA (checked chunk characters without the checksum) to OUT; false
// when the count of characters fits no count of bytes or the padding bits are not zero.
bool readData(std::string_view data, std::string &out)
{
    const std::size_t rest = data.size() % 8;
    if (rest == 1 || rest == 3 || rest == 6)
        return false;
    std::uint32_t bits = 0;
    int held = 0;
    for (const char c : data) {
        bits = ((bits << 5) | static_cast<unsigned>(valueOf(c))) & 0x1fff;
        held += 5;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xff);
        }
    }
    return (bits & ((1u << held) - 1)) == 0;
}

struct Utf8Char {
    char32_t codePoint; // Invalid when the bytes are no UTF-8
    std::size_t length;
};
constexpr char32_t Invalid = 0xffffffff;

Utf8Char decodeUtf8(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xf8   ? 0
                               : lead >= 0xf0 ? 4
                               : lead >= 0xe0 ? 3
                               : lead >= 0xc0 ? 2
                                              : 0;
    if (length == 0 || at + length > text.size())
        return {Invalid, 1};
    char32_t codePoint = lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xc0) != 0x80)
            return {Invalid, 1};
        codePoint = (codePoint << 6) | (next & 0x3f);
    }
    return {codePoint, length};
}

// Spaces and invisible characters that channels insert or substitute for spaces: the
// Unicode spaces, the zero-width characters, the byte-order mark, the soft hyphen that
// hyphenating composers put into long words, and the next-line control.
bool invisible(char32_t c)
{
    return c == 0x85 || c == 0xa0 || c == 0xad || c == 0x1680 || c == 0x180e ||
           (c >= 0x2000 && c <= 0x200d) || c == 0x202f || c == 0x205f || c == 0x2060 ||
           c == 0x3000 || c == 0xfeff;
}

// Walks TEXT as the reader sees it: calls KEEP(c) for every character kept (ASCII in lower
// case, Foreign for any other) and LINE_END() for every line break (LF, CR LF, lone CR,
// U+2028, U+2029); drops whitespace, invisible characters and '>' quote marks; a lone byte
// 0xA0 (a no-break space in Windows-1252) goes too. Stops when KEEP returns false.
template <typename Keep, typename LineEnd>
void normalise(std::string_view text, Keep keep, LineEnd lineEnd)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            if (c == '\n' || c == '\r') {
                if (c == '\r' && i < text.size() && text[i] == '\n')
                    ++i;
                lineEnd();
            } else if (c != ' ' && c != '\t' && c != '\v' && c != '\f' && c != '>') {
                if (!keep(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c)))
                    return;
            }
            continue;
        }
        const Utf8Char u = decodeUtf8(text, i);
        i += u.length;
        if (u.codePoint == 0x2028 || u.codePoint == 0x2029)
            lineEnd();
        else if (!invisible(u.codePoint) && !(u.codePoint == Invalid && c == 0xa0) &&
                 !keep(Foreign))
            return;
    }
}

// The kept characters of a text with, for each, the line it came from.
class Normalised {
public:
    explicit Normalised(std::string_view text)
    {
        chars.reserve(text.size());
        normalise(
            text,
            [this](char c) {
                chars += c;
                return true;
            },
            [this] { lineStarts.push_back(chars.size()); });
    }

    std::string chars;

    // 1-based line of the input holding kept character AT (the last one when AT is past it).
    [[nodiscard]] std::size_t lineOf(std::size_t at) const
    {
        at = std::min(at, chars.empty() ? 0 : chars.size() - 1);
        return 1 +
               static_cast<std::size_t>(std::upper_bound(lineStarts.begin(), lineStarts.end(), at) -
                                        lineStarts.begin());
    }

private:
    std::vector<std::size_t> lineStarts; // index in chars at which each line after the first starts
};

// Reads the chunks in CHARS[from, to) into RESULT.code, or says why and where they fail.
void readChunks(const Normalised &text, std::size_t from, std::size_t to, Dearmored &result,
                std::size_t &where)
{
    const std::string_view all(text.chars);
    const std::size_t count = (to - from + ChunkChars - 1) / ChunkChars;
    if (count == 0) {
        result.problem = Problem::Damaged;
        where = to;
        return;
    }
    result.code.reserve(count * ChunkBytes);
    for (std::size_t index = 0; index < count; ++index) {
        const std::size_t start = from + index * ChunkChars;
        const std::string_view chunk = all.substr(start, std::min(ChunkChars, to - start));
        const bool last = index + 1 == count;
        where = start;
        if (chunk.size() < ChecksumChars) {
            result.problem = Problem::Damaged;
        } else if (checks(chunk, index, last)) {
            if (!readData(chunk.substr(0, chunk.size() - ChecksumChars), result.code))
                result.problem = Problem::Damaged;
        } else if (!last && checks(chunk, index, true)) {
            result.problem = Problem::TrailingData;
            where = start + ChunkChars;
        } else if (last && chunk.size() == ChunkChars && checks(chunk, index, false)) {
            result.problem = Problem::CutShort;
            where = to;
        } else {
            result.problem = Problem::Damaged;
        }
        if (!result.ok())
            return;
    }
}

} // namespace

std::string armor(std::string_view code)
{
    const std::size_t chunks =
        std::max<std::size_t>(1, (code.size() + ChunkBytes - 1) / ChunkBytes);
    std::string out;
    out.reserve(BeginFrame.size() + EndFrame.size() + 4 + chunks * (ChunkChars + 1));
    out += BeginFrame;
    out += '\n';
    for (std::size_t index = 0; index < chunks; ++index) {
        const bool last = index + 1 == chunks;
        writeChunk(out, code.substr(index * ChunkBytes, ChunkBytes), index, last);
        if (last)
            out += '.';
        out += '\n';
    }
    out += EndFrame;
    out += '\n';
    return out;
}

bool holdsArmor(std::string_view text)
{
    // 'b' occurs once in the key, so after a mismatch only a 'b' can start a new match.
    std::size_t matched = 0;
    normalise(
        text,
        [&matched](char c) {
            matched = c == BeginKey[matched] ? matched + 1 : c == BeginKey[0] ? 1 : 0;
            return matched < BeginKey.size();
        },
        [] {});
    return matched == BeginKey.size();
}

Dearmored dearmor(std::string_view text)
{
    const Normalised normalised(text);
    const std::string &chars = normalised.chars;
    const std::size_t begin = chars.find(BeginKey);
    if (begin == std::string::npos)
        return {{}, Problem::NotFound, 0};
    const auto failure = [&](Problem problem, std::size_t at) {
        return Dearmored{{}, problem, normalised.lineOf(at) - normalised.lineOf(begin) + 1};
    };

    const std::size_t from = begin + BeginKey.size();
    const std::size_t end = chars.find(EndKey, from);
    const std::size_t limit = std::min(end, chars.size());
    std::size_t to = from;
    while (to < limit && valueOf(chars[to]) >= 0)
        ++to;
    if (to < limit && chars[to] != '.')
        return failure(Problem::BadCharacter, to);
    if (to == limit && end == std::string::npos)
        return failure(Problem::CutShort, to);

    Dearmored result;
    std::size_t where = 0;
    readChunks(normalised, from, to, result, where);
    if (!result.ok())
        return failure(result.problem, where);
    if (to == end) // every chunk there, but the period that closes them lost
        return failure(Problem::Damaged, to);
    if (to + 1 == end)
        return result;
    if (end != std::string::npos)
        return failure(Problem::TrailingData, to + 1);
    // No closing frame: cut off inside it, or changed.
    const std::string_view rest = std::string_view(chars).substr(to + 1);
    const std::size_t same = static_cast<std::size_t>(
        std::mismatch(rest.begin(), rest.end(), EndKey.begin(), EndKey.end()).first - rest.begin());
    return failure(same == rest.size() ? Problem::CutShort : Problem::Damaged, to + 1 + same);
}

std::string_view describe(Problem problem)
{
    switch (problem) {
    case Problem::None:
        return "no problem";
    case Problem::NotFound:
        return "no \"BEGIN CODE TARVO MESSAGE.\" found";
    case Problem::BadCharacter:
        return "a character that an armored text never holds";
    case Problem::Damaged:
        return "a character changed, added, lost or swapped, or a line lost, doubled or moved";
    case Problem::CutShort:
        return "the end is missing";
    case Problem::TrailingData:
        return "more lines after the last one";
    }
    return "unknown problem";
}

} // namespace Armor
