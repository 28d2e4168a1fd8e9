// SPDX-License-Identifier: GPL-3.0-or-later
// The vector engine of Coder and decode against the loops a group at a time: same code text,
// same draws taken, same failure at the same unit, whatever the key length, the text length,
// the start position and where in a block the escapes fall.

#include "engine/engine.h"
#include "forceddraws.h"
#include "modcodeur.h"
#include "modcodeur_loops.h"
#include "twister64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

using ModCodeur::DecodeResult;

namespace {

// Seeded draws that start over at every re-seeding, so two encodings see the same values.
// One draw in eight is one of the extremes 0 and just below 1.
class ReplayDraws final : public ModCodeur::RandomSource {
public:
    explicit ReplayDraws(std::uint64_t seed) : m_seed(seed) {}
    void reseed() override
    {
        m_engine.seed(m_seed);
        ++m_reseeds;
    }
    double next() override
    {
        ++m_drawn;
        const std::uint64_t bits = m_engine();
        switch (bits % 16) {
        case 0:
            return 0.0;
        case 1:
            return JustBelowOne;
        default:
            return ModCodeur::unitReal(bits);
        }
    }
    std::size_t drawn() const { return m_drawn; }
    int reseeds() const { return m_reseeds; }

private:
    std::uint64_t m_seed;
    std::mt19937_64 m_engine;
    std::size_t m_drawn = 0;
    int m_reseeds = 0;
};

// The generator's own numbers, as the encoder's clock-seeded source gives them, from a fixed
// seed, one at a time: the loops' reference for TwisterDraws, which the engine reads many at a
// time.
class TwisterOneAtATime final : public ModCodeur::RandomSource {
public:
    explicit TwisterOneAtATime(std::uint64_t seed) : m_seed(seed) {}
    void reseed() override { m_engine.seed(m_seed); }
    double next() override { return ModCodeur::unitReal(m_engine()); }
    ModCodeur::Twister64 &engine() { return m_engine; }

private:
    std::uint64_t m_seed;
    ModCodeur::Twister64 m_engine;
};

// Coder by the engine or by the loops, whatever the text's length.
std::string coder(std::string_view plain, std::string_view key, ModCodeur::RandomSource &draws,
                  bool byEngine)
{
    if (key.size() < 2 || plain.empty())
        return {};
    draws.reseed();
    const std::size_t start =
        ModCodeur::drawPosition(static_cast<std::ptrdiff_t>(key.size()) - 2, draws.next());
    return byEngine ? ModCodeur::Engine::encode(plain, key, start, draws)
                    : ModCodeur::encodeGroups(plain, key, start, draws);
}

// decode by the engine, whatever the text's length; IN_PLACE writes over the code text.
DecodeResult engineDecode(std::string_view code, std::string_view key, bool inPlace = false)
{
    std::string text(code);
    std::string plain(code.size(), '\0');
    const auto decoded = ModCodeur::Engine::decode(text, key, inPlace ? text.data() : plain.data());
    std::string &out = inPlace ? text : plain;
    out.resize(decoded.failure == ModCodeur::DecodeFailure::None ? decoded.length : 0);
    return {std::move(out), decoded.failure, decoded.unit};
}

std::string show(std::string_view text)
{
    return testing::PrintToString(std::string(text));
}

// Printable codes, or any code at all: with the latter, sums wrap past 255, fall below 7 and
// meet code 0.
std::string randomKey(std::mt19937 &rng, std::size_t length, bool printable)
{
    std::string key(length, '\0');
    for (char &c : key)
        c = static_cast<char>(printable ? 32 + rng() % 95 : rng() % 256);
    return key;
}

// Mostly printable text; about one unit in TROUBLEEVERY is a code that escapes or sums low:
// 0, 1-6, or 250 and up.
std::string randomPlain(std::mt19937 &rng, std::size_t length, unsigned troubleEvery)
{
    std::string plain(length, '\0');
    for (char &c : plain) {
        if (troubleEvery != 0 && rng() % troubleEvery == 0) {
            const unsigned kind = rng() % 3;
            c = static_cast<char>(kind == 0 ? 0 : kind == 1 ? 1 + rng() % 6 : 250 + rng() % 6);
        } else {
            c = static_cast<char>(32 + rng() % 95);
        }
    }
    return plain;
}

// Encodes with both loops from the same draws; fails the test on any difference.
void expectSameEncoding(const std::string &plain, const std::string &key, std::uint64_t seed)
{
    ReplayDraws fastDraws(seed);
    ReplayDraws referenceDraws(seed);
    const std::string fast = coder(plain, key, fastDraws, true);
    const std::string expected = coder(plain, key, referenceDraws, false);
    ASSERT_EQ(fast, expected) << "key " << show(key) << " plain " << show(plain) << " seed "
                              << seed;
    ASSERT_EQ(fastDraws.drawn(), referenceDraws.drawn()) << "key " << show(key);
    ASSERT_EQ(fastDraws.reseeds(), referenceDraws.reseeds());
}

// Encodes with the generator's numbers read many at a time, as Coder(plain, key) does, and
// with the loops from the same numbers; fails the test on any difference, or if the generator
// was not left exactly past the numbers used.
void expectSameEncodingOnEngine(const std::string &plain, const std::string &key,
                                std::uint64_t seed)
{
    TwisterDraws fastDraws(seed);
    TwisterOneAtATime reference(seed);
    const std::string fast = coder(plain, key, fastDraws, true);
    const std::string expected = coder(plain, key, reference, false);
    ASSERT_EQ(fast, expected) << "key " << show(key) << " plain " << show(plain) << " seed "
                              << seed;
    ASSERT_EQ(fastDraws.engine()(), reference.engine()())
        << "key " << show(key) << " seed " << seed;
}

void expectSameDecoding(std::string_view code, std::string_view key)
{
    const DecodeResult expected = ModCodeur::decodeGroups(code, key);
    // The engine beside the loops, in place, and decode, which picks one of the two.
    for (const DecodeResult &fast :
         {engineDecode(code, key), engineDecode(code, key, true), ModCodeur::decode(code, key)}) {
        ASSERT_EQ(fast.failure, expected.failure) << "key " << show(key) << " code " << show(code);
        ASSERT_EQ(fast.unit, expected.unit) << "key " << show(key) << " code " << show(code);
        ASSERT_EQ(fast.plain, expected.plain) << "key " << show(key) << " code " << show(code);
    }
    const std::string text = ModCodeur::Decoder(std::string(code), std::string(key));
    ASSERT_EQ(text, expected.ok() ? expected.plain : std::string(ModCodeur::Erreur));
}

} // namespace

