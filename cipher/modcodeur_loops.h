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

// floor(span * r) + 1, the span capped so the result fits a unit. A negative span (a
// two-code key's re-chosen position) gives 0 for every draw but exactly 0.
[[nodiscard]] unsigned char drawPosition(std::ptrdiff_t span, double r);

// The code text of PLAIN with KEY from the start position START, the re-chosen positions drawn
// from DRAWS. KEY has at least 2 codes.
[[nodiscard]] std::string encodeGroups(std::string_view plain, std::string_view key,
                                       std::size_t start, RandomSource &draws);

// decode, a group at a time.
[[nodiscard]] DecodeResult decodeGroups(std::string_view code, std::string_view key);

} // namespace ModCodeur
