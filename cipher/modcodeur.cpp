// SPDX-License-Identifier: GPL-3.0-or-later
#include "modcodeur.h"

#include "modcodeur_engine.h"
#include "modcodeur_reference.h"
#include "twister64.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The routines here work on many units at once, with loops the compiler turns into vector
// code, at three widths:
// - spans of 256 units, while the text shows no escape: each is written whole and checked
//   once;
// - blocks of 32 units, where escapes turn up: the units before the first escape are written
//   whole and that escape goes through the one-group step of the plain loop;
// - windows of 64 units, where escapes are frequent and can be found without the key: the
//   runs of normal groups between them are each written whole.
// What comes out, the draws taken and the failure reported are those of the plain loops in
// modcodeur_reference.cpp.

namespace ModCodeur {

namespace {

PlainLengthHook &plainLengthHook()
{
    static PlainLengthHook hook;
    return hook;
}

using Unit = unsigned char;

// The block loops are built for the baseline instruction set, for AVX2 and for AVX-512
// (x86-64-v4), the best the processor has picked when the program loads; elsewhere they are
// built once, as they are. Defining CODETARVO_NO_CLONES builds them once for the compiler's
// target, so that a test run can check one instruction set's build on a processor that has a
// better one.
#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__)) &&        \
    !defined(CODETARVO_NO_CLONES)
#define CODETARVO_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define CODETARVO_VECTOR_CLONES
#endif

// The output of a block never overlaps its input, and saying so spares the compiler a check.
#if defined(__GNUC__) || defined(__clang__)
#define CODETARVO_RESTRICT __restrict__
#else
#define CODETARVO_RESTRICT
#endif

// Units per block: wide enough for two vector registers, short enough that a text with an
// escape every few units still spends most of its time in the vector loop.
constexpr std::size_t Block = 32;
// Units per window: where the escapes of a window can be told without the key, the window's
// runs of normal groups are each written as one block of this many units.
constexpr std::size_t Window = 64;
// Units per span: a text with no escape in sight goes a span at a time, checked once.
constexpr std::size_t Span = 256;

const Unit *units(std::string_view text)
{
    return reinterpret_cast<const Unit *>(text.data());
}

Unit *units(std::string &text)
{
    return reinterpret_cast<Unit *>(text.data());
}

// The key written out again and again, so that the key codes of any span starting at a
// position below period() follow each other in memory. period() is a multiple of the key
// length of at least Span, so positions stay below it with one subtraction per step.
class KeyRing {
public:
    explicit KeyRing(std::string_view key)
        : m_length(key.size()), m_period(m_length * ((Span + m_length - 1) / m_length)),
          m_codes(m_period + Span, '\0')
    {
        for (std::size_t q = 0; q < m_codes.size(); ++q)
            m_codes[q] = key[q % m_length];
    }

    const Unit *at(std::size_t position) const { return units(m_codes) + position; }

    // POSITION advanced by STEP (at most Span), kept below period().
    std::size_t advance(std::size_t position, std::size_t step) const
    {
        position += step;
        return position >= m_period ? position - m_period : position;
    }

