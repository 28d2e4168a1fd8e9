// SPDX-License-Identifier: GPL-3.0-or-later
// Coder and decode on 1 MiB of French-like text, best of several runs, in MiB/s: built
// natively and with emscripten by bench/web_bench.mjs, which compares the two.
#include "modcodeur.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

int main()
{
    constexpr std::size_t Size = 1 << 20;
    const std::string sample = "Le cœur a ses raisons que la raison ne connaît point. Élève, été. ";
    std::string plain;
    while (plain.size() < Size)
        plain += sample;
    plain.resize(Size);
    for (char &c : plain)
        c = static_cast<char>(static_cast<unsigned char>(c) < 0x80 ? c : '\xE9');
    const std::string key = "k3y!Tesk";
    double bestCoder = 1e9, bestDecode = 1e9;
    std::size_t check = 0;
    for (int run = 0; run < 15; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        const std::string code = ModCodeur::Coder(plain, key);
        const auto t1 = std::chrono::steady_clock::now();
        const ModCodeur::DecodeResult back = ModCodeur::decode(code, key);
        const auto t2 = std::chrono::steady_clock::now();
        check += back.plain.size();
        bestCoder = std::min(bestCoder, std::chrono::duration<double>(t1 - t0).count());
        bestDecode = std::min(bestDecode, std::chrono::duration<double>(t2 - t1).count());
    }
    std::printf("coder %.1f MiB/s decode %.1f MiB/s (%zu)\n", 1.0 / bestCoder, 1.0 / bestDecode,
                check);
    return check == 15 * Size ? 0 : 1;
}
