// SPDX-License-Identifier: GPL-3.0-or-later
#include "armor.h"

#include "stream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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

// Writes the chunk of BYTES at AT, moving AT past it.
void writeChunk(char *&at, std::string_view bytes, std::size_t index, bool last)
{
    const char *const first = at;
    std::uint32_t bits = 0;
    int held = 0;
    for (const char byte : bytes) {
        bits = (bits << 8) | static_cast<unsigned char>(byte);
        held += 8;
        while (held >= 5) {
            held -= 5;
            *at++ = Alphabet[(bits >> held) & 31];
        }
    }
    if (held > 0)
        *at++ = Alphabet[(bits << (5 - held)) & 31];
    std::uint32_t check = feed(chunkStart(index, last),
                               std::string_view(first, static_cast<std::size_t>(at - first)));
    for (std::size_t i = 0; i < ChecksumChars; ++i)
        check = step(check, 0);
    check ^= Bech32mConstant;
    for (std::size_t i = ChecksumChars; i-- > 0;)
        *at++ = Alphabet[(check >> (5 * i)) & 31];
}

// Whether CHARS (data and checksum, already known to be in the alphabet) is the chunk at
// INDEX, last or not.
bool checks(std::string_view chars, std::size_t index, bool last)
{
    return feed(chunkStart(index, last), chars) == Bech32mConstant;
}

// Writes the bytes of DATA (checked chunk characters without the checksum) at OUT, moving
// OUT past them; false when the count of characters fits no count of bytes or the padding
// bits are not zero.
bool readData(std::string_view data, char *&out)
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
            *out++ = static_cast<char>((bits >> held) & 0xff);
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

// What the reader makes of each ASCII code: the character it keeps, in lower case, or one
// of these.
constexpr short Dropped = -1;
constexpr short LineBreak = -2;
constexpr std::array<short, 128> makeAsciiKinds()
{
    std::array<short, 128> kinds{};
    for (short c = 0; c < 128; ++c)
        kinds[static_cast<std::size_t>(c)] =
            c >= 'A' && c <= 'Z' ? static_cast<short>(c - 'A' + 'a') : c;
    for (const char c : {' ', '\t', '\v', '\f', '>'})
        kinds[static_cast<std::size_t>(c)] = Dropped;
    kinds['\n'] = kinds['\r'] = LineBreak;
    return kinds;
}
constexpr std::array<short, 128> AsciiKinds = makeAsciiKinds();

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
            const short kind = AsciiKinds[c];
            if (kind >= 0) {
                if (!keep(static_cast<char>(kind)))
                    return;
            } else if (kind == LineBreak) {
                if (c == '\r' && i < text.size() && text[i] == '\n')
                    ++i;
                lineEnd();
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
        chars.resize(text.size());
        std::size_t kept = 0;
        normalise(
            text,
            [this, &kept](char c) {
                chars[kept++] = c;
                return true;
            },
            [this, &kept] { lineStarts.push_back(kept); });
        chars.resize(kept);
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
    result.code.resize(count * ChunkBytes);
    char *out = result.code.data();
    for (std::size_t index = 0; index < count; ++index) {
        const std::size_t start = from + index * ChunkChars;
        const std::string_view chunk = all.substr(start, std::min(ChunkChars, to - start));
        const bool last = index + 1 == count;
        where = start;
        if (chunk.size() < ChecksumChars) {
            result.problem = Problem::Damaged;
        } else if (checks(chunk, index, last)) {
            if (!readData(chunk.substr(0, chunk.size() - ChecksumChars), out))
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
        if (!result.ok()) {
            result.code.clear();
            return;
        }
    }
    result.code.resize(static_cast<std::size_t>(out - result.code.data()));
}

} // namespace

void Writer::begin(std::string &out)
{
    if (m_begun)
        return;
    out.append(BeginFrame);
    out += '\n';
    m_begun = true;
}

void Writer::add(std::string_view code, std::string &out)
{
    begin(out);
    // A chunk goes out once a byte past it has come: until then it may be the last.
    if (!m_pending.empty() && !code.empty()) {
        const std::size_t take = std::min(ChunkBytes - m_pending.size(), code.size());
        m_pending.append(code.substr(0, take));
        code.remove_prefix(take);
    }
    const std::size_t whole = code.empty() ? 0 : (code.size() - 1) / ChunkBytes;
    const std::size_t chunks = whole + (m_pending.size() == ChunkBytes && !code.empty() ? 1 : 0);
    if (chunks != 0) {
        const std::size_t start = out.size();
        out.resize(start + chunks * (ChunkChars + 1));
        char *at = out.data() + start;
        if (m_pending.size() == ChunkBytes) {
            writeChunk(at, m_pending, m_index++, false);
            *at++ = '\n';
            m_pending.clear();
        }
        for (std::size_t k = 0; k < whole; ++k) {
            writeChunk(at, code.substr(k * ChunkBytes, ChunkBytes), m_index++, false);
            *at++ = '\n';
        }
        code.remove_prefix(whole * ChunkBytes);
    }
    m_pending.append(code);
}

