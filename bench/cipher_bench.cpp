// Throughput of the cipher on 1 MiB texts, beside memcpy of the same buffer as the yardstick.

#include "modcodeur.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

namespace {

constexpr std::size_t MiB = 1 << 20;
const std::string Key = "k3y!Tesk";

// ASCII text where about ESCAPEPERCENT characters in a hundred need an escape group.
std::string sampleText(int escapePercent)
{
    std::mt19937 rng(1);
    std::string text(MiB, ' ');
    for (char &c : text)
        c = static_cast<char>(static_cast<int>(rng() % 100) < escapePercent ? 0xF0
                                                                           : 32 + rng() % 95);
    return text;
}

void memcpyMiB(benchmark::State &state)
{
    const std::string source = sampleText(0);
    std::string target(source.size(), '\0');
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}

void coderMiB(benchmark::State &state, int escapePercent)
{
    const std::string plain = sampleText(escapePercent);
    for (auto _ : state)
        benchmark::DoNotOptimize(ModCodeur::Coder(plain, Key));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
}

void decoderMiB(benchmark::State &state, int escapePercent)
{
    const std::string code = ModCodeur::Coder(sampleText(escapePercent), Key);
    for (auto _ : state)
        benchmark::DoNotOptimize(ModCodeur::Decoder(code, Key));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * code.size()));
}

} // namespace

BENCHMARK(memcpyMiB);
BENCHMARK_CAPTURE(coderMiB, ascii, 0);
BENCHMARK_CAPTURE(coderMiB, escapes10, 10);
BENCHMARK_CAPTURE(decoderMiB, ascii, 0);
BENCHMARK_CAPTURE(decoderMiB, escapes10, 10);
