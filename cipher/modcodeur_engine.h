// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Coder drawing straight from a generator, for the encoder's own clock-seeded one: its
// re-chosen positions are converted from the generator's words many at a time.

#include "twister64.h"

#include <string>
#include <string_view>

namespace ModCodeur {

// Coder(plain, key) without the re-seeding: the start and re-chosen positions are the next
// numbers of ENGINE, which has given exactly those when this returns.
[[nodiscard]] std::string encodeOnEngine(std::string_view plain, std::string_view key,
                                         Twister64 &engine);

// The strategies of the block loops, to measure each one's gain by leaving it out.
enum Strategy : unsigned {
    UseSpans = 1,
    UseBlocks = 2,
    UseWindows = 4,
    UseAll = 7,
    UseNoBatch = 8, // the re-chosen positions drawn one virtual call at a time
};

// encodeOnEngine and Decoder with only the strategies of USE (UseAll, or UseAll without one
// of them, or UseBlocks alone).
[[nodiscard]] std::string encodeOnEngineWith(unsigned use, std::string_view plain,
                                             std::string_view key, Twister64 &engine);
[[nodiscard]] std::string decoderWith(unsigned use, std::string code, std::string key);

} // namespace ModCodeur
