// SPDX-License-Identifier: GPL-3.0-or-later
// The three boxes' behaviour, without a window or a browser: one table of scenarios, each a
// few edits of a user's and what a face is then told to show, and the live conversion over
// many random keystrokes.

#include "boxes.h"
#include "failuretext.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using ModCodeur::DecodeFailure;
using ModCodeur::Decoder;

// A face that shows what Boxes tells it, as a window or a page would.
struct Face final : BoxesView {
    std::array<std::string, 3> shown;
    std::array<std::string, 3> counts; // empty until first set
    bool copies = true;
    std::string why;                              // the failure's reason, empty for none
    std::optional<std::size_t> marked;            // the unit marked in the code box
    std::array<int, 3> busyWhenShown{-1, -1, -1}; // EnCours when each box was last shown
    std::string refusal;                          // why a paste entered nothing, if one did

    void showCodes(int i, std::string_view codes) override
    {
        shown[i] = codes;
        busyWhenShown[i] = ModCodeur::EnCours;
    }
    void showCount(int i, std::size_t count) override { counts[i] = std::to_string(count); }
    void enableCopies(bool enabled) override { copies = enabled; }
    void showFailure(std::string_view reason, std::optional<std::size_t> unit) override
    {
        why = reason;
        marked = unit;
    }
    void clearFailure() override
    {
        why.clear();
        marked.reset();
    }
    void showRefusal(int i, std::string_view reason) override
    {
        refusal = "box " + std::to_string(i) + ": " + std::string(reason);
    }
};

// Boxes over a face, which shows the plain length Coder gives as a face does.
struct Fixture {
    Face face;
    Boxes boxes{face};

    Fixture()
    {
        ModCodeur::setPlainLengthHook([this](std::size_t n) { face.showCount(Boxes::Plain, n); });
    }
    Fixture(const Fixture &) = delete;
    Fixture &operator=(const Fixture &) = delete;
    ~Fixture() { ModCodeur::setPlainLengthHook({}); }

    // The user leaves CODES in box I, which the face's box then holds.
    void type(int i, const std::string &codes)
    {
        face.shown[i] = codes;
        boxes.edited(i, codes);
    }
};

// One thing a user does: replaces a box's text by typing (or undoing), by a text assigned to
// it, or by pasting a text over it.
struct Step {
    enum Kind { Type, Assign, Paste } kind;
    int box;
    std::string text; // codes; for Paste UTF-8 as the clipboard holds it
};
Step type(int box, std::string codes)
{
    return {Step::Type, box, std::move(codes)};
}
Step paste(int box, std::string utf8)
{
    return {Step::Paste, box, std::move(utf8)};
}

void run(Fixture &f, const Step &step)
{
    switch (step.kind) {
    case Step::Type:
        f.type(step.box, step.text);
        return;
    case Step::Assign:
        f.boxes.setText(step.box, step.text);
        return;
    case Step::Paste: {
        const std::u16string text(step.text.begin(), step.text.end()); // ASCII in the table
        // Over the whole text of the box.
        const Boxes::Entry entry = f.boxes.paste(step.box, text, f.boxes.text(step.box).size());
        if (!entry.refused)
            f.type(step.box, entry.codes);
        return;
    }
    }
}

const std::string Erreur(ModCodeur::Erreur);
// In an expected code box: any code text that decodes to the plain box with the key.
const std::string DecodesToPlain = "<decodes to the plain text>";
const std::string Carried = ModCodeur::Coder("bonjour\r\n\xE0 toi", "cl");

struct Scenario {
    const char *name;
    std::vector<Step> steps;
    std::array<std::string, 3> texts;
    std::array<std::string, 3> counts;
    bool copies;
    std::string why; // the reason's exact text, empty for none
    std::optional<std::size_t> marked = std::nullopt;
    std::array<int, 3> busyWhenShown = {-2, -2, -2}; // -2: not checked
    std::string refusal = "";
};

using FailureText::why;

