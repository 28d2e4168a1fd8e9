#include "codepage.h"

#include <gtest/gtest.h>

#include <set>

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
