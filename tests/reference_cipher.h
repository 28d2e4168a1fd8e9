// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A deliberately plain second reading of the code-text format, on vectors of ints, for
// differential checks against the cipher library.

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

namespace Reference {

using Codes = std::vector<int>;

inline int position(int span, double r)
{
    return static_cast<int>(std::floor(std::min(span, 255) * r)) + 1;
}

inline Codes encode(const Codes &plain, const Codes &key, const std::function<double()> &draw)
{
    const int lk = static_cast<int>(key.size());
    int p = position(lk - 2, draw());
    Codes out{p};
    for (const int b : plain) {
        const int sum = key[p] + b;
        if (sum >= 7 && sum <= 249) {
            out.push_back(sum);
        } else {
            p = position(lk - 3, draw());
            if (b == 0)
                out.insert(out.end(), {0, 0, p});
            else
                out.insert(out.end(), {1, b - 1, p});
        }
        p = (p + 1) % lk;
    }
    return out;
}

// Nothing when the code text does not fit the key.
inline std::optional<Codes> decode(const Codes &code, const Codes &key)
{
    const int lk = static_cast<int>(key.size());
    const int m = static_cast<int>(code.size());
    if (m < 2 || code[0] >= lk)
        return std::nullopt;
    Codes out;
    int p = code[0];
    int j = 1;
    while (j < m) {
        if (code[j] <= 6) {
            if (j + 2 >= m || code[j] + code[j + 1] > 255)
                return std::nullopt;
            out.push_back(code[j] + code[j + 1]);
            p = code[j + 2] + 1 >= lk ? 0 : code[j + 2] + 1;
            j += 3;
        } else {
            if (code[j] < key[p])
                return std::nullopt;
            out.push_back(code[j] - key[p]);
            p = (p + 1) % lk;
            j += 1;
        }
    }
    return out;
}

} // namespace Reference
