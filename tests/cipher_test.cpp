// SPDX-License-Identifier: GPL-3.0-or-later
#include "forceddraws.h"
#include "modcodeur.h"
#include "reference_cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

using ModCodeur::Coder;
using ModCodeur::decode;
using ModCodeur::DecodeFailure;
using ModCodeur::Decoder;

namespace {

std::string bytes(std::initializer_list<int> codes)
{
    std::string text;
    for (const int c : codes)
        text.push_back(static_cast<char>(c));
    return text;
}

std::string randomText(std::mt19937 &rng, std::size_t length, int lowest = 0)
{
    std::uniform_int_distribution<int> code(lowest, 255);
    std::string text(length, '\0');
    for (char &c : text)
        c = static_cast<char>(code(rng));
    return text;
}

Reference::Codes codesOf(const std::string &text)
{
    Reference::Codes codes;
    for (const char c : text)
        codes.push_back(static_cast<unsigned char>(c));
    return codes;
}

std::size_t randomKeyLength(std::mt19937 &rng)
{
    static const std::size_t shortLengths[] = {2, 3, 4, 5, 8};
    std::uniform_int_distribution<std::size_t> pick(0, 6);
    const std::size_t choice = pick(rng);
    if (choice < 5)
        return shortLengths[choice];
    return std::uniform_int_distribution<std::size_t>(6, choice == 5 ? 300 : 1000)(rng);
}

// Restores the process-wide hook whatever a test registered.
struct HookReset {
    ~HookReset() { ModCodeur::setPlainLengthHook({}); }
};

} // namespace

TEST(CoderRoundTrip, RandomKeysPlainsAndDraws)
{
    std::mt19937 rng(20261207);
    SeededDraws draws(7);
    for (int round = 0; round < 5000; ++round) {
        const std::string key = randomText(rng, randomKeyLength(rng));
        const std::string plain =
            randomText(rng, std::uniform_int_distribution<std::size_t>(1, 200)(rng));
        const std::string code = Coder(plain, key, draws);
        const auto decoded = decode(code, key);
        ASSERT_TRUE(decoded.ok()) << "key " << testing::PrintToString(key) << " plain "
                                  << testing::PrintToString(plain);
        ASSERT_EQ(decoded.plain, plain) << "key " << testing::PrintToString(key);
        ASSERT_EQ(Decoder(code, key), plain);
    }
}

TEST(CoderRoundTrip, ExtremeDraws)
{
    std::mt19937 rng(99);
    for (const double r : {0.0, 0.5, JustBelowOne}) {
        for (const std::size_t lk : {2, 3, 4, 7, 256, 257, 258, 259, 600, 1000}) {
            ForcedDraws draws({r});
            const std::string key = randomText(rng, lk);
            const std::string plain = randomText(rng, 3000);
            ASSERT_EQ(Decoder(Coder(plain, key, draws), key), plain) << "lk " << lk << " r " << r;
        }
    }
}

TEST(CoderRoundTrip, EveryKeyCodeWithEveryPlainCode)
{
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            // A two-code key starts at position 1 and then alternates, so both codes meet b.
            const std::string key = bytes({a, (a * 7 + 3) % 256});
            const std::string plain = bytes({b, b, b});
            ForcedDraws draws({0.25});
            const std::string code = Coder(plain, key, draws);
            ASSERT_EQ(Decoder(code, key), plain) << "key code " << a << " plain code " << b;
        }
    }
}

TEST(CoderFormat, MatchesReferenceEncoder)
{
    std::mt19937 rng(4242);
    for (int round = 0; round < 3000; ++round) {
        const std::string key = randomText(rng, randomKeyLength(rng));
        const std::string plain =
            randomText(rng, std::uniform_int_distribution<std::size_t>(1, 120)(rng));
        std::vector<double> values;
        for (int i = 0; i < 50; ++i)
            values.push_back(std::uniform_real_distribution<double>(0, 1)(rng));
        values.push_back(0.0);
        values.push_back(JustBelowOne);

        ForcedDraws draws(values);
        const std::string code = Coder(plain, key, draws);
        std::size_t next = 0;
        const auto expected = Reference::encode(codesOf(plain), codesOf(key),
                                                [&] { return values[next++ % values.size()]; });
        ASSERT_EQ(codesOf(code), expected)
            << "key " << testing::PrintToString(key) << " plain " << testing::PrintToString(plain);
        ASSERT_EQ(draws.drawn(), next);
    }
}

