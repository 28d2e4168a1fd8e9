// SPDX-License-Identifier: GPL-3.0-or-later
#include "modcodeur_reference.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ModCodeur::ReferenceLoop {

namespace {

unsigned char code(char c)
{
    return static_cast<unsigned char>(c);
}

} // namespace

unsigned char drawPosition(std::ptrdiff_t span, double r)
{
    const double capped = static_cast<double>(std::min(span, LargestPosition));
    return static_cast<unsigned char>(std::floor(capped * r) + 1);
}

std::string coder(std::string_view plain, std::string_view key, RandomSource &draws)
{
    const auto lk = static_cast<std::ptrdiff_t>(key.size());
    if (lk < 2 || plain.empty())
        return {};

    draws.reseed();
    std::size_t p = drawPosition(lk - 2, draws.next());
    std::string out;
    out.reserve(plain.size() + 1);
    out.push_back(static_cast<char>(p));

    for (const char c : plain) {
        const int b = code(c);
        const int sum = code(key[p]) + b;
        if (sum > HighestMarker && sum < EscapeThreshold) {
            out.push_back(static_cast<char>(sum));
        } else {
            // Code 0 cannot travel as b - 1; marker 0 carries it unchanged.
            const int marker = b == 0 ? 0 : 1;
            p = drawPosition(lk - 3, draws.next());
            out.push_back(static_cast<char>(marker));
            out.push_back(static_cast<char>(b - marker));
            out.push_back(static_cast<char>(p));
        }
        if (++p >= key.size())
            p = 0;
    }
    return out;
}

DecodeResult decode(std::string_view code, std::string_view key)
{
    const auto fail = [](DecodeFailure failure, std::size_t unit) {
        return DecodeResult{{}, failure, unit};
    };
    if (code.empty())
        return fail(DecodeFailure::EmptyCode, 0);

    const std::size_t lk = key.size();
    const std::size_t m = code.size();
    std::size_t p = ReferenceLoop::code(code[0]);
    std::size_t j = 1;
    std::string out;
    out.reserve(m - 1);
    do {
        // Only the start offset can point outside the key: later positions wrap below.
        if (p >= lk)
            return fail(DecodeFailure::StartOutsideKey, 0);
        const int k = ReferenceLoop::code(key[p]);
        if (j >= m)
            return fail(DecodeFailure::NoGroup, j);
        const int u = ReferenceLoop::code(code[j]);
        if (u <= HighestMarker) {
            if (++j >= m)
                return fail(DecodeFailure::EscapeCutShort, j);
            const int value = ReferenceLoop::code(code[j]) + u;
            if (value > 255)
                return fail(DecodeFailure::EscapeAbove255, j);
            out.push_back(static_cast<char>(value));
            if (++j >= m)
                return fail(DecodeFailure::EscapeCutShort, j);
            p = ReferenceLoop::code(code[j]);
        } else {
            if (u < k)
                return fail(DecodeFailure::BelowKey, j);
            out.push_back(static_cast<char>(u - k));
        }
        ++j;
        if (++p >= lk)
            p = 0;
    } while (j < m);
    return {std::move(out), DecodeFailure::None, 0};
}

} // namespace ModCodeur::ReferenceLoop