    // The position after an escape group that named POSITION: the next one, or 0 when that
    // is past the key's end.
    std::size_t after(std::size_t position) const
    {
        return position + 1 >= m_length ? 0 : position + 1;
    }

private:
    std::size_t m_length;
    std::size_t m_period;
    std::string m_codes;
};

// Bit t set for each flag t (0 or 1) that is set; no more than 64 flags.
template <std::size_t Count> std::uint64_t bitsOf(const Unit (&flags)[Count])
{
    static_assert(Count <= 64 && Count % 16 == 0);
    std::uint64_t bits = 0;
#if defined(__SSE2__)
    // One instruction gathers the top bits of 16 bytes; 0 - flag sets a flag's top bit.
    for (std::size_t w = 0; w < Count; w += 16) {
        __m128i chunk;
        std::memcpy(&chunk, flags + w, sizeof chunk);
        const auto top = _mm_movemask_epi8(_mm_sub_epi8(_mm_setzero_si128(), chunk));
        bits |= std::uint64_t{static_cast<std::uint16_t>(top)} << w;
    }
#else
    if constexpr (std::endian::native == std::endian::little) {
        // Eight 0/1 bytes times this constant gather into the top byte, byte t as bit t.
        constexpr std::uint64_t Gather = 0x0102040810204080;
        for (std::size_t w = 0; w < Count; w += 8) {
            std::uint64_t word;
            std::memcpy(&word, flags + w, sizeof word);
            bits |= ((word * Gather) >> 56) << w;
        }
    } else {
        for (std::size_t t = 0; t < Count; ++t)
            bits |= std::uint64_t{flags[t]} << t;
    }
#endif
    return bits;
}

// Index of the first set flag of a block, or Block when there is none; without a branch on
// where it is, since escapes fall at random places, which a branch would mispredict.
std::size_t firstFlagged(const Unit (&flags)[Block])
{
    const std::uint64_t bits = bitsOf(flags);
    return bits == 0 ? Block : static_cast<std::size_t>(std::countr_zero(bits));
}

// Whether plain code B with key code K must go as an escape group: the sum carries out of
// the byte, or lies outside 7-249.
inline Unit needsEscape(Unit k, Unit b)
{
    const Unit sum = static_cast<Unit>(k + b);
    const bool carry = sum < k;
    const bool outside =
        static_cast<Unit>(sum - (HighestMarker + 1)) > EscapeThreshold - 1 - (HighestMarker + 1);
    return static_cast<Unit>(carry | outside);
}

// Whether code unit U cannot be read as a normal group with key code K: it is a marker, or
// below K.
inline Unit stopsDecoding(Unit k, Unit u)
{
    return static_cast<Unit>(u < std::max(k, static_cast<Unit>(HighestMarker + 1)));
}

// Writes WIDTH plain units plus their key codes to OUT, and gives whether each of them is a
// normal group.
template <std::size_t Width = Block>
bool encodeBlock(const Unit *plain, const Unit *key, Unit *CODETARVO_RESTRICT out)
{
    Unit escapes = 0;
    for (std::size_t t = 0; t < Width; ++t) {
        out[t] = static_cast<Unit>(key[t] + plain[t]);
        escapes |= needsEscape(key[t], plain[t]);
    }
    return escapes == 0;
}

// How many of Block plain units are normal groups before the first that is not.
std::size_t normalLead(const Unit *plain, const Unit *key)
{
    Unit escapes[Block];
    for (std::size_t t = 0; t < Block; ++t)
        escapes[t] = needsEscape(key[t], plain[t]);
    return firstFlagged(escapes);
}

// Writes WIDTH code units minus their key codes to OUT, and gives whether each of them is a
// normal group that fits its key code.
template <std::size_t Width = Block>
bool decodeBlock(const Unit *code, const Unit *key, Unit *CODETARVO_RESTRICT out)
{
    Unit stops = 0;
    for (std::size_t t = 0; t < Width; ++t) {
        out[t] = static_cast<Unit>(code[t] - key[t]);
        stops |= stopsDecoding(key[t], code[t]);
    }
    return stops == 0;
}

// How many of Block code units decode as normal groups before the first that does not.
std::size_t decodedLead(const Unit *code, const Unit *key)
{
    Unit stops[Block];
    for (std::size_t t = 0; t < Block; ++t)
        stops[t] = stopsDecoding(key[t], code[t]);
    return firstFlagged(stops);
}

// Which plain codes go the same way under every code of a key: those that are a normal group
// with the key's smallest and largest code, and those that escape with both.
class PlainClasses {
public:
    explicit PlainClasses(std::string_view key)
    {
        const auto [least, most] = std::minmax_element(units(key), units(key) + key.size());
        const int normalFrom = std::max(0, HighestMarker + 1 - *least);
        const int normalTo = EscapeThreshold - 1 - *most;
        const bool none = normalTo < normalFrom;
        m_normalFrom = static_cast<Unit>(none ? 1 : normalFrom);
        m_normalTo = static_cast<Unit>(none ? 0 : normalTo);
        m_escapeBelow = static_cast<Unit>(std::max(0, HighestMarker + 1 - *most));
        m_escapeFrom = static_cast<Unit>(EscapeThreshold - *least);
    }

