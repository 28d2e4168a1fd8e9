// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "twister64.h"

#include <cstdint>

namespace ModCodeur {

// 53 random bits as a real in [0, 1): exact, and never rounds up to 1.0 the way
// std::generate_canonical may.
[[nodiscard]] constexpr double unitReal(std::uint64_t bits)
{
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

// Where the encoder's draws come from: uniform reals in [0, 1), re-seeded at every encoding.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void reseed() = 0;
    // A real in [0, 1); never 1.0.
    virtual double next() = 0;
};

// Draws from the 64-bit Mersenne Twister, which the encoder may also read many numbers at a
// time; how it is seeded is the subclass's.
class TwisterRandomSource : public RandomSource {
public:
    double next() final { return unitReal(m_engine()); }
    Twister64 &engine() { return m_engine; }

private:
    Twister64 m_engine;
};

// The process's generator, seeded from the system clock.
class ClockRandomSource final : public TwisterRandomSource {
public:
    void reseed() override;
};

} // namespace ModCodeur