TEST(CoderFastPath, EveryKeyLengthWithManyTextLengths)
{
    std::mt19937 rng(20261207);
    for (std::size_t lk = 2; lk <= 300; ++lk) {
        for (int round = 0; round < 24; ++round) {
            const std::string key = randomKey(rng, lk, round % 3 != 0);
            const std::size_t length = 1 + rng() % 400;
            const unsigned troubleEvery = std::vector<unsigned>{0, 2, 5, 17, 70}[round % 5];
            expectSameEncoding(randomPlain(rng, length, troubleEvery), key, rng());
        }
    }
}

TEST(CoderFastPath, EveryTextLengthUpToSeveralBlocks)
{
    std::mt19937 rng(31);
    for (std::size_t length = 1; length <= 400; ++length) {
        for (const std::size_t lk : {2, 3, 7, 8, 31, 32, 33, 64, 255, 256, 257}) {
            const std::string key = randomKey(rng, lk, length % 2 == 0);
            expectSameEncoding(randomPlain(rng, length, length % 4 == 0 ? 0 : 9), key, rng());
        }
    }
}

TEST(CoderFastPath, EscapesAndLowSumsAtEveryPosition)
{
    // Key code 1 meets plain code 3: a sum below 7. Code 250 escapes with any key code.
    const std::string key = std::string("abc") + '\x01' + "defgh";
    std::mt19937 rng(5);
    const std::string base = randomPlain(rng, 200, 0);
    for (const char trouble : {'\0', '\x03', '\xFA'}) {
        for (std::size_t at = 0; at < base.size(); ++at) {
            std::string plain = base;
            plain[at] = trouble;
            expectSameEncoding(plain, key, at);
            for (std::size_t gap = 1; at + gap < plain.size(); gap += 7) {
                std::string twice = plain;
                twice[at + gap] = trouble;
                expectSameEncoding(twice, key, at * 1000 + gap);
            }
        }
    }
}