    // Flags the plain codes of a window that escape under any key code, and those whose way
    // depends on the key code.
    void sort(const Unit *plain, Unit (&escapes)[Window], Unit (&unsure)[Window]) const
    {
        for (std::size_t t = 0; t < Window; ++t) {
            const Unit b = plain[t];
            const bool escape = (b < m_escapeBelow) | (b >= m_escapeFrom);
            const bool normal = (b >= m_normalFrom) & (b <= m_normalTo);
            escapes[t] = static_cast<Unit>(escape);
            unsure[t] = static_cast<Unit>(!(escape | normal));
        }
    }

private:
    // Normal with every key code: m_normalFrom to m_normalTo (empty when the latter is below).
    Unit m_normalFrom;
    Unit m_normalTo;
    // An escape with every key code: below m_escapeBelow, or from m_escapeFrom up.
    Unit m_escapeBelow;
    Unit m_escapeFrom;
};

// Writes Window plain units plus their key codes to OUT.
[[gnu::always_inline]] inline void encodeRun(const Unit *plain, const Unit *key,
                                             Unit *CODETARVO_RESTRICT out)
{
    for (std::size_t t = 0; t < Window; ++t)
        out[t] = static_cast<Unit>(plain[t] + key[t]);
}

// Writes the groups of the Window plain units at PLAIN, whose escapes are the set bits of
// ESCAPEBITS, to OUT, and gives the end of what it wrote. The key codes are KEYS from
// position P on, which this leaves where the next window starts (perhaps past the key's
// period); the escapes take the positions of DRAWN in order. Each run of normal groups is
// written a whole window wide, as what lies past its end is written over next.
[[gnu::always_inline]] inline Unit *
encodeWindow(const Unit *CODETARVO_RESTRICT plain, std::uint64_t escapeBits,
             const Unit *CODETARVO_RESTRICT keys, std::size_t keyLength, std::size_t &p,
             const Unit *CODETARVO_RESTRICT drawn, Unit *CODETARVO_RESTRICT out)
{
    std::size_t at = p;
    std::size_t t = 0;
    while (escapeBits != 0) {
        const auto e = static_cast<std::size_t>(std::countr_zero(escapeBits));
        escapeBits &= escapeBits - 1;
        encodeRun(plain + t, keys + at, out);
        out += e - t;
        // Code 0 cannot travel as b - 1; marker 0 carries it unchanged.
        const Unit b = plain[e];
        const Unit marker = b == 0 ? 0 : 1;
        const Unit q = *drawn++;
        out[0] = marker;
        out[1] = static_cast<Unit>(b - marker);
        out[2] = q;
        out += 3;
        at = q + std::size_t{1} >= keyLength ? 0 : q + std::size_t{1};
        t = e + 1;
    }
    encodeRun(plain + t, keys + at, out);
    p = at + (Window - t);
    return out + (Window - t);
}

// Writes Window code units minus their key codes to OUT, and flags in BELOW those of the
// first LENGTH that are smaller than their key code.
void decodeRun(const Unit *code, const Unit *key, std::size_t length, Unit *CODETARVO_RESTRICT out,
               Unit *CODETARVO_RESTRICT below)
{
    // The lane numbers as bytes, so that the comparison with LENGTH stays in byte lanes.
    static constexpr auto Lanes = [] {
        std::array<Unit, Window> lanes{};
        for (std::size_t t = 0; t < Window; ++t)
            lanes[t] = static_cast<Unit>(t);
        return lanes;
    }();
    const auto last = static_cast<Unit>(length);
    for (std::size_t t = 0; t < Window; ++t) {
        out[t] = static_cast<Unit>(code[t] - key[t]);
        below[t] |= static_cast<Unit>((code[t] < key[t]) & (Lanes[t] < last));
    }
}

// Flags the code units of a window that are escape markers wherever they stand.
void flagMarkers(const Unit *code, Unit (&markers)[Window])
{
    for (std::size_t t = 0; t < Window; ++t)
        markers[t] = static_cast<Unit>(code[t] <= HighestMarker);
}

// Index of the first set bit of BITS at T or above, or Window when there is none.
std::size_t nextSet(std::uint64_t bits, std::size_t t)
{
    const std::uint64_t rest = t < Window ? bits >> t : 0;
    return rest == 0 ? Window : t + static_cast<std::size_t>(std::countr_zero(rest));
}

// Decodes the groups that start among the Window code units at CODE to OUT, and gives the end
// of what it wrote, which may reach a Window past that. MARKERBITS flags the units 0-6; those
// that are the second or third unit of an escape group are passed over. The key codes are
// KEYS from position P on; this leaves P where the next group starts (perhaps past the key's
// period) and READ at how many units it read (up to two past the window). It sets BAD when
// some group has a unit below its key code or an escape above 255; OUT then holds nothing
// of worth.
[[gnu::always_inline]] inline Unit *
decodeWindow(const Unit *CODETARVO_RESTRICT code, std::uint64_t markerBits,
             const Unit *CODETARVO_RESTRICT keys, std::size_t keyLength, std::size_t &p,
             std::size_t &read, bool &bad, Unit *CODETARVO_RESTRICT out)
{
    Unit below[Window] = {};
    bool above = false;
    std::size_t at = p;
    std::size_t t = 0;
    while (t < Window) {
        const std::size_t e = nextSet(markerBits, t);
        decodeRun(code + t, keys + at, e - t, out, below);
        out += e - t;
        at += e - t;
        t = e;
        if (t == Window)
            break;
        const unsigned value = code[t] + code[t + 1];
        above |= value > 255;
        *out++ = static_cast<Unit>(value);
        const std::size_t named = code[t + 2];
        at = named + 1 >= keyLength ? 0 : named + 1;
        t += 3;
    }
    p = at;
    read = t;
    bad = above | (bitsOf(below) != 0);
    return out;
}

// ReferenceLoop::drawPosition, with the floor of a product that cannot be negative taken by
// truncation, which gives the same whole number without a library call.
Unit drawPosition(std::ptrdiff_t span, double r)
{
    if (span < 0)
        return ReferenceLoop::drawPosition(span, r);
    const double capped = static_cast<double>(std::min(span, ReferenceLoop::LargestPosition));
    return static_cast<Unit>(static_cast<int>(capped * r) + 1);
}

// The draws of a generator, one at a time.
struct EngineDraws {
    Twister64 &engine;
    double next() { return unitReal(engine()); }
};

// The re-chosen key positions of an encoding, drawn one at a time.
template <class Draws> class DrawnPositions {
public:
    DrawnPositions(Draws &draws, std::ptrdiff_t span) : m_draws(draws), m_span(span) {}
    Unit next() { return drawPosition(m_span, m_draws.next()); }
    // The next COUNT positions, at most Window, in order.
    void take(std::size_t count, Unit (&to)[Window])
    {
        for (std::size_t k = 0; k < count; ++k)
            to[k] = next();
    }

private:
    Draws &m_draws;
    std::ptrdiff_t m_span;
};

// The re-chosen key positions of an encoding, from a generator's pending words converted a
// few hundred at a time in one vector loop; only the positions used are drawn from it, when
// the batch runs out or this goes. SPAN must not be negative.
class BatchedPositions {
public:
    BatchedPositions(Twister64 &engine, std::ptrdiff_t span)
        : m_engine(engine),
          m_span(static_cast<double>(std::min(span, ReferenceLoop::LargestPosition)))
    {
    }
    BatchedPositions(const BatchedPositions &) = delete;
    BatchedPositions &operator=(const BatchedPositions &) = delete;
    ~BatchedPositions() { m_engine.skip(m_taken); }