TEST(CoderFormat, GroupShapes)
{
    ForcedDraws draws({0.0});
    // Key "ab" starts at 1 ('b' = 98); a sum of 249 stays normal, 250 escapes.
    EXPECT_EQ(Coder(bytes({151}), "ab", draws), bytes({1, 249}));
    EXPECT_EQ(Coder(bytes({152}), "ab", draws), bytes({1, 1, 151, 1}));
    // Three plain codes below the threshold give four units, alternating key codes.
    EXPECT_EQ(Coder("AAA", "ab", draws), bytes({1, 98 + 65, 97 + 65, 98 + 65}));
}

TEST(CoderFormat, SmallSumsAndCodeZeroTravelAsEscapes)
{
    ForcedDraws draws({0.5});
    // Key codes 2 and 3: every sum below 7 must escape, or it would read back as a marker.
    const std::string key = bytes({2, 3});
    EXPECT_EQ(Coder(bytes({3}), key, draws), bytes({1, 1, 2, 0}));
    EXPECT_EQ(Coder(bytes({4}), key, draws), bytes({1, 7}));
    // Code 0 with a key code that cannot carry it goes as marker 0, value 0.
    EXPECT_EQ(Coder(bytes({0}), key, draws), bytes({1, 0, 0, 0}));
    EXPECT_EQ(Coder(bytes({0}), bytes({1, 250}), draws), bytes({1, 0, 0, 0}));
    // A key code that can carry code 0 keeps the normal group.
    EXPECT_EQ(Coder(bytes({0}), "ab", draws), bytes({1, 98}));
}

TEST(CoderPositions, StartOffsetRange)
{
    struct Case {
        std::size_t lk;
        double r;
        int start;
    };
    for (const Case c : {Case{2, 0.0, 1}, Case{2, JustBelowOne, 1}, Case{3, 0.0, 1},
                         Case{3, JustBelowOne, 1}, Case{4, 0.0, 1}, Case{4, JustBelowOne, 2},
                         Case{10, JustBelowOne, 8}, Case{257, JustBelowOne, 255},
                         Case{258, JustBelowOne, 255}, Case{1000, JustBelowOne, 255}}) {
        ForcedDraws draws({c.r});
        const std::string code = Coder("x", std::string(c.lk, 'k'), draws);
        EXPECT_EQ(static_cast<unsigned char>(code[0]), c.start) << "lk " << c.lk << " r " << c.r;
    }
}

TEST(CoderPositions, RechosenPositionRange)
{
    struct Case {
        std::size_t lk;
        double r;
        int position;
    };
    for (const Case c :
         {Case{2, 0.0, 1}, Case{2, 1e-300, 0}, Case{2, 0.5, 0}, Case{2, JustBelowOne, 0},
          Case{3, 0.0, 1}, Case{3, JustBelowOne, 1}, Case{4, JustBelowOne, 1},
          Case{5, JustBelowOne, 2}, Case{258, JustBelowOne, 255}, Case{259, JustBelowOne, 255},
          Case{1000, JustBelowOne, 255}}) {
        ForcedDraws draws({c.r});
        // 'k' + 200 escapes, so the code text is offset, marker, value, new position.
        const std::string code = Coder(bytes({200}), std::string(c.lk, 'k'), draws);
        ASSERT_EQ(code.size(), 4u);
        EXPECT_EQ(static_cast<unsigned char>(code[3]), c.position) << "lk " << c.lk << " r " << c.r;
    }
}

TEST(CoderPositions, LongKeysStillUseEveryPosition)
{
    // With printable codes and no escapes the key advances through all its positions.
    std::string key;
    for (int i = 0; i < 600; ++i)
        key.push_back(static_cast<char>(33 + i % 90));
    ForcedDraws draws({JustBelowOne});
    const std::string plain(1200, '!');
    const std::string code = Coder(plain, key, draws);
    ASSERT_EQ(code.size(), plain.size() + 1);
    const std::size_t start = static_cast<unsigned char>(code[0]);
    for (std::size_t i = 0; i < plain.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(code[i + 1]),
                  '!' + static_cast<unsigned char>(key[(start + i) % key.size()]));
}

TEST(CoderContract, ReseedsOnceAndReportsLengthBeforeEncoding)
{
    HookReset reset;
    std::vector<std::size_t> reported;
    std::size_t drawsAtReport = 0;
    ForcedDraws draws({0.0});
    ModCodeur::setPlainLengthHook([&](std::size_t n) {
        reported.push_back(n);
        drawsAtReport = draws.drawn();
    });
    (void)Coder(bytes({'a', 255, 255, 'b'}), "key!", draws);
    EXPECT_EQ(reported, std::vector<std::size_t>{4});
    EXPECT_EQ(drawsAtReport, 1u) << "reported after the start draw, before any escape draw";
    EXPECT_EQ(draws.reseeds(), 1);
    EXPECT_EQ(draws.drawn(), 3u);
}

