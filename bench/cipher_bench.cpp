// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the cipher and of the armored form on 1 MiB texts, beside memcpy of the same buffer
// and a plain byte loop as yardsticks. After the usual output, a table gives each case's bytes per
// second as a fraction of memcpy's in the same run.

#include "armor.h"
#include "byteloop.h"
#include "codepage.h"
#include "modcodeur.h"
#include "modcodeur_loops.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t MiB = 1 << 20;
const std::string Key = "k3y!Tesk";

enum class Sample {
    Ascii,     // printable ASCII: every group normal
    Escapes10, // printable ASCII with one code 0xF0 (an escape under any printable key) in ten
    Controls,  // control codes 0-31 only: every group normal, the code text dense in low codes
    Mixed10,   // printable ASCII with one code 130-216 in ten: those escape under some of the
               // key's codes only, so the encoder cannot tell its escapes without the key
    French,    // sentences of common French words: lower-case accents escape under every
               // printable key code, a capital or a ligature under some of them only
};

// Common words, half of them with an accent, a cedilla or a ligature.
constexpr std::string_view FrenchWords =
    "le la les de des du un une et est à où en dans pour avec sur par qui que ne pas plus mais "
    "il elle nous vous ils on ce cette son sa leur tout très déjà après même été être avoir "
    "faire dire voilà là ça aussi bien encore toujours jamais rien temps jour année journée "
    "monde pays ville maison école église hôpital château forêt fenêtre côté père mère frère "
    "sœur cœur œuvre idée café problème première général société vérité liberté qualité façon "
    "garçon leçon reçu français théâtre connaître plaît août goût île dîner";

std::vector<std::string> frenchWords()
{
    std::vector<std::string> words;
    for (std::size_t at = 0; at < FrenchWords.size();) {
        const std::size_t end = std::min(FrenchWords.find(' ', at), FrenchWords.size());
        words.emplace_back(FrenchWords.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// Sentences of 6 to 15 of the words above, the first capitalised, in Windows-1252.
std::string frenchText(std::mt19937 &rng, std::size_t length)
{
    const std::vector<std::string> vocabulary = frenchWords();
    std::string utf8;
    while (utf8.size() < 2 * length) {
        const std::size_t words = 6 + rng() % 10;
        for (std::size_t w = 0; w < words; ++w) {
            std::string word = vocabulary[rng() % vocabulary.size()];
            if (w == 0 && word == "à")
                word = "À";
            else if (w == 0 && word.rfind("é", 0) == 0)
                word = "É" + word.substr(std::strlen("é"));
            else if (w == 0)
                word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
            utf8 += word;
            utf8 += w + 1 == words ? ". " : rng() % 8 == 0 ? ", " : " ";
        }
    }
    std::string codes = std::move(utf8);
    if (CodePage::fromUtf8InPlace(codes))
        codes.clear(); // every word is Windows-1252: not reached
    codes.resize(length);
    return codes;
}

std::string sampleText(Sample sample)
{
    std::mt19937 rng(1);
    if (sample == Sample::French)
        return frenchText(rng, MiB);
    std::string text(MiB, ' ');
    for (char &c : text) {
        switch (sample) {
        case Sample::Ascii:
            c = static_cast<char>(32 + rng() % 95);
            break;
        case Sample::Escapes10:
            c = static_cast<char>(rng() % 10 == 0 ? 0xF0 : 32 + rng() % 95);
            break;
        case Sample::Controls:
            c = static_cast<char>(rng() % 32);
            break;
        case Sample::Mixed10:
            c = static_cast<char>(rng() % 10 == 0 ? 130 + rng() % 87 : 32 + rng() % 95);
            break;
        case Sample::French:
            break;
        }
    }
    return text;
}

void memcpyMiB(benchmark::State &state)
{
    const std::string source = sampleText(Sample::Ascii);
    std::string target(source.size(), '\0');
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}

void byteLoopMiB(benchmark::State &state)
{
    const std::string source = sampleText(Sample::Ascii);
    std::string target(source.size(), '\0');
    for (auto _ : state) {
        addKeyByteByByte(source, Key, target);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}

// A by-value argument made from a string the caller keeps: the copy every call below pays.
void stringCopyMiB(benchmark::State &state)
{
    const std::string source = sampleText(Sample::Ascii);
    for (auto _ : state) {
        std::string copy = source;
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}

void coderMiB(benchmark::State &state, Sample sample)
{
    const std::string plain = sampleText(sample);
    for (auto _ : state)
        benchmark::DoNotOptimize(ModCodeur::Coder(plain, Key));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
}

void decoderMiB(benchmark::State &state, Sample sample)
{
    const std::string code = ModCodeur::Coder(sampleText(sample), Key);
    if (ModCodeur::Decoder(code, Key) != sampleText(sample))
        state.SkipWithError("the code text does not decode back");
    for (auto _ : state)
        benchmark::DoNotOptimize(ModCodeur::Decoder(code, Key));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * code.size()));
}

// The loops a group at a time, which the vector engine must agree with, for comparison.
void loopCoderMiB(benchmark::State &state, Sample sample)
{
    const std::string plain = sampleText(sample);
    ModCodeur::ClockRandomSource draws;
    const auto span = static_cast<std::ptrdiff_t>(Key.size()) - 2;
    for (auto _ : state) {
        draws.reseed();
        const std::size_t start = ModCodeur::drawPosition(span, draws.next());
        benchmark::DoNotOptimize(ModCodeur::encodeGroups(plain, Key, start, draws));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
}

void loopDecodeMiB(benchmark::State &state, Sample sample)
{
    const std::string code = ModCodeur::Coder(sampleText(sample), Key);
    for (auto _ : state)
        benchmark::DoNotOptimize(ModCodeur::decodeGroups(code, Key));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * code.size()));
}

// A 1 MiB code text of every code, as its armored form carries it.
std::string codeMiB()
{
    std::mt19937 rng(2);
    std::string code(MiB, '\0');
    for (char &c : code)
        c = static_cast<char>(rng());
    return code;
}

// The armored form as written, or as a mail reader quotes it: "> " before each line, CR LF.
std::string armoredMiB(bool quoted)
{
    const std::string armored = Armor::armor(codeMiB());
    if (!quoted)
        return armored;
    std::string mail = "> ";
    for (const char c : armored)
        mail += c == '\n' ? "\r\n> " : std::string(1, c);
    return mail;
}

// Bytes of code text per second, both ways.
void armorMiB(benchmark::State &state)
{
    const std::string code = codeMiB();
    for (auto _ : state)
        benchmark::DoNotOptimize(Armor::armor(code));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * code.size()));
}