    Unit next()
    {
        if (m_taken == m_count)
            refill();
        return m_positions[m_taken++];
    }
    // The next COUNT positions, at most Window, in order.
    void take(std::size_t count, Unit (&to)[Window])
    {
        if (m_count - m_taken >= count) {
            // A whole window's worth, as one vector: the batch has room past its end.
            std::memcpy(to, m_positions + m_taken, Window);
            m_taken += count;
        } else {
            for (std::size_t k = 0; k < count; ++k)
                to[k] = next();
        }
    }

private:
    void refill()
    {
        m_engine.skip(m_taken);
        const std::span<const std::uint64_t> words = m_engine.pending();
        for (std::size_t k = 0; k < words.size(); ++k) {
            const double r = unitReal(Twister64::temper(words[k]));
            m_positions[k] = static_cast<Unit>(static_cast<int>(m_span * r) + 1);
        }
        m_count = words.size();
        m_taken = 0;
    }

    Twister64 &m_engine;
    double m_span;
    std::size_t m_taken = 0;
    std::size_t m_count = 0;
    Unit m_positions[Twister64::StateWords + Window] = {};
};

// The groups of PLAIN after unit 0, the start position START, with KEY; the re-chosen
// positions come from POSITIONS.
template <unsigned Use, class Positions>
[[gnu::always_inline]] inline std::string encodeGroups(std::string_view plain, std::string_view key,
                                                       std::size_t start, Positions &positions)
{
    const std::size_t n = plain.size();
    const KeyRing ring(key);
    const PlainClasses classes(key);
    const Unit *in = units(plain);

    // Room for every group being normal and some escapes; grown when escapes need more.
    std::string out(n + 1 + n / 4 + Window, '\0');
    Unit *dst = units(out);
    const auto makeRoom = [&](std::size_t j, std::size_t need) {
        if (j + need > out.size()) {
            out.resize(std::max(out.size() + out.size() / 2, j + need));
            dst = units(out);
        }
    };
    const auto escape = [&](Unit b, std::size_t &j) {
        // Code 0 cannot travel as b - 1; marker 0 carries it unchanged.
        const Unit marker = b == 0 ? 0 : 1;
        const Unit q = positions.next();
        dst[j] = marker;
        dst[j + 1] = static_cast<Unit>(b - marker);
        dst[j + 2] = q;
        j += 3;
        return ring.after(q);
    };

    dst[0] = static_cast<Unit>(start);
    std::size_t p = start;
    std::size_t i = 0;
    std::size_t j = 1;
    // Blocks until one meets an escape; then windows while they have escapes, unless a
    // window has units whose way hangs on their key code.
    bool crowded = false;
    std::size_t blocksUntil = 0;
    while (i < n) {
        if ((Use & UseWindows) && crowded && i >= blocksUntil && n - i >= 2 * Window) {
            Unit escapes[Window];
            Unit unsure[Window];
            classes.sort(in + i, escapes, unsure);
            if (bitsOf(unsure) == 0) {
                // Every escape of the window is known: its draws first, then its groups.
                if (j + 4 * Window > out.size())
                    makeRoom(j, 4 * Window);
                const std::uint64_t escapeBits = bitsOf(escapes);
                Unit drawn[Window];
                positions.take(static_cast<std::size_t>(std::popcount(escapeBits)), drawn);
                const Unit *end =
                    encodeWindow(in + i, escapeBits, ring.at(0), key.size(), p, drawn, dst + j);
                j = static_cast<std::size_t>(end - dst);
                p = ring.advance(p, 0);
                i += Window;
                crowded = escapeBits != 0;
                continue;
            }
            // Some unit's way hangs on its key code: this window goes block by block.
            blocksUntil = i + Window;
        }
        if ((Use & UseSpans) && !crowded && n - i >= Span) {
            makeRoom(j, Span);
            if (encodeBlock<Span>(in + i, ring.at(p), dst + j)) {
                i += Span;
                j += Span;
                p = ring.advance(p, Span);
                continue;
            }
        }
        if (!(Use & UseBlocks) && n - i >= Block) {
            // The same Block units, a group at a time.
            makeRoom(j, 3 * Block);
            bool escaped = false;
            for (std::size_t k = 0; k < Block; ++k) {
                const Unit b = in[i++];
                const int sum = *ring.at(p) + b;
                if (sum > HighestMarker && sum < EscapeThreshold) {
                    dst[j++] = static_cast<Unit>(sum);
                    p = ring.advance(p, 1);
                } else {
                    p = escape(b, j);
                    escaped = true;
                }
            }
            crowded = escaped;
            continue;
        }
        if (n - i >= Block) {
            makeRoom(j, Block);
            const bool clean = encodeBlock(in + i, ring.at(p), dst + j);
            crowded = !clean;
            const std::size_t normal = clean ? Block : normalLead(in + i, ring.at(p));
            i += normal;
            j += normal;
            p = ring.advance(p, normal);
            if (normal == Block)
                continue;
        }
        // One group, as the plain loop writes it.
        makeRoom(j, 3);
        const Unit b = in[i++];
        const int sum = *ring.at(p) + b;
        if (sum > HighestMarker && sum < EscapeThreshold) {
            dst[j++] = static_cast<Unit>(sum);
            p = ring.advance(p, 1);
        } else {
            p = escape(b, j);
        }
    }
    out.resize(j);
    return out;
}

CODETARVO_VECTOR_CLONES std::string encodeFrom(std::string_view plain, std::string_view key,
                                               std::size_t start, RandomSource &draws)
{
    DrawnPositions<RandomSource> positions(draws, static_cast<std::ptrdiff_t>(key.size()) - 3);
    return encodeGroups<UseAll>(plain, key, start, positions);
}

template <unsigned Use>
[[gnu::always_inline]] inline std::string encodeFromEngine(std::string_view plain,
                                                           std::string_view key,
                                                           std::size_t start, Twister64 &engine)
{
    if constexpr ((Use & UseNoBatch) != 0) {
        // One virtual draw per escape, as from a caller's RandomSource.
        struct Source final : RandomSource {
            explicit Source(Twister64 &e) : engine(e) {}
            void reseed() override {}
            double next() override { return unitReal(engine()); }
            Twister64 &engine;
        } source(engine);
        RandomSource *hidden = &source;
        asm volatile("" : "+r"(hidden)); // kept from being devirtualised
        RandomSource &draws = *hidden;
        DrawnPositions<RandomSource> positions(draws, static_cast<std::ptrdiff_t>(key.size()) - 3);
        return encodeGroups<Use & UseAll>(plain, key, start, positions);
    }
    const std::ptrdiff_t span = static_cast<std::ptrdiff_t>(key.size()) - 3;
    if (span < 0) {
        EngineDraws draws{engine};
        DrawnPositions<EngineDraws> positions(draws, span);
        return encodeGroups<Use>(plain, key, start, positions);
    }
    BatchedPositions positions(engine, span);
    return encodeGroups<Use>(plain, key, start, positions);
}

CODETARVO_VECTOR_CLONES std::string encodeFrom(std::string_view plain, std::string_view key,
                                               std::size_t start, Twister64 &engine)
{
    return encodeFromEngine<UseAll>(plain, key, start, engine);
}

// Coder from its first draw on, with DRAWS already re-seeded; SOURCE is the same draws as
// encodeFrom takes them.
template <class Draws, class Source>
std::string encode(std::string_view plain, std::string_view key, Draws &draws, Source &source)
{
    const std::size_t p = drawPosition(static_cast<std::ptrdiff_t>(key.size()) - 2, draws.next());
    if (const auto &hook = plainLengthHook())
        hook(plain.size());
    return encodeFrom(plain, key, p, source);
}

bool encodesToNothing(std::string_view plain, std::string_view key)
{
    return key.size() < 2 || plain.empty();
}

// Where a decoding stopped: the failure and its unit, and how many plain units it wrote.
struct Decoded {
    DecodeFailure failure = DecodeFailure::None;
    std::size_t unit = 0;
    std::size_t length = 0;
};

// Decodes the M units at IN with KEY to OUT, which has room for M - 1 units. With IN_PLACE, OUT
// is IN itself: each plain unit is written below the code unit it came from, and no write may
// reach a unit not yet read, so blocks are decoded into STAGING and copied out at their exact
// length where a whole block would reach too far.
template <bool InPlace, unsigned Use = UseAll>
[[gnu::always_inline]] inline Decoded decodeUnits(const Unit *in, std::size_t m,
                                                  std::string_view key, Unit *out)
{
    if (m == 0)
        return {DecodeFailure::EmptyCode, 0, 0};
    // Only the start offset can point outside the key: later positions wrap.
    if (in[0] >= key.size())
        return {DecodeFailure::StartOutsideKey, 0, 0};
    if (m < 2)
        return {DecodeFailure::NoGroup, 1, 0};

    const KeyRing ring(key);
    Unit staging[Span];
    // Writes the first LENGTH of WIDTH staged units at O, READ being the first unit not yet
    // read.
    const auto emit = [&](std::size_t o, std::size_t length, std::size_t width, std::size_t read) {
        if (!InPlace || o + width <= read)
            std::memcpy(out + o, staging, width);
        else
            std::memmove(out + o, staging, length);
    };

    std::size_t p = in[0];
    std::size_t j = 1;
    std::size_t o = 0;
    // The last STAGED plain units, decoded by windows, wait here until a whole vector of them
    // can be written out at once; what a window writes past its end is written over next.
    Unit windowOut[3 * Window];
    std::size_t staged = 0;
    // Blocks until one meets a marker; then windows while they have markers, unless a
    // window fails.
    bool crowded = false;
    bool windows = true;
    while (j < m) {
        if ((Use & UseWindows) && crowded && windows && m - j >= 2 * Window) {
            // Markers stand where units 0-6 do, skipping the two units after each.
            Unit markers[Window];
            flagMarkers(in + j, markers);
            const std::uint64_t markerBits = bitsOf(markers);
            std::size_t at = p;
            std::size_t read = 0;
            bool bad = false;
            Unit *const from = windowOut + staged;
            const Unit *end =
                decodeWindow(in + j, markerBits, ring.at(0), key.size(), at, read, bad, from);
            if (!bad) {
                const auto produced = static_cast<std::size_t>(end - from);
                staged += produced;
                o += produced;
                j += read;
                p = ring.advance(at, 0);
                crowded = markerBits != 0;
                if (staged >= Window) {
                    // Written out a whole vector at a time, and never past what was read.
                    std::memcpy(out + o - staged, windowOut, Window);
                    std::memcpy(windowOut, windowOut + Window, Window);
                    staged -= Window;
                }
                continue;
            }
            // Some group of the window fails: the plain steps below go over it again from
            // its start, which nothing has been written over, and name the failure.
            windows = false;
        }
        if (staged != 0) {
            std::memcpy(out + o - staged, windowOut, staged);
            staged = 0;
        }
        if ((Use & UseSpans) && !crowded && m - j >= Span) {
            if (decodeBlock<Span>(in + j, ring.at(p), staging)) {
                emit(o, Span, Span, j + Span);
                j += Span;
                o += Span;
                p = ring.advance(p, Span);
                continue;
            }
        }
        if (!(Use & UseBlocks) && m - j >= Block) {
            // The same Block groups, one at a time.
            bool marked = false;
            for (std::size_t k = 0; k < Block && j < m; ++k) {
                const Unit u = in[j];
                if (u <= HighestMarker) {
                    marked = true;
                    if (++j >= m)
                        return {DecodeFailure::EscapeCutShort, j, o};
                    const int value = in[j] + u;
                    if (value > 255)
                        return {DecodeFailure::EscapeAbove255, j, o};
                    if (++j >= m)
                        return {DecodeFailure::EscapeCutShort, j, o};
                    const std::size_t named = in[j];
                    out[o++] = static_cast<Unit>(value);
                    p = ring.after(named);
                } else {
                    const Unit k2 = *ring.at(p);
                    if (u < k2)
                        return {DecodeFailure::BelowKey, j, o};
                    out[o++] = static_cast<Unit>(u - k2);
                    p = ring.advance(p, 1);
                }
                ++j;
            }
            crowded = marked;
            continue;
        }
        if (m - j >= Block) {
            const bool clean = decodeBlock(in + j, ring.at(p), staging);
            crowded = !clean;
            const std::size_t normal = clean ? Block : decodedLead(in + j, ring.at(p));
            emit(o, normal, Block, j + normal);
            j += normal;
            o += normal;
            p = ring.advance(p, normal);
            if (normal == Block)
                continue;
        }
        // One group, as the plain loop reads it.
        const Unit u = in[j];
        if (u <= HighestMarker) {
            if (++j >= m)
                return {DecodeFailure::EscapeCutShort, j, o};
            const int value = in[j] + u;
            if (value > 255)
                return {DecodeFailure::EscapeAbove255, j, o};
            if (++j >= m)
                return {DecodeFailure::EscapeCutShort, j, o};
            const std::size_t named = in[j];
            out[o++] = static_cast<Unit>(value);
            p = ring.after(named);
        } else {
            const Unit k = *ring.at(p);
            if (u < k)
                return {DecodeFailure::BelowKey, j, o};
            out[o++] = static_cast<Unit>(u - k);
            p = ring.advance(p, 1);
        }
        ++j;
    }
    std::memcpy(out + o - staged, windowOut, staged);
    return {DecodeFailure::None, 0, o};
}

CODETARVO_VECTOR_CLONES Decoded decodeApart(std::string_view code, std::string_view key, Unit *out)
{
    return decodeUnits<false>(units(code), code.size(), key, out);
}

CODETARVO_VECTOR_CLONES Decoded decodeInPlace(std::string &code, std::string_view key)
{
    return decodeUnits<true>(units(code), code.size(), key, units(code));
}

// The engine with only some of its strategies, for measuring what each one gains.
#define CODETARVO_VARIANT(USE)                                                                     \
    CODETARVO_VECTOR_CLONES std::string encodeV##USE(std::string_view plain, std::string_view key, \
                                                    std::size_t start, Twister64 &engine)         \
    {                                                                                              \
        return encodeFromEngine<USE>(plain, key, start, engine);                                   \
    }                                                                                              \
    [[maybe_unused]] CODETARVO_VECTOR_CLONES Decoded decodeV##USE(std::string &code,              \
                                                                  std::string_view key)            \
    {                                                                                              \
        return decodeUnits<true, USE & UseAll>(units(code), code.size(), key, units(code));        \
    }
