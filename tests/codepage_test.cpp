// SPDX-License-Identifier: GPL-3.0-or-later
#include "codepage.h"
#include "utf8_testing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// What the program's UTF-8 reader gives for TEXT: the codes, or the error.
struct FromUtf8Result {
    std::string codes; // empty on failure
    std::optional<CodePage::Utf8Error> error;
};

FromUtf8Result fromUtf8(std::string_view text)
{
    FromUtf8Result result{std::string(text), std::nullopt};
    result.error = CodePage::fromUtf8InPlace(result.codes);
    if (result.error)
        result.codes.clear();
    return result;
}

} // namespace

TEST(CodePage, EveryCodeMapsToADistinctCharacterAndBack)
{
    std::set<char32_t> characters;
    for (int code = 0; code < 256; ++code) {
        const char32_t character = CodePage::toUnicode(static_cast<unsigned char>(code));
        characters.insert(character);
        const auto back = CodePage::fromUnicode(character);
        ASSERT_TRUE(back.has_value()) << code;
        EXPECT_EQ(*back, code);
    }
    EXPECT_EQ(characters.size(), 256u);
}

TEST(CodePage, KnownWindows1252Characters)
{
    EXPECT_EQ(CodePage::toUnicode(0x80), U'€');
    EXPECT_EQ(CodePage::toUnicode(0x9F), U'Ÿ');
    EXPECT_EQ(CodePage::toUnicode(0xE9), U'é');
    for (const unsigned char undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(CodePage::toUnicode(undefined), char32_t{undefined});
}

TEST(CodePage, UnrepresentableCharacters)
{
    for (const char32_t c : {U'\u0080', U'\u009F', U'ő', U'Ł', U'\u20AD', U'\U0001F600', U'中',
                             U'\u0100', char32_t{0x110000}})
        EXPECT_FALSE(CodePage::fromUnicode(c).has_value()) << static_cast<unsigned long>(c);
}

namespace {

using CodePage::Utf8Error;
using CodePage::Utf8ErrorKind;

// Textbook UTF-8 of one character, written independently of the code under test.
std::string referenceUtf8(char32_t c)
{
    std::string s;
    const auto put = [&s](unsigned long byte) { s.push_back(static_cast<char>(byte)); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
    return s;
}

std::string referenceToUtf8(std::string_view codes)
{
    std::string s;
    for (const char c : codes)
        s += referenceUtf8(CodePage::toUnicode(static_cast<unsigned char>(c)));
    return s;
}

// Length of the well-formed UTF-8 sequence starting at TEXT[I], 0 if there is none, by the
// table of well-formed byte sequences in the Unicode standard (section 3.9, table 3-7).
std::size_t referenceSequenceLength(std::string_view text, std::size_t i)
{
    const auto at = [&](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : -1;
    };
    const auto in = [](int byte, int low, int high) { return byte >= low && byte <= high; };
    const int b0 = at(0);
    if (in(b0, 0x00, 0x7F))
        return 1;
    if (in(b0, 0xC2, 0xDF))
        return in(at(1), 0x80, 0xBF) ? 2 : 0;
    // The second byte's range depends on the lead; later bytes are plain continuations.
    int low = 0x80;
    int high = 0xBF;
    std::size_t length = 3;
    if (b0 == 0xE0) {
        low = 0xA0;
    } else if (b0 == 0xED) {
        high = 0x9F;
    } else if (b0 == 0xF0) {
        low = 0x90;
        length = 4;
    } else if (in(b0, 0xF1, 0xF3)) {
        length = 4;
    } else if (b0 == 0xF4) {
        high = 0x8F;
        length = 4;
    } else if (!in(b0, 0xE1, 0xEF)) {
        return 0;
    }
    if (!in(at(1), low, high))
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (!in(at(k), 0x80, 0xBF))
            return 0;
    return length;
}

char32_t referenceDecode(std::string_view sequence)
{
    if (sequence.size() == 1)
        return static_cast<unsigned char>(sequence[0]);
    const unsigned leadBits[] = {0, 0, 0x1F, 0x0F, 0x07};
    char32_t c = static_cast<unsigned char>(sequence[0]) & leadBits[sequence.size()];
    for (std::size_t k = 1; k < sequence.size(); ++k)
        c = (c << 6) | (static_cast<unsigned char>(sequence[k]) & 0x3F);
    return c;
}

// Where the reference finds the first UTF-8 text that cannot become codes: its byte offset
// and character index, or nothing when all of TEXT converts.
std::optional<std::pair<std::size_t, std::size_t>> referenceFirstError(std::string_view text)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        const std::size_t length = referenceSequenceLength(text, i);
        if (length == 0 || !CodePage::fromUnicode(referenceDecode(text.substr(i, length))))
            return std::pair{i, characters};
        i += length;
    }
    return std::nullopt;
}

std::string allCodes()
{
    std::string codes;
    for (int code = 0; code < 256; ++code)
        codes.push_back(static_cast<char>(code));
    return codes;
}

} // namespace