void Writer::finish(std::string &out)
{
    begin(out);
    const std::size_t start = out.size();
    out.resize(start + ChunkChars + 2);
    char *at = out.data() + start;
    writeChunk(at, m_pending, m_index++, true);
    *at++ = '.';
    *at++ = '\n';
    out.resize(static_cast<std::size_t>(at - out.data()));
    out.append(EndFrame);
    out += '\n';
    m_pending.clear();
}

// The reader walks the kept characters as they come, through the stages of dearmor: finding
// the opening frame, then the run of chunk characters up to what ends it, then what follows
// that.
struct Reader::State {
    enum class Stage {
        Seeking, // the opening frame
        Chunks,  // the run of chunk characters
        EndKey,  // a run ended by "endc" and 'o': perhaps the closing frame with no period
        Closing, // after the period: the closing frame, at once
        Rest,    // after the period, not the closing frame: one further on?
        Done,
    };
    Stage stage = Stage::Seeking;
    std::size_t line = 1;         // of the next character kept
    std::size_t lastKeptLine = 1; // of the last character kept
    std::size_t matched = 0;      // characters of the frame matched
    std::size_t beginLine = 0;
    std::string run;                // the chunk characters not yet read
    std::vector<std::size_t> lines; // the line of each
    std::size_t index = 0;          // of the next chunk
    std::size_t chunks = 0;         // chunks read so far
    Problem chunkProblem = Problem::None;
    std::size_t chunkLine = 0;
    std::size_t oLine = 0;        // of the 'o' that may continue "endc"
    std::size_t restLine = 0;     // of the first character after the period
    std::size_t mismatchLine = 0; // of the first one that is not the closing frame's
    std::string tail;             // the last characters after the period
    char held[4] = {};            // a line break or a UTF-8 sequence cut by a piece's end
    std::size_t heldCount = 0;
    Dearmored result;

    void finish(Problem problem, std::size_t at)
    {
        result.problem = problem;
        result.line = problem == Problem::None ? 0 : at - beginLine + 1;
        stage = Stage::Done;
    }

    // Reads the chunk of the COUNT run characters from the run's start, LAST or not, unless a
    // chunk failed before; TO is the line of the character that ends the run.
    void readChunk(std::size_t count, bool last, std::size_t toLine, std::string &code)
    {
        if (chunkProblem == Problem::None) {
            const std::string_view chunk(run.data(), count);
            const std::size_t size = code.size();
            code.resize(size + ChunkBytes);
            char *out = code.data() + size;
            if (chunk.size() < ChecksumChars) {
                chunkProblem = Problem::Damaged;
                chunkLine = lines[0];
            } else if (checks(chunk, index, last)) {
                if (!readData(chunk.substr(0, chunk.size() - ChecksumChars), out)) {
                    chunkProblem = Problem::Damaged;
                    chunkLine = lines[0];
                }
            } else if (!last && checks(chunk, index, true)) {
                chunkProblem = Problem::TrailingData;
                chunkLine = lines[ChunkChars];
            } else if (last && chunk.size() == ChunkChars && checks(chunk, index, false)) {
                chunkProblem = Problem::CutShort;
                chunkLine = toLine;
            } else {
                chunkProblem = Problem::Damaged;
                chunkLine = lines[0];
            }
            code.resize(chunkProblem == Problem::None ? static_cast<std::size_t>(out - code.data())
                                                      : size);
        }
        ++index;
        ++chunks;
        run.erase(0, count);
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(count));
    }

    // The run ends after its first COUNT characters, at a character of line TOLINE: reads the
    // chunks left. Gives whether they all held.
    bool readLastChunks(std::size_t count, std::size_t toLine, std::string &code)
    {
        if (chunks == 0 && count == 0) {
            chunkProblem = Problem::Damaged;
            chunkLine = toLine;
        }
        if (count > ChunkChars) {
            readChunk(ChunkChars, false, toLine, code);
            count -= ChunkChars;
        }
        if (count != 0)
            readChunk(count, true, toLine, code);
        if (chunkProblem != Problem::None)
            finish(chunkProblem, chunkLine);
        return stage != Stage::Done;
    }

    // After the period and something else than the closing frame: the closing frame further
    // on makes the lines after the period more than there should be.
    void findClosing()
    {
        if (tail.size() > EndKey.size())
            tail.erase(0, tail.size() - EndKey.size());
        if (tail == EndKey)
            finish(Problem::TrailingData, restLine);
    }

    void keep(char c, std::string &code)
    {
        lastKeptLine = line;
        switch (stage) {
        case Stage::Seeking:
            // 'b' stands nowhere else in the frame: a mismatch can only start it again.
            if (c == BeginKey[matched]) {
                if (matched == 0)
                    beginLine = line;
                if (++matched == BeginKey.size())
                    stage = Stage::Chunks;
            } else {
                matched = c == BeginKey[0] ? 1 : 0;
                if (matched == 1)
                    beginLine = line;
            }
            return;
        case Stage::Chunks:
            if (valueOf(c) >= 0) {
                run += c;
                lines.push_back(line);
                // A chunk is known not to be the last once five more characters follow it:
                // the run can end no earlier than before a closing "endc" with no period.
                if (run.size() > ChunkChars + 4)
                    readChunk(ChunkChars, false, 0, code);
            } else if (c == '.') {
                if (readLastChunks(run.size(), line, code)) {
                    stage = Stage::Closing;
                    matched = 0;
                }
            } else if (c == EndKey[4] && run.size() >= 4 && run.ends_with(EndKey.substr(0, 4))) {
                stage = Stage::EndKey;
                matched = 5;
                oLine = line;
            } else {
                finish(Problem::BadCharacter, line);
            }
            return;
        case Stage::EndKey:
            if (c != EndKey[matched]) {
                finish(Problem::BadCharacter, oLine);
            } else if (++matched == EndKey.size()) {
                // The closing frame with the period lost: the run ends at its 'e'.
                const std::size_t eLine = lines[lines.size() - 4];
                if (readLastChunks(run.size() - 4, eLine, code))
                    finish(Problem::Damaged, eLine);
            }
            return;
        case Stage::Closing:
            if (matched == 0)
                restLine = line;
            tail += c;
            if (c == EndKey[matched]) {
                if (++matched == EndKey.size())
                    finish(Problem::None, 0);
                return;
            }
            mismatchLine = line;
            stage = Stage::Rest;
            findClosing();
            return;
        case Stage::Rest:
            tail += c;
            findClosing();
            return;
        case Stage::Done:
            return;
        }
    }

    // What the end of the text decides.
    void end()
    {
        switch (stage) {
        case Stage::Seeking:
            result.problem = Problem::NotFound;
            stage = Stage::Done;
            return;
        case Stage::Chunks:
        case Stage::Closing:
            finish(Problem::CutShort, lastKeptLine);
            return;
        case Stage::EndKey:
            finish(Problem::BadCharacter, oLine);
            return;
        case Stage::Rest:
            finish(Problem::Damaged, mismatchLine);
            return;
        case Stage::Done:
            return;
        }
    }
};

