// SPDX-License-Identifier: GPL-3.0-or-later
// The armored form over random code texts: every change a channel makes to whitespace,
// quoting and case reads back exact; every real damage fails, at the damaged line.
#include "armor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Rng = std::mt19937;
using Lines = std::vector<std::string>;
constexpr std::string_view Alphabet = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";

std::size_t pick(Rng &rng, std::size_t from, std::size_t to) // in [from, to]
{
    return std::uniform_int_distribution<std::size_t>(from, to)(rng);
}

Lines split(const std::string &text)
{
    Lines lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string join(const Lines &lines, std::string_view separator)
{
    std::string text;
    for (const std::string &line : lines)
        text.append(line).append(separator);
    return text;
}

// Each line through EDIT.
std::string perLine(const std::string &text, const std::function<std::string(std::string)> &edit)
{
    Lines lines = split(text);
    std::transform(lines.begin(), lines.end(), lines.begin(), edit);
    return join(lines, "\n");
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

std::string spaces(Rng &rng)
{
    std::string white;
    for (std::size_t n = pick(rng, 1, 4); n-- > 0;)
        white += " \t"[pick(rng, 0, 1)];
    return white;
}

std::string rewrap(const std::string &text, Rng &rng)
{
    const std::string flat = replaceAll(text, "\n", " ");
    const std::size_t width = pick(rng, 1, 90);
    std::string out;
    for (std::size_t at = 0; at < flat.size(); at += width)
        out.append(flat, at, width).append("\n");
    return out;
}

using Change = std::function<std::string(const std::string &, Rng &)>;
struct Tolerated {
    const char *name;
    Change apply;
    bool keepsLines = true;
};

const std::vector<Tolerated> tolerated = {
    {"rewrapped", rewrap},
    {"joined by spaces", [](const std::string &t, Rng &) { return replaceAll(t, "\n", " "); },
     false},
    {"joined with nothing", [](const std::string &t, Rng &) { return replaceAll(t, "\n", ""); },
     false},
    {"indented",
     [](const std::string &t, Rng &rng) {
         return perLine(t, [&](std::string l) { return spaces(rng) + l; });
     }},
    {"trailing spaces",
     [](const std::string &t, Rng &rng) {
         return perLine(t, [&](std::string l) { return l + spaces(rng); });
     }},
    {"blank lines",
     [](const std::string &t, Rng &rng) {
         return perLine(t, [&](std::string l) {
             return pick(rng, 0, 2) == 0 ? "\n" + spaces(rng) + "\n" + l : l;
         });
     }},
    {"quoted",
     [](const std::string &t, Rng &rng) {
         return perLine(t,
                        [&](std::string l) { return std::string(pick(rng, 1, 3), '>') + " " + l; });
     }},
    {"zero-width characters",
     [](const std::string &t, Rng &rng) {
         static const char *const marks[] = {"\u200b", "\u200c", "\u200d", "\u2060", "\ufeff"};
         std::string out;
         for (const char c : t)
             out.append(pick(rng, 0, 9) == 0 ? marks[pick(rng, 0, 4)] : "").append(1, c);
         return out;
     }},
    {"no-break spaces",
     [](const std::string &t, Rng &rng) {
         return perLine(t, [&](std::string l) {
             return "\u00a0" + replaceAll(l, " ", pick(rng, 0, 1) ? "\u00a0" : "\u202f");
         });
     }},
    {"CR LF", [](const std::string &t, Rng &) { return replaceAll(t, "\n", "\r\n"); }},
    {"lone CR", [](const std::string &t, Rng &) { return replaceAll(t, "\n", "\r"); }, false},
    {"upper case",
     [](std::string t, Rng &) {
         std::transform(t.begin(), t.end(), t.begin(),
                        [](char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; });
         return t;
     }},
    {"mixed case",
     [](std::string t, Rng &rng) {
         for (char &c : t)
             if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
                 c = static_cast<char>(pick(rng, 0, 1) ? c | 0x20 : c & ~0x20);
         return t;
     }},
    {"text around",
     [](const std::string &t, Rng &) {
         return "Bonjour Hélène,\r\nvoici le message. À bientôt :>\n\n" + t + "-- \nMarc. END\n";
     }},
};

// A damaged armored text and the line the reader must name (0: not checked).
struct Damaged {
    std::string text;
    std::size_t line;
};

// Index of a random data line (not the frames), and its count of data characters.
std::size_t dataLine(const Lines &lines, Rng &rng)
{
    return pick(rng, 1, lines.size() - 2);
}
std::size_t dataLength(const Lines &lines, std::size_t i)
{
    return lines[i].size() - (i + 2 == lines.size());
}

char anyOtherCharacter(char was, Rng &rng)
{
    static const std::string pool = std::string(Alphabet) + "bio1.,-!";
    for (;;)
        if (const char c = pool[pick(rng, 0, pool.size() - 1)]; c != (was | 0x20))
            return c;
}

using Damage = std::function<Damaged(Lines, Rng &)>;
const std::vector<std::pair<const char *, Damage>> damages = {
    {"character changed",
     [](Lines l, Rng &rng) {
         std::size_t i = 0, at = 0;
         do {
             i = pick(rng, 0, l.size() - 1);
             at = pick(rng, 0, l[i].size() - 1);
         } while (l[i][at] == ' ');
         l[i][at] = anyOtherCharacter(l[i][at], rng);
         return Damaged{join(l, "\n"), i == 0 ? 0 : i + 1};
     }},
    {"character added",
     [](Lines l, Rng &rng) {
         const std::size_t i = dataLine(l, rng);
         l[i].insert(pick(rng, 0, dataLength(l, i)), 1, anyOtherCharacter(' ', rng));
         return Damaged{join(l, "\n"), i + 1};
     }},
    {"character lost",
     [](Lines l, Rng &rng) {
         const std::size_t i = dataLine(l, rng);
         l[i].erase(pick(rng, 0, dataLength(l, i) - 1), 1);
         return Damaged{join(l, "\n"), i + 1};
     }},
    {"characters swapped",
     [](Lines l, Rng &rng) {
         const std::size_t i = dataLine(l, rng);
         std::size_t at = 0;
         do
             at = pick(rng, 0, dataLength(l, i) - 2);
         while (l[i][at] == l[i][at + 1]);
         std::swap(l[i][at], l[i][at + 1]);
         return Damaged{join(l, "\n"), i + 1};
     }},
    {"line lost",
     [](Lines l, Rng &rng) {
         const std::size_t i = dataLine(l, rng);
         l.erase(l.begin() + static_cast<std::ptrdiff_t>(i));
         return Damaged{join(l, "\n"), i + 1};
     }},
    {"line doubled",
     [](Lines l, Rng &rng) {
         const std::size_t i = dataLine(l, rng);
         l.insert(l.begin() + static_cast<std::ptrdiff_t>(i), l[i]);
         return Damaged{join(l, "\n"), i + 2};
     }},
    {"lines moved",
     [](Lines l, Rng &rng) {
         if (l.size() < 4)
             return Damaged{}; // a single data line
         const std::size_t i = pick(rng, 1, l.size() - 3), j = pick(rng, i + 1, l.size() - 2);
         std::swap(l[i], l[j]);
         return Damaged{join(l, "\n"), i + 1};
     }},
    {"end cut off",
     [](Lines l, Rng &rng) {
         const std::string text = join(l, "\n");
         return Damaged{text.substr(0, pick(rng, l[0].size() + 1, text.size() - 2)), 0};
     }},
};

std::string randomCode(Rng &rng, std::size_t size)
{
    std::string code(size, '\0');
    for (char &c : code)
        c = static_cast<char>(pick(rng, 0, 255));
    return code;
}

TEST(Armor, survivesChannelsAndDetectsDamage)
{
    Rng rng(2112); // fixed seed, so a failure reproduces
    std::vector<std::size_t> sizes = {0, 1, 2, 3, 4, 5, 39, 40, 41, 79, 80, 81, 120, 1 << 20};
    for (int i = 0; i < 150; ++i)
        sizes.push_back(pick(rng, 6, 400));
    for (const std::size_t size : sizes) {
        const std::string code = randomCode(rng, size);
        const std::string armored = Armor::armor(code);
        SCOPED_TRACE(testing::Message() << size << " codes, armored:\n" << armored.substr(0, 400));

        // Only letters, digits, spaces, periods and line breaks; short lines; small size.
        EXPECT_EQ(armored.find_first_not_of(
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .\n"),
                  std::string::npos);
        for (const std::string &line : split(armored))
            EXPECT_LE(line.size(), 76U);
        const auto written = static_cast<std::size_t>(std::count_if(
            armored.begin(), armored.end(), [](char c) { return c != ' ' && c != '\n'; }));
        EXPECT_LE(written, 2 * size + 60);
        if (size > 1000) {
            EXPECT_LE(written, 2 * size);
        }

        std::string all = armored;
        for (const Tolerated &change : tolerated) {
            const Armor::Dearmored read = Armor::dearmor(change.apply(armored, rng));
            EXPECT_TRUE(read.ok() && read.code == code)
                << change.name << ": " << Armor::describe(read.problem);
            if (change.keepsLines)
                all = change.apply(all, rng); // and together, in this order
        }
        const Armor::Dearmored together = Armor::dearmor(all);
        EXPECT_TRUE(together.ok() && together.code == code) << "every change at once:\n"
                                                            << all.substr(0, 2000);
        EXPECT_TRUE(Armor::holdsArmor(all));

        for (const auto &[name, damage] : damages) {
            const Damaged damaged = damage(split(armored), rng);
            if (damaged.text.empty())
                continue;
            const Armor::Dearmored read = Armor::dearmor(damaged.text);
            EXPECT_FALSE(read.ok()) << name << ":\n" << damaged.text.substr(0, 2000);
            EXPECT_TRUE(read.code.empty()) << name;
            if (damaged.line != 0) {
                EXPECT_EQ(read.line, damaged.line)
                    << name << ", " << Armor::describe(read.problem) << ":\n"
                    << damaged.text.substr(0, 2000);
            }
        }
    }
}

} // namespace