CODETARVO_VARIANT(1)
CODETARVO_VARIANT(2)
CODETARVO_VARIANT(3)
CODETARVO_VARIANT(5)
CODETARVO_VARIANT(6)
CODETARVO_VARIANT(7)
CODETARVO_VARIANT(9)
CODETARVO_VARIANT(13)
CODETARVO_VARIANT(15)
#undef CODETARVO_VARIANT

} // namespace

void setPlainLengthHook(PlainLengthHook hook)
{
    plainLengthHook() = std::move(hook);
}

std::string Coder(std::string plain, std::string key, RandomSource &draws)
{
    if (encodesToNothing(plain, key))
        return {};
    draws.reseed();
    return encode(plain, key, draws, draws);
}

std::string Coder(std::string plain, std::string key)
{
    if (encodesToNothing(plain, key))
        return {};
    static ClockRandomSource draws;
    draws.reseed();
    return encodeOnEngine(plain, key, draws.engine());
}

std::string encodeOnEngine(std::string_view plain, std::string_view key, Twister64 &engine)
{
    if (encodesToNothing(plain, key))
        return {};
    EngineDraws draws{engine};
    return encode(plain, key, draws, engine);
}

DecodeResult decode(std::string_view code, std::string_view key)
{
    std::string plain(code.empty() ? 0 : code.size() - 1, '\0');
    const Decoded decoded = decodeApart(code, key, units(plain));
    if (decoded.failure != DecodeFailure::None)
        return {{}, decoded.failure, decoded.unit};
    plain.resize(decoded.length);
    return {std::move(plain), DecodeFailure::None, 0};
}