TEST(CoderFastPath, EveryStartPosition)
{
    std::mt19937 rng(77);
    for (std::size_t lk : {3, 8, 40, 100, 258, 300}) {
        const std::string key = randomKey(rng, lk, true);
        const std::string plain = randomPlain(rng, 333, 23);
        const std::size_t starts = std::min<std::size_t>(lk - 2, 255);
        for (std::size_t start = 1; start <= starts; ++start) {
            // A draw in the middle of the interval that gives START.
            const double r = (static_cast<double>(start) - 0.5) / static_cast<double>(starts);
            ForcedDraws fastDraws({r, 0.3, 0.9});
            ForcedDraws referenceDraws({r, 0.3, 0.9});
            const std::string fast = coder(plain, key, fastDraws, true);
            ASSERT_EQ(static_cast<unsigned char>(fast.at(0)), start);
            ASSERT_EQ(fast, coder(plain, key, referenceDraws, false))
                << "key length " << lk << " start " << start;
            ASSERT_EQ(fastDraws.drawn(), referenceDraws.drawn());
        }
    }
}

TEST(CoderFastPath, LargeTextsRoundTrip)
{
    std::mt19937 rng(8);
    for (const unsigned troubleEvery : {0u, 10u, 3u}) {
        const std::string key = randomKey(rng, 8, true);
        const std::string plain = randomPlain(rng, 300000, troubleEvery);
        expectSameEncoding(plain, key, troubleEvery);
        ReplayDraws draws(troubleEvery);
        const std::string code = ModCodeur::Coder(plain, key, draws);
        const DecodeResult result = ModCodeur::decode(code, key);
        ASSERT_TRUE(result.ok()) << ModCodeur::describe(result.failure) << " at " << result.unit;
        ASSERT_TRUE(result.plain == plain);
    }
}

TEST(CoderFastPath, HookSeesTheLengthAfterTheStartDraw)
{
    ReplayDraws draws(1);
    std::vector<std::size_t> seen;
    ModCodeur::setPlainLengthHook([&](std::size_t n) {
        seen.push_back(n);
        seen.push_back(draws.drawn());
    });
    const std::string plain(1000, '\xFF');
    const std::string code = ModCodeur::Coder(plain, "k3y!Tesk", draws);
    ModCodeur::setPlainLengthHook({});
    EXPECT_EQ(seen, (std::vector<std::size_t>{1000, 1}));
    EXPECT_EQ(draws.drawn(), 1001u);
    EXPECT_EQ(code.size(), 3001u);
}

TEST(DecodeFastPath, EncodedTextsAtEveryOffsetOfABuffer)
{
    std::mt19937 rng(12);
    for (std::size_t lk = 2; lk <= 300; lk += 1) {
        const std::string key = randomKey(rng, lk, lk % 2 == 0);
        const std::string plain = randomPlain(rng, 1 + rng() % 300, lk % 3 == 0 ? 0 : 6);
        ReplayDraws draws(lk);
        const std::string code = ModCodeur::Coder(plain, key, draws);
        // The same units at each offset of a larger buffer, so the loads start at every
        // alignment.
        for (std::size_t offset = 0; offset < 64; offset += lk < 40 ? 1 : 13) {
            std::string buffer(offset, '\x55');
            buffer += code;
            buffer += std::string(64, '\x55');
            const std::string_view view(buffer.data() + offset, code.size());
            expectSameDecoding(view, key);
            ASSERT_EQ(engineDecode(view, key).plain, plain) << "key " << show(key);
        }
    }
}

TEST(DecodeFastPath, CorruptedCodeTexts)
{
    std::mt19937 rng(404);
    for (int round = 0; round < 20000; ++round) {
        const std::size_t lk = 2 + rng() % (round % 4 == 0 ? 299 : 12);
        const std::string key = randomKey(rng, lk, round % 5 != 0);
        ReplayDraws draws(round);
        // Long enough, often, for the decoder's windows; they must hand a failure over intact.
        const std::size_t length = 1 + rng() % (round % 3 == 0 ? 3000 : 300);
        std::string code = ModCodeur::Coder(randomPlain(rng, length, 1 + rng() % 200), key, draws);
        switch (round % 5) {
        case 0: // a unit anywhere turned into a marker
            code[rng() % code.size()] = static_cast<char>(rng() % 7);
            break;
        case 1: // a unit anywhere turned into anything
            code[rng() % code.size()] = static_cast<char>(rng() % 256);
            break;
        case 2: // cut short anywhere
            code.resize(rng() % code.size());
            break;
        case 3: // several units lowered
            for (int k = 0; k < 4; ++k) {
                char &unit = code[rng() % code.size()];
                unit = static_cast<char>(static_cast<unsigned char>(unit) / 2);
            }
            break;
        default: // decoded with another key of the same length
            expectSameDecoding(code, randomKey(rng, lk, true));
            continue;
        }
        expectSameDecoding(code, key);
    }
}

