// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The 64-bit Mersenne Twister, number for number std::mt19937_64, with the twist written
// without a branch on each word's low bit, which falls at random.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ModCodeur {

class Twister64 {
public:
    void seed(std::uint64_t value)
    {
        m_state[0] = value;
        for (std::size_t i = 1; i < N; ++i)
            m_state[i] = F * (m_state[i - 1] ^ (m_state[i - 1] >> 62)) + i;
        m_next = N;
    }

    std::uint64_t operator()()
    {
        if (m_next >= N)
            twist();
        return temper(m_state[m_next++]);
    }

    // The words the next draws will temper, from the next one to the end of the state (at
    // least one), without drawing them; skip(count) then draws the first COUNT of them. This
    // lets a caller temper many numbers in one loop the compiler vectorises.
    std::span<const std::uint64_t> pending()
    {
        if (m_next >= N)
            twist();
        return {m_state.data() + m_next, N - m_next};
    }
    void skip(std::size_t count) { m_next += count; }

    // How many words pending() can give at most.
    static constexpr std::size_t StateWords = 312;

    // The number a word of the state gives.
    static std::uint64_t temper(std::uint64_t z)
    {
        z ^= (z >> 29) & 0x5555555555555555;
        z ^= (z << 17) & 0x71D67FFFEDA60000;
        z ^= (z << 37) & 0xFFF7EEE000000000;
        z ^= z >> 43;
        return z;
    }

private:
    static constexpr std::size_t N = StateWords;
    static constexpr std::size_t M = 156;
    static constexpr std::uint64_t A = 0xB5026F5AA96619E9;
    static constexpr std::uint64_t F = 6364136223846793005;
    static constexpr std::uint64_t Upper = ~std::uint64_t{0} << 31;
    static constexpr std::uint64_t Lower = ~Upper;

    static std::uint64_t mixed(std::uint64_t high, std::uint64_t low, std::uint64_t far)
    {
        const std::uint64_t y = (high & Upper) | (low & Lower);
        return far ^ (y >> 1) ^ ((std::uint64_t{0} - (y & 1)) & A);
    }

    void twist()
    {
        // In place, in order: from N - M on, the far word is one this pass already renewed.
        for (std::size_t k = 0; k < N - M; ++k)
            m_state[k] = mixed(m_state[k], m_state[k + 1], m_state[k + M]);
        for (std::size_t k = N - M; k < N - 1; ++k)
            m_state[k] = mixed(m_state[k], m_state[k + 1], m_state[k + M - N]);
        m_state[N - 1] = mixed(m_state[N - 1], m_state[0], m_state[M - 1]);
        m_next = 0;
    }

    std::array<std::uint64_t, N> m_state{};
    std::size_t m_next = N;
};

} // namespace ModCodeur