const std::string armoredCarried = Armor::armor(Carried);
std::string damagedCarried()
{
    std::string text = armoredCarried;
    const std::size_t second = text.find('\n') + 1; // line 2, the first of the data
    text[second] = text[second] == 'q' ? 'p' : 'q';
    return text;
}

const std::vector<Scenario> scenarios = {
    {"start-up: the texts as they are, nothing converted, Copy disabled",
     {},
     {"Tesk", "Saisie", "Code"},
     {"", "", ""},
     false,
     ""},
    {"typing in the plain box encodes it; the nested change of the code box is held back",
     {type(1, "Un \xE9t\xE9\r\n\xE0 Paris \x80")},
     {"Tesk", "Un \xE9t\xE9\r\n\xE0 Paris \x80", DecodesToPlain},
     {"", "17", "*"},
     true,
     "",
     std::nullopt,
     {0, 0, 2}},
    {"a key edit encodes the plain text again, writing the code box while busy with 1",
     {type(0, "clef")},
     {"clef", "Saisie", DecodesToPlain},
     {"4", "6", "*"},
     true,
     "",
     std::nullopt,
     {0, 0, 1}},
    {"typing in the code box decodes it",
     {type(0, "cl"), type(2, Carried)},
     {"cl", "bonjour\r\n\xE0 toi", Carried},
     {"2", "14", "7"},
     true,
     "",
     std::nullopt,
     {0, 2, 1}},
    {"a key too short only disables Copy: counts and texts stay",
     {type(0, "clef"), type(0, "c"), type(1, "autre"), type(2, "")},
     {"c", "autre", ""},
     {"4", "6", "7"},
     false,
     ""},
    {"emptying the plain box empties the code box, counts stay",
     {type(1, "abc"), type(1, "")},
     {"Tesk", "", ""},
     {"", "3", "4"},
     true,
     ""},
    {"emptying the code box empties the plain box; its nested change runs, not held back",
     {type(1, "abc"), type(2, "")},
     {"Tesk", "", ""},
     {"", "3", "4"},
     true,
     "",
     std::nullopt,
     {0, 0, 2}},
    {"a key edit decodes into an empty plain box, which encodes again with fresh offsets",
     {type(0, "c"), type(1, ""), Step{Step::Assign, 2, Carried}, type(0, "cl")},
     {"cl", "bonjour\r\n\xE0 toi", DecodesToPlain},
     {"2", "14", "*"},
     true,
     ""},
    {"a key edit into an empty plain box that does not fit: \"Erreur\", the code text kept",
     {type(0, "c"), type(1, ""), type(2, "\x02zz"), type(0, "cl")},
     {"cl", Erreur, "\x02zz"},
     {"2", "", ""},
     true,
     why(DecodeFailure::StartOutsideKey, 0),
     0},
    {"both boxes empty when the key changes: \"Erreur\" with nothing to mark",
     {type(1, ""), type(0, "Tesx")},
     {"Tesx", Erreur, ""},
     {"4", "", ""},
     true,
     why(DecodeFailure::EmptyCode, 0)},
    {"a code text cut short marks its last unit",
     {type(2, "\x01\x01\x41")},
     {"Tesk", Erreur, "\x01\x01\x41"},
     {"", "6", ""},
     true,
     why(DecodeFailure::EscapeCutShort, 3),
     2},
    {"\"Erreur\" is never encoded: a key edit only tells the reason for the new key",
     {type(0, "Te"), type(2, "\x01\x66\x66\x20"), type(0, "Tesk")},
     {"Tesk", Erreur, "\x01\x66\x66\x20"},
     {"4", "6", "7"},
     true,
     why(DecodeFailure::BelowKey, 2),
     2},
    {"an \"Erreur\" left by a key edit says the code text fits now",
     {type(0, "ab"), type(2, "\x05xy"), type(0, "abcdefg")},
     {"abcdefg", Erreur, "\x05xy"},
     {"7", "6", "7"},
     true,
     FailureText::fitsNow()},
    {"an \"Erreur\" kept while the key is too short says so",
     {type(0, "ab"), type(2, "\x05xy"), type(0, "a")},
     {"a", Erreur, "\x05xy"},
     {"2", "6", "7"},
     false,
     FailureText::keyTooShort()},
    {"editing \"Erreur\" into another text encodes again and forgets the reason",
     {type(2, "\x01\x05"), type(1, "Erreurs")},
     {"Tesk", "Erreurs", DecodesToPlain},
     {"", "7", "*"},
     true,
     ""},
    {"typing \"Erreur\" into the plain box keeps the code text of \"Erreu\"",
     {type(1, "Erreu"), type(1, "Erreur")},
     {"Tesk", Erreur, "<of Erreu>"},
     {"", "5", "*"},
     true,
     ""},
    {"undoing the unit at fault decodes again and takes the mark away",
     {type(2, "\x01zz"), type(2, "\x01zz "), type(2, "\x01zz")},
     {"Tesk", Decoder("\x01zz", "Tesk"), "\x01zz"},
     {"", "2", ""},
     true,
     ""},
    {"an armored text pasted into the code box enters the code text it carries",
     {type(0, "cl"), paste(2, "Bonjour,\n> " + armoredCarried + "-- \n")},
     {"cl", "bonjour\r\n\xE0 toi", Carried},
     {"2", "14", "7"},
     true,
     ""},
    {"a damaged one enters nothing: \"Erreur\" says where, the code box keeps its text",
     {type(0, "cl"), type(2, Carried), paste(2, damagedCarried())},
     {"cl", Erreur, Carried},
     {"2", "14", "7"},
     true,
     FailureText::armorDamaged(Armor::Problem::Damaged, 2)},
    {"after a damaged one, any change of the code box decodes again",
     {type(0, "cl"), type(2, Carried), paste(2, damagedCarried()), type(2, Carried + "\x07")},
     {"cl", Erreur, Carried + "\x07"},
     {"2", "6", "7"},
     true,
     why(DecodeFailure::BelowKey, Carried.size()),
     Carried.size()},
    {"a paste as long as a box holds enters and converts",
     {type(0, "cl"), paste(1, std::string(Boxes::Limit, 'w'))},
     {"cl", std::string(Boxes::Limit, 'w'), DecodesToPlain},
     {"2", "*", "*"},
     true,
     ""},
    {"a paste past the limit enters nothing, changes no box and says why",
     {type(0, "cl"), type(2, Carried), paste(2, std::string(Boxes::Limit + 1, 'w')),
      paste(1, armoredCarried + std::string(Boxes::Limit, 'w'))},
     {"cl", "bonjour\r\n\xE0 toi", Carried},
     {"2", "14", "7"},
     true,
     "",
     std::nullopt,
     {-2, -2, -2},
     "box 1: " + FailureText::tooLong(Boxes::Limit)},
    {"an armored text pasted into the plain box is only text",
     {paste(1, armoredCarried)},
     {"Tesk", armoredCarried, DecodesToPlain},
     {"", "*", "*"},
     true,
     ""},
};

