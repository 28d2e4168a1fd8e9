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

} // namespace ModCodeur