TEST(CoderContract, OutsideItsPreconditionsGivesNothing)
{
    HookReset reset;
    int calls = 0;
    ModCodeur::setPlainLengthHook([&](std::size_t) { ++calls; });
    ForcedDraws draws({0.0});
    EXPECT_EQ(Coder("", "key", draws), "");
    EXPECT_EQ(Coder("plain", "k", draws), "");
    EXPECT_EQ(Coder("plain", "", draws), "");
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(draws.drawn(), 0u);
}

TEST(CoderContract, ClockSeededEncodingsAreSaltedAndDecode)
{
    const std::string key = "a longer key";
    const std::string plain(64, static_cast<char>(230)); // every character escapes
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        const std::string code = Coder(plain, key);
        ASSERT_EQ(Decoder(code, key), plain);
        seen.insert(code);
    }
    EXPECT_GT(seen.size(), 1u);
}

TEST(DecoderFailures, EachCaseWithItsUnit)
{
    struct Case {
        std::string code;
        std::string key;
        DecodeFailure failure;
        std::size_t unit;
    };
    const Case cases[] = {
        {"", "ab", DecodeFailure::EmptyCode, 0},
        {bytes({2}), "ab", DecodeFailure::StartOutsideKey, 0},
        {bytes({2, 200}), "ab", DecodeFailure::StartOutsideKey, 0},
        {bytes({0, 200}), "", DecodeFailure::StartOutsideKey, 0},
        {bytes({1}), "ab", DecodeFailure::NoGroup, 1},
        {bytes({1, 1}), "ab", DecodeFailure::EscapeCutShort, 2},
        {bytes({1, 1, 50}), "ab", DecodeFailure::EscapeCutShort, 3},
        {bytes({1, 150, 1, 50}), "ab", DecodeFailure::EscapeCutShort, 4},
        {bytes({1, 97}), "ab", DecodeFailure::BelowKey, 1},
        {bytes({1, 200, 50}), "ab", DecodeFailure::BelowKey, 2},
        {bytes({1, 1, 255, 0}), "ab", DecodeFailure::EscapeAbove255, 2},
        {bytes({1, 6, 250, 0}), "ab", DecodeFailure::EscapeAbove255, 2},
    };
    for (const Case &c : cases) {
        const auto result = decode(c.code, c.key);
        EXPECT_EQ(result.failure, c.failure) << testing::PrintToString(c.code);
        EXPECT_EQ(result.unit, c.unit) << testing::PrintToString(c.code);
        EXPECT_TRUE(result.plain.empty());
        EXPECT_EQ(Decoder(c.code, c.key), "Erreur");
        EXPECT_FALSE(ModCodeur::describe(c.failure).empty());
    }
}

TEST(DecoderReading, MarkersPositionsAndCodeZero)
{
    // Any unit 0-6 is a marker whose value is added back.
    EXPECT_EQ(Decoder(bytes({1, 6, 10, 0}), "ab"), bytes({16}));
    EXPECT_EQ(Decoder(bytes({1, 0, 0, 0}), "ab"), bytes({0}));
    // A normal unit equal to its key code gives code 0.
    EXPECT_EQ(Decoder(bytes({1, 98}), "ab"), bytes({0}));
    // Re-chosen positions are never range-checked: 200 wraps to position 0 ('a').
    EXPECT_EQ(Decoder(bytes({1, 1, 64, 200, 97 + 5}), "ab"), bytes({65, 5}));
    // A plain text reading "Erreur" is not a failure.
    ForcedDraws draws({0.0});
    const auto result = decode(Coder("Erreur", "ab", draws), "ab");
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.plain, "Erreur");
}

TEST(DecoderDifferential, ArbitraryCodeTextsMatchReference)
{
    std::mt19937 rng(777);
    int decodedCount = 0;
    for (int round = 0; round < 50000; ++round) {
        const std::string key = randomText(
            rng, std::uniform_int_distribution<std::size_t>(0, 6)(rng), round % 2 ? 0 : 90);
        // Small units make markers and in-key offsets frequent.
        std::string code = randomText(rng, std::uniform_int_distribution<std::size_t>(0, 12)(rng));
        for (char &c : code)
            if (rng() % 3 == 0)
                c = static_cast<char>(rng() % 8);
        const auto expected = Reference::decode(codesOf(code), codesOf(key));
        const auto result = decode(code, key);
        ASSERT_EQ(result.ok(), expected.has_value()) << testing::PrintToString(code);
        if (expected) {
            ++decodedCount;
            ASSERT_EQ(codesOf(result.plain), *expected) << testing::PrintToString(code);
        }
    }
    EXPECT_GT(decodedCount, 300) << "the generator should reach successful decodings too";
}
