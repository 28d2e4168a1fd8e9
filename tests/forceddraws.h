// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "randomsource.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

// Draws chosen by the test: a fixed sequence, repeated; or seeded pseudo-random ones.
class ForcedDraws final : public ModCodeur::RandomSource {
public:
    explicit ForcedDraws(std::vector<double> values) : m_values(std::move(values)) {}
    void reseed() override { ++m_reseeds; }
    double next() override
    {
        const double value = m_values[m_next % m_values.size()];
        ++m_next;
        return value;
    }
    std::size_t drawn() const { return m_next; }
    int reseeds() const { return m_reseeds; }

private:
    std::vector<double> m_values;
    std::size_t m_next = 0;
    int m_reseeds = 0;
};

class SeededDraws final : public ModCodeur::RandomSource {
public:
    explicit SeededDraws(unsigned seed) : m_engine(seed) {}
    void reseed() override {}
    double next() override { return ModCodeur::unitReal(m_engine()); }

private:
    std::mt19937_64 m_engine;
};

// The process generator's kind of draws, many at a time to the engine, seeded by the test.
class TwisterDraws final : public ModCodeur::TwisterRandomSource {
public:
    explicit TwisterDraws(std::uint64_t seed) : m_seed(seed) {}
    void reseed() override { engine().seed(m_seed); }

private:
    std::uint64_t m_seed;
};

inline constexpr double JustBelowOne = 0x1.fffffffffffffp-1;