TEST(CodePageUtf8, EveryCodeRoundTripsThroughUtf8)
{
    const std::string codes = allCodes();
    const std::string text = utf8Of(codes);
    EXPECT_EQ(text, referenceToUtf8(codes));
    const FromUtf8Result back = fromUtf8(text);
    ASSERT_FALSE(back.error.has_value());
    EXPECT_EQ(back.codes, codes);
}

TEST(CodePageUtf8, RandomCodeTextsRoundTripInPlace)
{
    std::mt19937 rng(20261207); // fixed seed, so a failure reproduces
    std::uniform_int_distribution<int> length(0, 300);
    std::uniform_int_distribution<int> code(0, 255);
    for (int i = 0; i < 3000; ++i) {
        std::string codes(static_cast<std::size_t>(length(rng)), '\0');
        for (char &c : codes)
            c = static_cast<char>(code(rng));
        std::string text = codes;
        text = utf8Of(text);
        ASSERT_EQ(text, referenceToUtf8(codes)) << testing::PrintToString(codes);
        ASSERT_FALSE(CodePage::fromUtf8InPlace(text).has_value()) << testing::PrintToString(codes);
        ASSERT_EQ(text, codes);
    }
}

TEST(CodePageUtf8, ErrorsSayWhatAndWhere)
{
    struct Case {
        std::string text;
        Utf8Error expected;
    };
    const std::vector<Case> cases = {
        {"ab\x80", {Utf8ErrorKind::UnexpectedByte, 2, 2, 0x80}},
        {"\xC3\xA9t\xC3\xA9\xFF", {Utf8ErrorKind::UnexpectedByte, 5, 3, 0xFF}},
        {"\xF8\x88\x80\x80\x80", {Utf8ErrorKind::UnexpectedByte, 0, 0, 0xF8}},
        {"x\xC3", {Utf8ErrorKind::Incomplete, 1, 1, 0xC3}},
        {"x\xE2\x82", {Utf8ErrorKind::Incomplete, 1, 1, 0xE2}},
        {"\xE2\x82x", {Utf8ErrorKind::Incomplete, 0, 0, 0xE2}},
        {"\xC3\xA9\xF0\x9F\x98", {Utf8ErrorKind::Incomplete, 2, 1, 0xF0}},
        {"a\xC0\xAF", {Utf8ErrorKind::Overlong, 1, 1, 0x2F}},
        {"\xC1\xBF", {Utf8ErrorKind::Overlong, 0, 0, 0x7F}},
        {"\xE0\x80\x80", {Utf8ErrorKind::Overlong, 0, 0, 0x00}},
        {"\xF0\x82\x82\xAC", {Utf8ErrorKind::Overlong, 0, 0, 0x20AC}},
        {"ab\xED\xA0\x80", {Utf8ErrorKind::Surrogate, 2, 2, 0xD800}},
        {"\xED\xBF\xBF", {Utf8ErrorKind::Surrogate, 0, 0, 0xDFFF}},
        {"\xF4\x90\x80\x80", {Utf8ErrorKind::AboveMaximum, 0, 0, 0x110000}},
        {"\xF7\xBF\xBF\xBF", {Utf8ErrorKind::AboveMaximum, 0, 0, 0x1FFFFF}},
        {"x\xC5\x91y", {Utf8ErrorKind::Unrepresentable, 1, 1, 0x0151}},
        {"\xE2\x82\xAC\xC2\x80", {Utf8ErrorKind::Unrepresentable, 3, 1, 0x0080}},
        {"\xF0\x9F\x98\x80", {Utf8ErrorKind::Unrepresentable, 0, 0, 0x1F600}},
    };
    for (const Case &c : cases) {
        const FromUtf8Result result = fromUtf8(c.text);
        ASSERT_TRUE(result.error.has_value()) << testing::PrintToString(c.text);
        const Utf8Error &e = *result.error;
        EXPECT_EQ(e.kind, c.expected.kind) << testing::PrintToString(c.text);
        EXPECT_EQ(e.byteOffset, c.expected.byteOffset) << testing::PrintToString(c.text);
        EXPECT_EQ(e.characterIndex, c.expected.characterIndex) << testing::PrintToString(c.text);
        EXPECT_EQ(static_cast<unsigned long>(e.value), static_cast<unsigned long>(c.expected.value))
            << testing::PrintToString(c.text);
        EXPECT_TRUE(result.codes.empty());
    }
}

