// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The armored form of a code text: ASCII letters, digits, spaces, periods and line breaks
// only, framed by "BEGIN CODE TARVO MESSAGE." and "END CODE TARVO MESSAGE.", so that it
// travels through chats, mail and terminals. Reading it back takes no notice of whitespace
// (re-wrapped, joined, indented lines, CR LF, no-break spaces), quote marks ">", zero-width
// characters, letter case or the text around the frame; any other change is a failure that
// says what and where, never another code text. No Qt and no I/O here.

#include <cstddef>
#include <string>
#include <string_view>

namespace Armor {

// The armored form of CODE (bytes 0-255): lines of at most 71 characters, each ended by "\n"
// (docs/armor.md describes the form byte for byte).
[[nodiscard]] std::string armor(std::string_view code);

enum class Problem {
    None,
    NotFound,     // TEXT holds no "BEGIN CODE TARVO MESSAGE."
    BadCharacter, // a character an armored form never holds, inside the frame
    Damaged,      // a group's checksum fails: a character changed, added, lost or swapped,
                  // or a line lost, doubled or moved; or the closing frame changed
    CutShort,     // the end is missing: the last group or the closing frame
    TrailingData, // more groups after the last one
};

// What reading an armored form gives: the code text, or why and where it failed.
struct Dearmored {
    std::string code;                // the code text; empty on failure
    Problem problem = Problem::None; //
    std::size_t line = 0;            // 1-based line of the armored text (the BEGIN line is 1)
                                     // where the problem was found

    [[nodiscard]] bool ok() const { return problem == Problem::None; }
};

// Whether TEXT (UTF-8, or any bytes) holds the opening frame of an armored form, in any case
// and whatever whitespace lies in it.
[[nodiscard]] bool holdsArmor(std::string_view text);

// Reads the first armored form in TEXT (UTF-8, or any bytes), ignoring the text around it.
[[nodiscard]] Dearmored dearmor(std::string_view text);

// A short lower-case English description of PROBLEM, for messages.
[[nodiscard]] std::string_view describe(Problem problem);

} // namespace Armor
