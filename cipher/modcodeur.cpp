#include "modcodeur.h"

#include "modcodeur_reference.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

// The routines here work on blocks of units with loops the compiler turns into vector code:
// a block whose every unit is a normal group is written at once, and the first unit that is
// not ends the block and goes through the one-group step of the plain loop. What comes out,
// the draws taken and the failure reported are those of modcodeur_reference.cpp.

namespace ModCodeur {

namespace {

PlainLengthHook &plainLengthHook() {
    static PlainLengthHook hook;
    return hook;
}

using Unit = unsigned char;

// The block loops are built once for the baseline instruction set and once for AVX2, the
// better one picked when the program loads; elsewhere they are built once, as they are.
#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define CODETARVO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
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

const Unit *units(std::string_view text) {
    return reinterpret_cast<const Unit *>(text.data());
}

Unit *units(std::string &text) {
    return reinterpret_cast<Unit *>(text.data());
}

// The key written out again and again, so that the key codes of any block starting at a
// position below period() follow each other in memory. period() is a multiple of the key
// length of at least Block, so positions stay below it with one subtraction per block.
class KeyRing {
public:
    explicit KeyRing(std::string_view key)
        : m_length(key.size()), m_period(m_length * ((Block + m_length - 1) / m_length)),
          m_codes(m_period + Block, '\0') {
        for (std::size_t q = 0; q < m_codes.size(); ++q)
            m_codes[q] = key[q % m_length];
    }

    std::size_t length() const { return m_length; }
    std::size_t period() const { return m_period; }
    const Unit *at(std::size_t position) const { return units(m_codes) + position; }

    // POSITION advanced by STEP (at most Block), kept below period().
    std::size_t advance(std::size_t position, std::size_t step) const {
        position += step;
        return position >= m_period ? position - m_period : position;
    }