void PrintTo(const Scenario &s, std::ostream *os)
{
    *os << s.name;
}

class BoxesScenario : public testing::TestWithParam<Scenario> {};

TEST_P(BoxesScenario, showsWhatTheBoxesHold)
{
    const Scenario &s = GetParam();
    Fixture f;
    for (const Step &step : s.steps)
        run(f, step);
    EXPECT_EQ(ModCodeur::EnCours, 0);
    EXPECT_EQ(f.face.shown, (std::array{f.boxes.text(0), f.boxes.text(1), f.boxes.text(2)}))
        << "the face shows other texts than the boxes hold";

    const std::string &key = f.boxes.text(0);
    const std::string &plain = f.boxes.text(1);
    const std::string &code = f.boxes.text(2);
    EXPECT_EQ(key, s.texts[0]);
    EXPECT_EQ(plain, s.texts[1]);
    if (s.texts[2] == DecodesToPlain)
        EXPECT_EQ(Decoder(code, key), plain);
    else if (s.texts[2] == "<of Erreu>")
        EXPECT_EQ(Decoder(code, key), "Erreu");
    else
        EXPECT_EQ(code, s.texts[2]);

    for (int i = 0; i < 3; ++i) {
        // "*": the length of the box's text.
        const std::string count =
            s.counts[i] == "*" ? std::to_string(f.boxes.text(i).size()) : s.counts[i];
        EXPECT_EQ(f.face.counts[i], count) << "count " << i;
        if (s.busyWhenShown[i] != -2) {
            EXPECT_EQ(f.face.busyWhenShown[i], s.busyWhenShown[i]) << "box " << i;
        }
    }
    EXPECT_EQ(f.face.copies, s.copies);
    EXPECT_EQ(f.boxes.copiesEnabled(), s.copies);
    // The armored copy follows the Copy buttons: at start-up the code box holds a word.
    EXPECT_EQ(f.boxes.armoredCode(), s.copies ? std::optional(Armor::armor(code)) : std::nullopt);
    EXPECT_EQ(f.face.why, s.why);
    EXPECT_EQ(f.face.marked, s.marked);
    EXPECT_EQ(f.face.refusal, s.refusal);
}