TEST(DecodeFastPath, ArbitraryUnitsAndShortTexts)
{
    std::mt19937 rng(9);
    for (int round = 0; round < 20000; ++round) {
        const std::string key = randomKey(rng, 2 + rng() % 40, round % 2 == 0);
        std::string code(rng() % 140, '\0');
        for (char &c : code)
            c = static_cast<char>(rng() % 4 == 0 ? rng() % 8 : rng() % 256);
        expectSameDecoding(code, key);
    }
    for (const std::string_view key : {"", "a", "ab"})
        for (const std::string_view code : {"", "\x01", "\x02", "\x01\x03", "\x01\x01\x01"})
            expectSameDecoding(code, key);
}

TEST(DecodeFastPath, FailureAfterDecodedRunsOfAWindow)
{
    // Escapes every 20 units leave the plain text just behind the code units it overwrites
    // when decoding in place; a unit lowered below its key code then fails mid-window.
    const std::string key = "abcdefgh";
    std::string plain;
    for (int group = 0; group < 12; ++group)
        plain += std::string(20, static_cast<char>('A' + group)) + '\xF0';
    ForcedDraws draws({0.5});
    const std::string code = ModCodeur::Coder(plain, key, draws);
    for (std::size_t at = 1; at < code.size(); ++at) {
        if (static_cast<unsigned char>(code[at]) <= 'h')
            continue; // a marker, or a unit of an escape
        std::string lowered = code;
        lowered[at] = 'A';
        expectSameDecoding(lowered, key);
        lowered[at] = '\x02';
        expectSameDecoding(lowered, key);
    }
}

TEST(Twister64, SameNumbersAsTheStandardEngine)
{
    for (const std::uint64_t seed :
         {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{5489}, std::uint64_t{1} << 63,
          std::uint64_t{0xFFFFFFFFFFFFFFFF}, std::uint64_t{1765113600123456789}}) {
        std::mt19937_64 expected(seed);
        ModCodeur::Twister64 twister;
        twister.seed(seed);
        for (int i = 0; i < 2000; ++i)
            ASSERT_EQ(twister(), expected()) << "seed " << seed << " number " << i;
        // Re-seeding starts over.
        twister.seed(seed);
        expected.seed(seed);
        ASSERT_EQ(twister(), expected()) << "seed " << seed;
    }
}

TEST(CoderFastPath, KeysOfExtremeCodes)
{
    // Keys of only low codes, only high codes, or both, with plain codes near the bounds
    // where a sum falls below 7 or reaches 250 under some key codes or all of them.
    std::mt19937 rng(61);
    const auto pick = [&](int low, int high) {
        return static_cast<char>(std::uniform_int_distribution<int>(low, high)(rng));
    };
    for (int round = 0; round < 3000; ++round) {
        std::string key(2 + rng() % 12, '\0');
        for (char &c : key) {
            const unsigned kind = round % 3 == 2 ? rng() % 2 : round % 3;
            c = kind == 0 ? pick(0, 8) : pick(240, 255);
        }
        std::string plain(1 + rng() % 600, '\0');
        for (char &c : plain) {
            switch (rng() % 4) {
            case 0:
                c = pick(0, 12);
                break;
            case 1:
                c = pick(236, 255);
                break;
            default:
                c = pick(0, 255);
                break;
            }
        }
        expectSameEncoding(plain, key, rng());
    }
}

TEST(CoderFastPath, GeneratorDrawsLikeThePlainLoop)
{
    std::mt19937 rng(2718);
    for (std::size_t lk = 2; lk <= 300; ++lk) {
        for (int round = 0; round < 6; ++round) {
            const std::string key = randomKey(rng, lk, round % 3 != 0);
            const std::size_t length = round == 0 ? 0 : 1 + rng() % 700;
            const unsigned troubleEvery = std::vector<unsigned>{0, 2, 5, 17, 70, 1}[round];
            expectSameEncodingOnEngine(randomPlain(rng, length, troubleEvery), key, rng());
        }
    }
    // Thousands of escapes: the generator's words are converted a batch at a time, and a
    // window's draws may straddle two batches.
    for (const std::size_t lk : {2, 3, 8, 100, 300}) {
        for (const unsigned troubleEvery : {1u, 3u, 10u}) {
            const std::string key = randomKey(rng, lk, true);
            expectSameEncodingOnEngine(randomPlain(rng, 20000 + rng() % 64, troubleEvery), key,
                                       rng());
        }
    }
}