TEST(CodePageUtf8, AgreesWithTheWellFormedSequenceTable)
{
    // Bytes drawn mostly from the interesting edges of UTF-8 so that valid and invalid
    // sequences both turn up often.
    const std::vector<unsigned char> pool = {'a',  0x00, 0x7F, 0x80, 0x81, 0x8F, 0x90, 0x9F, 0xA0,
                                             0xA9, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xDF, 0xE0,
                                             0xE2, 0xED, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xF8, 0xFF,
                                             0x82, 0x84, 0x98, 0xAC, 0xA2, 0xBB};
    std::mt19937 rng(42); // fixed seed, so a failure reproduces
    std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
    std::uniform_int_distribution<int> length(0, 12);
    int converted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string text(static_cast<std::size_t>(length(rng)), '\0');
        for (char &c : text)
            c = static_cast<char>(pool[pick(rng)]);
        const auto expected = referenceFirstError(text);
        const FromUtf8Result result = fromUtf8(text);
        ASSERT_EQ(result.error.has_value(), expected.has_value()) << testing::PrintToString(text);
        if (expected) {
            EXPECT_EQ(result.error->byteOffset, expected->first) << testing::PrintToString(text);
            EXPECT_EQ(result.error->characterIndex, expected->second)
                << testing::PrintToString(text);
        } else {
            ++converted;
            EXPECT_EQ(referenceToUtf8(result.codes), text) << testing::PrintToString(text);
        }
    }
    EXPECT_GT(converted, 1000); // the pool really produces valid texts too
}

namespace {

// A text of ASCII runs of every length 0-100, each followed by one code from 128 on (in
// code form), so that the runs end at every alignment of an eight-byte word.
std::string runsAroundHighCodes(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> ascii(0, 127);
    std::uniform_int_distribution<int> high(128, 255);
    std::string codes;
    for (int run = 0; run <= 100; ++run) {
        for (int k = 0; k < run; ++k)
            codes.push_back(static_cast<char>(ascii(rng)));
        codes.push_back(static_cast<char>(high(rng)));
    }
    return codes;
}

} // namespace

TEST(CodePageUtf8, AsciiRunsOfEveryLengthAroundHighCodes)
{
    std::mt19937 rng(7); // fixed seed, so a failure reproduces
    std::uniform_int_distribution<std::size_t> skip(0, 15);
    for (int i = 0; i < 50; ++i) {
        const std::string whole = runsAroundHighCodes(rng);
        // Starting a little way in shifts every run against the word boundaries.
        const std::string codes = whole.substr(skip(rng));
        const std::string expected = referenceToUtf8(codes);
        ASSERT_EQ(utf8Of(codes), expected) << testing::PrintToString(codes);
        const FromUtf8Result back = fromUtf8(expected);
        ASSERT_FALSE(back.error.has_value()) << testing::PrintToString(expected);
        ASSERT_EQ(back.codes, codes) << testing::PrintToString(expected);
    }
}

