// SPDX-License-Identifier: GPL-3.0-or-later
// The armored form over random code texts: every change a channel makes to whitespace,
// quoting and case reads back exact; every real damage fails, at the damaged line. Then the
// fixed test vectors of docs/armor.md.
#include "armor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using S = std::string;
using Rng = std::mt19937;
using Lines = std::vector<S>;

std::size_t pick(Rng &rng, std::size_t from, std::size_t to) // in [from, to]
{
    return std::uniform_int_distribution<std::size_t>(from, to)(rng);
}

Lines split(const S &text) // lines ended by '\n'
{
    Lines lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != S::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

S join(const Lines &lines, const S &between = "\n")
{
    S text;
    for (const S &line : lines)
        text += line + between;
    return text;
}

// A channel: lines re-cut, given a prefix and suffix, SPACE for ' ', INSIDE after some
// characters, joined by BETWEEN; letters upper case (1) or each at random (2).
struct Change {
    const char *name;
    Lines prefixes = {""};
    Lines suffixes = {""};
    S space = " ";
    S inside = "";
    S between = "\n";
    bool rewrap = false;
    int cased = 0;
};
// All but the last three are also applied together, in this order.
const std::vector<Change> tolerated = {
    {.name = "rewrapped", .rewrap = true},
    {.name = "indented, trailing spaces", .prefixes = {"", " ", "\t"}, .suffixes = {"", " \t"}},
    {.name = "blank lines", .prefixes = {"", "\n", "\n \n"}},
    {.name = "quoted", .prefixes = {"> ", ">> ", "> > ", ">"}},
    {.name = "zero-width",
     .prefixes = {"\ufeff"},
     .suffixes = {"\u200b"},
     .inside = "\u200c\u2060"},
    {.name = "no-break spaces", .prefixes = {"\u202f"}, .suffixes = {"\u00a0 "}, .space = "\u00a0"},
    {.name = "CR LF", .between = "\r\n"},
    {.name = "upper case", .cased = 1},
    {.name = "mixed case", .cased = 2},
    {.name = "joined by spaces", .between = " "},
    {.name = "joined with nothing", .between = ""},
    {.name = "lone CR", .between = "\r"},
};

S apply(const Change &change, S text, Rng &rng)
{
    if (change.rewrap) {
        const S flat = join(split(text), " ");
        const std::size_t width = pick(rng, 1, 90);
        text.clear();
        for (std::size_t at = 0; at < flat.size(); at += width)
            text += flat.substr(at, width) + "\n";
    }
    Lines lines = split(text);
    for (S &line : lines) {
        S changed = change.prefixes[pick(rng, 0, change.prefixes.size() - 1)];
        for (const char c : line) {
            changed.append(c == ' ' ? change.space : S(1, c));
            if (!change.inside.empty() && pick(rng, 0, 7) == 0)
                changed += change.inside;
        }
        line = changed + change.suffixes[pick(rng, 0, change.suffixes.size() - 1)];
    }
    text = join(lines, change.between);
    for (char &c : text)
        if (change.cased != 0 && (c | 0x20) >= 'a' && (c | 0x20) <= 'z')
            c = static_cast<char>(change.cased == 1 || pick(rng, 0, 1) ? c & ~0x20 : c | 0x20);
    return text;
}

char otherThan(char was, Rng &rng) // data characters are lower case
{
    static const S pool = "qpzry9x8gf2tvdw0s3jn54khce6mua7lbio1.,-!";
    return pool[(pool.find(was) + pick(rng, 1, pool.size() - 1)) % pool.size()];
}

// The armored LINES with damage KIND (a character changed, added, lost, two swapped; a line
// lost, doubled, two moved; the end cut off), and the line the reader must name (0: any).
std::pair<S, std::size_t> damaged(int kind, Lines l, Rng &rng)
{
    const std::size_t i = pick(rng, 1, l.size() - 2), j = pick(rng, 1, l.size() - 2);
    const std::size_t data = l[i].size() - (i + 2 == l.size()); // without the closing period
    const std::size_t at = pick(rng, 0, data - 2);
    const S whole = join(l);
    if (kind == 0)
        l[i][at] = otherThan(l[i][at], rng);
    else if (kind == 1)
        l[i].insert(pick(rng, 0, data), 1, otherThan(' ', rng));
    else if (kind == 2)
        l[i].erase(at, 1);
    else if (kind == 3)
        std::swap(l[i][at], l[i][at + 1]);
    else if (kind == 4)
        l.erase(l.begin() + static_cast<std::ptrdiff_t>(i));
    else if (kind == 5)
        l.insert(l.begin() + static_cast<std::ptrdiff_t>(i), l[i]);
    else if (kind == 6)
        std::swap(l[i], l[j]);
    else
        return {whole.substr(0, pick(rng, l[0].size() + 1, whole.size() - 2)), 0};
    return {join(l), kind == 5 ? i + 2 : kind == 6 ? std::min(i, j) + 1 : i + 1};
}

TEST(Armor, survivesChannelsAndDetectsDamage)
{
    Rng rng(2112); // fixed seed, so a failure reproduces
    std::vector<std::size_t> sizes = {0, 1, 2, 3, 4, 5, 39, 40, 41, 79, 80, 81, 120, 1 << 20};
    for (int n = 0; n < 150; ++n)
        sizes.push_back(pick(rng, 6, 400));
    const S before = "Bonjour Hélène,\r\n\r\nvoici :> ", after = "-- \nMarc. END\n";
    for (const std::size_t size : sizes) {
        S code(size, '\0');
        std::generate(code.begin(), code.end(), [&] { return static_cast<char>(rng()); });
        const S armored = Armor::armor(code);
        SCOPED_TRACE(testing::Message() << size << " codes, armored:\n" << armored.substr(0, 300));

        // Only letters, digits, spaces, periods and line breaks; short lines; small size.
        EXPECT_EQ(armored.find_first_not_of(
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789qpzry9x8gf2tvdw0s3jn54khce6mua7l .\n"),
                  S::npos);
        for (const S &line : split(armored))
            EXPECT_LE(line.size(), 71U);
        const auto written = static_cast<std::size_t>(std::count_if(
            armored.begin(), armored.end(), [](char c) { return c != ' ' && c != '\n'; }));
        EXPECT_LE(written, size > 1000 ? 2 * size : 2 * size + 60);

        // Each change, with text around; then all those that keep line breaks at once.
        S all = armored;
        for (std::size_t k = 0; k < tolerated.size(); ++k) {
            const Armor::Dearmored read =
                Armor::dearmor(before + apply(tolerated[k], armored, rng) + after);
            EXPECT_TRUE(read.ok() && read.code == code)
                << tolerated[k].name << ": " << Armor::describe(read.problem);
            if (k + 3 < tolerated.size())
                all = apply(tolerated[k], all, rng);
        }
        EXPECT_TRUE(Armor::holdsArmor(all) && Armor::dearmor(all).code == code)
            << all.substr(0, 2000);

        for (int kind = 0; kind < 8; ++kind) {
            const auto [text, line] = damaged(kind, split(armored), rng);
            const Armor::Dearmored read = Armor::dearmor(text);
            EXPECT_TRUE(text == armored || (!read.ok() && (line == 0 || read.line == line)))
                << "damage " << kind << ": " << Armor::describe(read.problem) << " at line "
                << read.line << ", not " << line << ":\n"
                << text.substr(0, 2000);
        }
    }
}

S readFile(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << file;
    return {std::istreambuf_iterator<char>(in), {}};
}

// Each row of expected.txt: a file, then "written HEX" (the writer's exact form of the code
// text HEX), "reads HEX" or the problem and line a reader must give.
TEST(Armor, agreesWithTheTestVectors)
{
    const std::filesystem::path folder = CODETARVO_ARMOR_VECTORS;
    const char *const problems[] = {"None",    "NotFound", "BadCharacter",
                                    "Damaged", "CutShort", "TrailingData"};
    std::set<S> listed;
    std::istringstream rows(readFile(folder / "expected.txt"));
    for (S row; std::getline(rows, row);) {
        std::istringstream fields(row);
        S file, kind, value;
        if (!(fields >> file >> kind) || file[0] == '#')
            continue;
        fields >> value;
        listed.insert(file);
        const S text = readFile(folder / file);
        const Armor::Dearmored read = Armor::dearmor(text);
        SCOPED_TRACE(file + ": " + problems[static_cast<int>(read.problem)] + " at line " +
                     std::to_string(read.line));
        EXPECT_EQ(Armor::holdsArmor(text), kind != "NotFound");
        if (kind == "written" || kind == "reads") {
            S code;
            for (std::size_t at = 0; at + 1 < value.size(); at += 2)
                code += static_cast<char>(std::stoi(value.substr(at, 2), nullptr, 16));
            EXPECT_TRUE(read.ok() && read.code == code);
            if (kind == "written") {
                EXPECT_EQ(Armor::armor(code), text);
            }
        } else {
            EXPECT_EQ(problems[static_cast<int>(read.problem)], kind);
            EXPECT_EQ(std::to_string(read.line), value);
        }
    }
    EXPECT_FALSE(listed.empty());
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const S name = entry.path().filename().string();
        if (entry.path().extension() == ".txt" && name != "expected.txt") {
            EXPECT_TRUE(listed.count(name)) << name << " is missing from expected.txt";
        }
    }
}

} // namespace