void dearmorMiB(benchmark::State &state, bool quoted)
{
    const std::string armored = armoredMiB(quoted);
    if (Armor::dearmor(armored).code != codeMiB())
        state.SkipWithError("the armored form does not read back");
    for (auto _ : state)
        benchmark::DoNotOptimize(Armor::dearmor(armored));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * MiB));
}

// The console output, then each case's bytes per second over memcpy's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.error_occurred || rate == run.counters.end())
                continue;
            // With repetitions, the median stands for the case; otherwise its only run.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || median) {
                const std::string name = run.run_name.str();
                if (m_rates.count(name) == 0)
                    m_order.emplace(std::make_pair(run.family_index, run.per_family_instance_index),
                                    name);
                if (m_rates.count(name) == 0 || median)
                    m_rates[name] = rate->second.value;
            }
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto memcpyRate = m_rates.find("memcpyMiB");
        if (memcpyRate == m_rates.end() || memcpyRate->second <= 0)
            return;
        std::printf("\n%-30s %12s %10s\n", "case", "GiB/s", "vs memcpy");
        for (const auto &[index, name] : m_order)
            std::printf("%-30s %12.2f %10.3f\n", name.c_str(), m_rates[name] / (1 << 30),
                        m_rates[name] / memcpyRate->second);
        std::fflush(stdout);
    }

private:
    std::map<std::string, double> m_rates;
    // The cases in the order they are declared below, whatever order they ran in.
    std::map<std::pair<std::int64_t, std::int64_t>, std::string> m_order;
};

} // namespace

BENCHMARK(memcpyMiB);
BENCHMARK(byteLoopMiB);
BENCHMARK(stringCopyMiB);
BENCHMARK_CAPTURE(coderMiB, ascii, Sample::Ascii);
BENCHMARK_CAPTURE(coderMiB, escapes10, Sample::Escapes10);
BENCHMARK_CAPTURE(coderMiB, controls, Sample::Controls);
BENCHMARK_CAPTURE(coderMiB, mixed10, Sample::Mixed10);
BENCHMARK_CAPTURE(coderMiB, french, Sample::French);
BENCHMARK_CAPTURE(decoderMiB, ascii, Sample::Ascii);
BENCHMARK_CAPTURE(decoderMiB, escapes10, Sample::Escapes10);
BENCHMARK_CAPTURE(decoderMiB, controls, Sample::Controls);
BENCHMARK_CAPTURE(decoderMiB, mixed10, Sample::Mixed10);
BENCHMARK_CAPTURE(decoderMiB, french, Sample::French);
BENCHMARK_CAPTURE(loopCoderMiB, ascii, Sample::Ascii);
BENCHMARK_CAPTURE(loopCoderMiB, escapes10, Sample::Escapes10);
BENCHMARK_CAPTURE(loopDecodeMiB, ascii, Sample::Ascii);
BENCHMARK_CAPTURE(loopDecodeMiB, escapes10, Sample::Escapes10);
BENCHMARK(armorMiB);
BENCHMARK_CAPTURE(dearmorMiB, written, false);
BENCHMARK_CAPTURE(dearmorMiB, quoted, true);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
