// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The cipher a group at a time: what Coder and decode run on short texts, and what the vector
// engine must give on long ones, draw for draw and failure for failure.

#include "modcodeur.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace ModCodeur {

// Positions travel as one code unit, so a draw never exceeds 255 even for long keys.
inline constexpr std::ptrdiff_t LargestPosition = 255;

// floor(SCALED) + 1 for a drawn position SCALED = span * r, r in [0, 1) and the span at most
// LargestPosition. The conversion to int truncates towards zero, which is the floor from 0 up;
// below 0 (a span of -1) the floor is one less unless SCALED is whole. Free of calls, so that
// a loop of it turns into vector code.
[[nodiscard]] constexpr unsigned char positionOf(double scaled)
{
    const int truncated = static_cast<int>(scaled);
    return static_cast<unsigned char>(truncated - (scaled < truncated) + 1);
}

// floor(span * r) + 1, the span capped so the result fits a unit. A negative span (a
// two-code key's re-chosen position) gives 0 for every draw but exactly 0.
[[nodiscard]] unsigned char drawPosition(std::ptrdiff_t span, double r);

// Writes the escape group of the plain code B, naming the key position Q, as the three units
// at OUT, and gives their end.
template <class Unit> Unit *writeEscape(Unit *out, unsigned char b, unsigned char q)
{
    // Code 0 cannot travel as b - 1; marker 0 carries it unchanged.
    const unsigned char marker = b == 0 ? 0 : 1;
    out[0] = static_cast<Unit>(marker);
    out[1] = static_cast<Unit>(b - marker);
    out[2] = static_cast<Unit>(q);
    return out + 3;
}

// The code text of PLAIN with KEY from the start position START, the re-chosen positions drawn
// from DRAWS. KEY has at least 2 codes.
[[nodiscard]] std::string encodeGroups(std::string_view plain, std::string_view key,
                                       std::size_t start, RandomSource &draws);

// decode, a group at a time.
[[nodiscard]] DecodeResult decodeGroups(std::string_view code, std::string_view key);

} // namespace ModCodeur