Reader::Reader() : m_state(std::make_unique<State>()) {}

Reader::~Reader() = default;

bool Reader::done() const
{
    return m_state->stage == State::Stage::Done;
}

const Dearmored &Reader::result() const
{
    return m_state->result;
}

void Reader::read(char *text, std::size_t size, bool last, std::string &code)
{
    State &state = *m_state;
    if (done())
        return;
    char *from = text - state.heldCount;
    std::memcpy(from, state.held, state.heldCount);
    size += state.heldCount;
    // Held back for the next piece: a CR that an LF may follow, or a UTF-8 sequence cut short.
    std::size_t held = 0;
    if (!last)
        held = std::max<std::size_t>(ModCodeur::cutSequence(from, size),
                                     size != 0 && from[size - 1] == '\r' ? 1 : 0);
    state.heldCount = held;
    size -= held;
    std::memcpy(state.held, from + size, held);
    normalise(
        std::string_view(from, size),
        [&state, &code](char c) {
            state.keep(c, code);
            return state.stage != State::Stage::Done;
        },
        [&state] { ++state.line; });
    if (last)
        state.end();
}

std::string armor(std::string_view code)
{
    const std::size_t chunks =
        std::max<std::size_t>(1, (code.size() + ChunkBytes - 1) / ChunkBytes);
    const std::size_t dataChars = (code.size() * 8 + 4) / 5;
    std::string out(
        BeginFrame.size() + dataChars + chunks * (ChecksumChars + 1) + EndFrame.size() + 3, '\0');
    char *at = std::copy(BeginFrame.begin(), BeginFrame.end(), out.data());
    *at++ = '\n';
    for (std::size_t index = 0; index < chunks; ++index) {
        const bool last = index + 1 == chunks;
        writeChunk(at, code.substr(index * ChunkBytes, ChunkBytes), index, last);
        if (last)
            *at++ = '.';
        *at++ = '\n';
    }
    at = std::copy(EndFrame.begin(), EndFrame.end(), at);
    *at = '\n';
    return out;
}

bool holdsArmor(std::string_view text)
{
    // Raw code texts of many megabytes come here: only a 'b' or a 'B' can start the frame,
    // and memchr finds those far faster than the reader walks the text. Each is an ASCII
    // byte, never inside a UTF-8 sequence, so the reader sees the same from there.
    const auto next = [text](char c, std::size_t from) {
        const void *found = std::memchr(text.data() + from, c, text.size() - from);
        return found ? static_cast<std::size_t>(static_cast<const char *>(found) - text.data())
                     : std::string_view::npos;
    };
    std::size_t lower = next('b', 0);
    std::size_t upper = next('B', 0);
    while (lower != upper) { // both npos: no more candidates
        const std::size_t at = std::min(lower, upper);
        std::size_t matched = 0;
        normalise(
            text.substr(at),
            [&matched](char c) { return c == BeginKey[matched] && ++matched < BeginKey.size(); },
            [] {});
        if (matched == BeginKey.size())
            return true;
        (at == lower ? lower : upper) = next(text[at], at + 1);
    }
    return false;
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
