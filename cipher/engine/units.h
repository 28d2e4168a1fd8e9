// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What both directions of the engine work with: code units, the key laid out for vector loads,
// and the widths of the loops.

#include "modcodeur.h"
#include "vectorclones.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace ModCodeur::Engine {

using Unit = unsigned char;

// Units per span: a text with no escape in sight goes a span at a time, checked once.
inline constexpr std::size_t Span = 256;
// Units per window: where the escapes of a window can be told from the text alone, the
// window's runs of normal groups are each written as one block of this many units.
inline constexpr std::size_t Window = 64;

inline const Unit *units(std::string_view text)
{
    return reinterpret_cast<const Unit *>(text.data());
}

inline Unit *units(std::string &text)
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
#elif defined(__wasm_simd128__)
    // The same gathering of top bits in WebAssembly's vectors.
    for (std::size_t w = 0; w < Count; w += 16) {
        const auto top = wasm_i8x16_bitmask(wasm_i8x16_neg(wasm_v128_load(flags + w)));
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

// Writes WIDTH units WAY::unit(key code, unit) to OUT, and gives whether WAY::stops(key code,
// unit) held for none of them. WAY is how the engine goes: encoding or decoding.
template <std::size_t Width, class Way>
[[gnu::always_inline]] inline bool writeBlock(const Unit *in, const Unit *key,
                                              Unit *CODETARVO_RESTRICT out)
{
    Unit stopped = 0;
    for (std::size_t t = 0; t < Width; ++t) {
        out[t] = Way::unit(key[t], in[t]);
        stopped |= Way::stops(key[t], in[t]);
    }
    return stopped == 0;
}

} // namespace ModCodeur::Engine