TEST(FastPaths, RunsOfEveryLengthBetweenEscapes)
{
    // Code 0xF0 escapes under every printable key code, so these texts go by windows in both
    // directions: runs of every length from 0 to 70 between escapes, starting at every
    // offset of a window.
    std::mt19937 rng(4242);
    for (const std::size_t lk : {2, 3, 8, 61, 300}) {
        const std::string key = randomKey(rng, lk, true);
        for (std::size_t run = 0; run <= 70; ++run) {
            const std::size_t first = rng() % 64;
            std::string plain = randomPlain(rng, 600 + first, 0);
            for (std::size_t at = first; at < plain.size(); at += run + 1)
                plain[at] = '\xF0';
            expectSameEncoding(plain, key, run);
            expectSameEncodingOnEngine(plain, key, run);
            ReplayDraws draws(run);
            const std::string code = ModCodeur::Coder(plain, key, draws);
            expectSameDecoding(code, key);
            ASSERT_EQ(ModCodeur::Decoder(code, key), plain) << "run " << run << " key " << lk;
        }
    }
}

TEST(DecodeFastPath, FailuresAtEveryUnitAmongFrequentEscapes)
{
    // A unit below its key code, a marker, or an escape value pushed above 255, at every
    // unit of a code text dense in escapes: the windows must hand over before the failing
    // group with the text they have not yet written over intact.
    std::mt19937 rng(99);
    const std::string key = "k3y!Tesk";
    std::string plain = randomPlain(rng, 400, 0);
    for (std::size_t at = 0; at < plain.size(); at += 1 + rng() % 12)
        plain[at] = '\xF0';
    ReplayDraws draws(3);
    const std::string code = ModCodeur::Coder(plain, key, draws);
    for (std::size_t at = 1; at < code.size(); ++at) {
        for (const char unit : {'\x00', '\x05', '\x20', '\xFF'}) {
            std::string broken = code;
            broken[at] = unit;
            expectSameDecoding(broken, key);
        }
    }
}

TEST(FastPaths, RoutinesEitherSideOfTheEngine)
{
    // Shorter texts go through the loops, longer ones through the engine: Coder, decode and
    // Decoder must not tell the two apart.
    std::mt19937 rng(256);
    const std::string key = "k3y!Tesk";
    using ModCodeur::Engine::LongCode;
    using ModCodeur::Engine::LongPlain;
    const std::size_t from = std::min(LongPlain, LongCode) - 40;
    for (std::size_t length = from; length <= std::max(LongPlain, LongCode) + 8; ++length) {
        const std::string plain = randomPlain(rng, length, 9);
        ReplayDraws draws(length);
        ReplayDraws loopDraws(length);
        const std::string code = ModCodeur::Coder(plain, key, draws);
        ASSERT_EQ(code, coder(plain, key, loopDraws, false)) << "length " << length;
        ASSERT_EQ(draws.drawn(), loopDraws.drawn()) << "length " << length;
        expectSameDecoding(code, key);
        expectSameDecoding(code.substr(0, code.size() - 1), key);
        ASSERT_EQ(ModCodeur::Decoder(code, key), plain) << "length " << length;
    }
}

TEST(DrawPosition, IsTheFloorFormula)
{
    // The loops and the engine's batches both convert draws with positionOf: it must be
    // floor(span * r) + 1 for every span a key gives, the negative one of a two-code key
    // included, at the ends of [0, 1), where span * r is whole, and at random draws.
    std::mt19937_64 rng(7);
    std::vector<double> draws = {0.0, 0x1.0p-53, 0.5, 0.25, std::nextafter(1.0, 0.0)};
    for (int n = 1; n < 256; ++n)
        draws.push_back(n / 256.0);
    for (int k = 0; k < 2000; ++k)
        draws.push_back(ModCodeur::unitReal(rng()));
    for (std::ptrdiff_t span = -1; span <= 300; ++span) {
        const double capped = static_cast<double>(std::min(span, ModCodeur::LargestPosition));
        for (const double r : draws)
            ASSERT_EQ(ModCodeur::drawPosition(span, r),
                      static_cast<unsigned char>(std::floor(capped * r) + 1))
                << "span " << span << ", r " << r;
    }
}