std::string Decoder(std::string code, std::string key)
{
    // The plain text is never longer than the code text, so it is written over it.
    const Decoded decoded = decodeInPlace(code, key);
    if (decoded.failure != DecodeFailure::None)
        return std::string(Erreur);
    code.resize(decoded.length);
    return code;
}

std::string encodeOnEngineWith(unsigned use, std::string_view plain, std::string_view key,
                               Twister64 &engine)
{
    if (encodesToNothing(plain, key))
        return {};
    EngineDraws draws{engine};
    const std::size_t p = drawPosition(static_cast<std::ptrdiff_t>(key.size()) - 2, draws.next());
    switch (use) {
#define CODETARVO_CASE(USE)                                                                        \
    case USE:                                                                                      \
        return encodeV##USE(plain, key, p, engine);
        CODETARVO_CASE(1)
        CODETARVO_CASE(2)
        CODETARVO_CASE(3)
        CODETARVO_CASE(5)
        CODETARVO_CASE(6)
        CODETARVO_CASE(9)
        CODETARVO_CASE(13)
        CODETARVO_CASE(15)
#undef CODETARVO_CASE
    default:
        return encodeV7(plain, key, p, engine);
    }
}

std::string decoderWith(unsigned use, std::string code, std::string key)
{
    Decoded decoded;
    switch (use) {
#define CODETARVO_CASE(USE)                                                                        \
    case USE:                                                                                      \
        decoded = decodeV##USE(code, key);                                                         \
        break;
        CODETARVO_CASE(1)
        CODETARVO_CASE(2)
        CODETARVO_CASE(3)
        CODETARVO_CASE(5)
        CODETARVO_CASE(6)
#undef CODETARVO_CASE
    default:
        decoded = decodeV7(code, key);
        break;
    }
    if (decoded.failure != DecodeFailure::None)
        return std::string(Erreur);
    code.resize(decoded.length);
    return code;
}

std::string_view describe(DecodeFailure failure)
{
    switch (failure) {
    case DecodeFailure::None:
        return "no failure";
    case DecodeFailure::EmptyCode:
        return "empty code text";
    case DecodeFailure::StartOutsideKey:
        return "start offset outside the key";
    case DecodeFailure::NoGroup:
        return "code text holds no group";
    case DecodeFailure::EscapeCutShort:
        return "escape group cut short";
    case DecodeFailure::BelowKey:
        return "unit smaller than its key code";
    case DecodeFailure::EscapeAbove255:
        return "escape value above 255";
    }
    return "unknown failure";
}

} // namespace ModCodeur