TEST(CodePageUtf8, EveryCodeAfterEveryAsciiRunLength)
{
    for (int code = 0; code < 256; ++code) {
        for (std::size_t run = 0; run <= 40; ++run) {
            const std::string codes =
                std::string(run, 'a') + static_cast<char>(code) + std::string(40 - run, 'z');
            const std::string expected = referenceToUtf8(codes);
            ASSERT_EQ(utf8Of(codes), expected) << code << " after " << run;
            const FromUtf8Result back = fromUtf8(expected);
            ASSERT_FALSE(back.error.has_value()) << code << " after " << run;
            ASSERT_EQ(back.codes, codes) << code << " after " << run;
        }
    }
}

TEST(CodePageUtf8, ErrorsAfterLongAsciiRunsAndCharacters)
{
    // Bad sequences put after ASCII runs of every length, with characters of two and three
    // bytes before the runs, so the byte offset and character index part ways.
    const std::vector<std::string> bad = {"\x80",
                                          "\xFF",
                                          "\xC3",
                                          "\xE2\x82",
                                          "\xC0\xAF",
                                          "\xED\xA0\x80",
                                          "\xF4\x90\x80\x80",
                                          "\xC5\x91",
                                          "\xF0\x9F\x98\x80"};
    std::mt19937 rng(99); // fixed seed, so a failure reproduces
    std::uniform_int_distribution<int> ascii(0, 127);
    for (const std::string &tail : bad) {
        for (std::size_t run = 0; run <= 100; ++run) {
            std::string text = "\xC3\xA9\xE2\x82\xAC";
            for (std::size_t k = 0; k < run; ++k)
                text.push_back(static_cast<char>(ascii(rng)));
            text += tail;
            text += std::string(static_cast<std::size_t>(ascii(rng) % 20), 'q');
            const auto expected = referenceFirstError(text);
            ASSERT_TRUE(expected.has_value()) << testing::PrintToString(text);
            const FromUtf8Result result = fromUtf8(text);
            ASSERT_TRUE(result.error.has_value()) << testing::PrintToString(text);
            EXPECT_EQ(result.error->byteOffset, expected->first) << testing::PrintToString(text);
            EXPECT_EQ(result.error->characterIndex, expected->second)
                << testing::PrintToString(text);
            EXPECT_EQ(result.error->byteOffset, 5 + run) << testing::PrintToString(text);
            EXPECT_EQ(result.error->characterIndex, 2 + run) << testing::PrintToString(text);
        }
    }
}

#ifdef CODETARVO_FONT_SCRIPT
TEST(CodePage, FontScriptHasTheSameCodePage)
{
    // The box font's script keeps a copy of the code page: its undefined codes, then the
    // characters of codes 128-159.
    const std::string command = CODETARVO_FONT_PYTHON " " CODETARVO_FONT_SCRIPT " --code-page";
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> pipe(popen(command.c_str(), "r"),
                                                                &pclose);
    ASSERT_TRUE(pipe) << command;
    std::string printed;
    char buffer[512];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        printed.append(buffer, got);
    std::istringstream lines(printed);
    std::string line;
    std::vector<unsigned long> undefined;
    std::vector<unsigned long> high;
    for (auto *list : {&undefined, &high}) {
        ASSERT_TRUE(std::getline(lines, line)) << printed;
        std::istringstream values(line);
        for (unsigned long value = 0; values >> value;)
            list->push_back(value);
    }
    EXPECT_EQ(undefined, std::vector<unsigned long>(CodePage::UndefinedCodes.begin(),
                                                    CodePage::UndefinedCodes.end()));
    std::vector<unsigned long> expected;
    for (int code = 0x80; code < 0xA0; ++code)
        expected.push_back(CodePage::toUnicode(static_cast<unsigned char>(code)));
    EXPECT_EQ(high, expected);
}
#endif