    // The position after an escape group that named POSITION: the next one, or 0 when that
    // is past the key's end.
    std::size_t after(std::size_t position) const {
        return position + 1 >= m_length ? 0 : position + 1;
    }

private:
    std::size_t m_length;
    std::size_t m_period;
    std::string m_codes;
};

// Index of the first set flag (each 0 or 1) of a block, or Block when there is none.
// Without a branch on where it is: escapes fall at random places, which a branch mispredicts.
std::size_t firstFlagged(const Unit (&flags)[Block]) {
    static_assert(Block <= 56 && Block % 8 == 0);
    if constexpr (std::endian::native == std::endian::little) {
        // Eight 0/1 bytes times this constant gather into the top byte, byte t as bit t.
        constexpr std::uint64_t Gather = 0x0102040810204080;
        std::uint64_t words[Block / 8];
        std::memcpy(words, flags, Block);
        std::uint64_t any = 0;
        for (const std::uint64_t word : words)
            any |= word;
        if (any == 0)
            return Block;
        std::uint64_t mask = 0;
        for (std::size_t w = 0; w < Block / 8; ++w)
            mask |= ((words[w] * Gather) >> 56) << (8 * w);
        return static_cast<std::size_t>(std::countr_zero(mask));
    }
    for (std::size_t t = 0; t < Block; ++t)
        if (flags[t] != 0)
            return t;
    return Block;
}

// Whether plain code B with key code K must go as an escape group: the sum carries out of
// the byte, or lies outside 7-249.
inline Unit needsEscape(Unit k, Unit b) {
    const Unit sum = static_cast<Unit>(k + b);
    const bool carry = sum < k;
    const bool outside =
        static_cast<Unit>(sum - (HighestMarker + 1)) > EscapeThreshold - 1 - (HighestMarker + 1);
    return static_cast<Unit>(carry | outside);
}

// Whether code unit U cannot be read as a normal group with key code K: it is a marker, or
// below K.
inline Unit stopsDecoding(Unit k, Unit u) {
    return static_cast<Unit>(u < std::max(k, static_cast<Unit>(HighestMarker + 1)));
}

// Writes Block plain units plus their key codes to OUT, and gives whether each of them is a
// normal group.
bool encodeBlock(const Unit *plain, const Unit *key, Unit *CODETARVO_RESTRICT out) {
    Unit escapes = 0;
    for (std::size_t t = 0; t < Block; ++t) {
        out[t] = static_cast<Unit>(key[t] + plain[t]);
        escapes |= needsEscape(key[t], plain[t]);
    }
    return escapes == 0;
}

// How many of Block plain units are normal groups before the first that is not.
std::size_t normalLead(const Unit *plain, const Unit *key) {
    Unit escapes[Block];
    for (std::size_t t = 0; t < Block; ++t)
        escapes[t] = needsEscape(key[t], plain[t]);
    return firstFlagged(escapes);
}

// Writes Block code units minus their key codes to OUT, and gives whether each of them is a
// normal group that fits its key code.
bool decodeBlock(const Unit *code, const Unit *key, Unit *CODETARVO_RESTRICT out) {
    Unit stops = 0;
    for (std::size_t t = 0; t < Block; ++t) {
        out[t] = static_cast<Unit>(code[t] - key[t]);
        stops |= stopsDecoding(key[t], code[t]);
    }
    return stops == 0;
}

// How many of Block code units decode as normal groups before the first that does not.
std::size_t decodedLead(const Unit *code, const Unit *key) {
    Unit stops[Block];
    for (std::size_t t = 0; t < Block; ++t)
        stops[t] = stopsDecoding(key[t], code[t]);
    return firstFlagged(stops);
}

// ReferenceLoop::drawPosition, with the floor of a product that cannot be negative taken by
// truncation, which gives the same whole number without a library call.
Unit drawPosition(std::ptrdiff_t span, double r) {
    if (span < 0)
        return ReferenceLoop::drawPosition(span, r);
    const double capped = static_cast<double>(std::min(span, ReferenceLoop::LargestPosition));
    return static_cast<Unit>(static_cast<int>(capped * r) + 1);
}

// The groups of PLAIN after unit 0, the start position START, with KEY.
CODETARVO_VECTOR_CLONES std::string encodeFrom(std::string_view plain, std::string_view key,
                                               std::size_t start, RandomSource &draws) {
    const std::size_t n = plain.size();
    const auto lk = static_cast<std::ptrdiff_t>(key.size());
    const KeyRing ring(key);
    const Unit *in = units(plain);

    // Room for every group being normal and a few escapes; grown when escapes need more.
    std::string out(n + 1 + n / 8 + Block, '\0');
    Unit *dst = units(out);
    const auto makeRoom = [&](std::size_t j, std::size_t need) {
        if (j + need > out.size()) {
            out.resize(std::max(out.size() + out.size() / 2, j + need));
            dst = units(out);
        }
    };

    dst[0] = static_cast<Unit>(start);
    std::size_t p = start;
    std::size_t i = 0;
    std::size_t j = 1;
    while (i < n) {
        if (n - i >= Block) {
            makeRoom(j, Block);
            const std::size_t normal =
                encodeBlock(in + i, ring.at(p), dst + j) ? Block : normalLead(in + i, ring.at(p));
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
            // Code 0 cannot travel as b - 1; marker 0 carries it unchanged.
            const Unit marker = b == 0 ? 0 : 1;
            const Unit q = drawPosition(lk - 3, draws.next());
            dst[j++] = marker;
            dst[j++] = static_cast<Unit>(b - marker);
            dst[j++] = q;
            p = ring.after(q);
        }
    }
    out.resize(j);
    return out;
}

// decode, in blocks.
CODETARVO_VECTOR_CLONES DecodeResult decodeGroups(std::string_view code, std::string_view key) {
    const auto fail = [](DecodeFailure failure, std::size_t unit) {
        return DecodeResult{{}, failure, unit};
    };
    if (code.empty())
        return fail(DecodeFailure::EmptyCode, 0);
    const std::size_t m = code.size();
    const Unit *in = units(code);
    // Only the start offset can point outside the key: later positions wrap.
    if (in[0] >= key.size())
        return fail(DecodeFailure::StartOutsideKey, 0);
    if (m < 2)
        return fail(DecodeFailure::NoGroup, 1);

    const KeyRing ring(key);
    std::string out(m - 1, '\0');
    Unit *dst = units(out);
    std::size_t p = in[0];
    std::size_t j = 1;
    std::size_t o = 0;
    while (j < m) {
        if (m - j >= Block) {
            const std::size_t normal =
                decodeBlock(in + j, ring.at(p), dst + o) ? Block : decodedLead(in + j, ring.at(p));
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
                return fail(DecodeFailure::EscapeCutShort, j);
            const int value = in[j] + u;
            if (value > 255)
                return fail(DecodeFailure::EscapeAbove255, j);
            dst[o++] = static_cast<Unit>(value);
            if (++j >= m)
                return fail(DecodeFailure::EscapeCutShort, j);
            p = ring.after(in[j]);
        } else {
            const Unit k = *ring.at(p);
            if (u < k)
                return fail(DecodeFailure::BelowKey, j);
            dst[o++] = static_cast<Unit>(u - k);
            p = ring.advance(p, 1);
        }
        ++j;
    }
    out.resize(o);
    return {std::move(out), DecodeFailure::None, 0};
}

} // namespace

void setPlainLengthHook(PlainLengthHook hook) {
    plainLengthHook() = std::move(hook);
}

std::string Coder(std::string plain, std::string key, RandomSource &draws) {
    const auto lk = static_cast<std::ptrdiff_t>(key.size());
    if (lk < 2 || plain.empty())
        return {};

    draws.reseed();
    const std::size_t p = drawPosition(lk - 2, draws.next());
    if (const auto &hook = plainLengthHook())
        hook(plain.size());
    return encodeFrom(plain, key, p, draws);
}

std::string Coder(std::string plain, std::string key) {
    static ClockRandomSource draws;
    return Coder(std::move(plain), std::move(key), draws);
}

DecodeResult decode(std::string_view code, std::string_view key) {
    return decodeGroups(code, key);
}

std::string Decoder(std::string code, std::string key) {
    DecodeResult result = decode(code, key);
    return result.ok() ? std::move(result.plain) : std::string(Erreur);
}

std::string_view describe(DecodeFailure failure) {
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