INSTANTIATE_TEST_SUITE_P(Boxes, BoxesScenario, testing::ValuesIn(scenarios),
                         [](const testing::TestParamInfo<Scenario> &info) {
                             return "scenario" + std::to_string(info.index);
                         });

// Keystroke after keystroke, whatever is typed: the plain box typed into keeps a code text that
// decodes to it, and the code box typed into keeps the plain box its decoding, counts and all.
TEST(Boxes, keepsTheOtherBoxTheConversionOfEachKeystroke)
{
    std::mt19937 rng(4242); // fixed seed, so a failure reproduces
    std::uniform_int_distribution<int> anyCode(0, 255);
    std::uniform_int_distribution<int> keyLength(2, 7);
    for (int round = 0; round < 200; ++round) {
        Fixture f;
        std::string key(static_cast<std::size_t>(keyLength(rng)), ' ');
        for (char &c : key)
            c = static_cast<char>(anyCode(rng) | 0x20);
        f.type(Boxes::Key, key);
        const int box = round % 2 ? Boxes::Plain : Boxes::Code;
        std::string typed;
        f.type(box, typed);
        for (int stroke = 0; stroke < 40; ++stroke) {
            // A plain text holds no code 0; a code text starts at a key position.
            const int code = anyCode(rng);
            typed += static_cast<char>(box == Boxes::Plain ? std::max(code, 1)
                                       : typed.empty()     ? code % key.size()
                                                           : code);
            f.type(box, typed);
            SCOPED_TRACE(testing::Message()
                         << "round " << round << ", " << typed.size() << " typed");
            ASSERT_EQ(f.boxes.text(box), typed);
            if (box == Boxes::Plain && typed != Erreur) {
                ASSERT_EQ(Decoder(f.boxes.text(Boxes::Code), key), typed);
                ASSERT_EQ(f.face.counts[Boxes::Code], std::to_string(f.boxes.text(2).size()));
            } else if (box == Boxes::Code) {
                ASSERT_EQ(f.boxes.text(Boxes::Plain), Decoder(typed, key));
                ASSERT_EQ(f.face.why.empty(), f.boxes.text(Boxes::Plain) != Erreur);
            }
            ASSERT_EQ(f.face.counts[Boxes::Plain], std::to_string(f.boxes.text(1).size()));
            ASSERT_EQ(f.face.shown[Boxes::Plain], f.boxes.text(1));
            ASSERT_EQ(f.face.shown[Boxes::Code], f.boxes.text(2));
        }
    }
}

} // namespace
