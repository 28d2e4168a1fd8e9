// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The cipher as one plain loop per routine: a unit at a time, pushed onto the output.
// The fast routines of modcodeur.cpp must give exactly what these give, draw for draw and
// failure for failure; the tests and benchmarks compare the two.

#include "modcodeur.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace ModCodeur::ReferenceLoop {

// Positions travel as one code unit, so a draw never exceeds 255 even for long keys.
inline constexpr std::ptrdiff_t LargestPosition = 255;

// floor(span * r) + 1, the span capped so the result fits a unit. A negative span (a
// two-code key's re-chosen position) gives 0 for every draw but exactly 0.
[[nodiscard]] unsigned char drawPosition(std::ptrdiff_t span, double r);

// Coder without the plain-length hook: re-seeds DRAWS, draws the start position, encodes.
[[nodiscard]] std::string coder(std::string_view plain, std::string_view key, RandomSource &draws);

[[nodiscard]] DecodeResult decode(std::string_view code, std::string_view key);

} // namespace ModCodeur::ReferenceLoop
