// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The armored form of a code text: ASCII letters, digits, spaces, periods and line breaks
// only, framed by "BEGIN CODE TARVO MESSAGE." and "END CODE TARVO MESSAGE.", so that it
// travels through chats, mail and terminals. Reading it back takes no notice of whitespace
// (re-wrapped, joined, indented lines, CR LF, no-break spaces), quote marks ">", zero-width
// characters, letter case or the text around the frame; any other change is a failure that
// says what and where, never another code text. No Qt and no I/O here.

#include <cstddef>
#include <memory>
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

// armor, a piece of the code text at a time: the same lines, written as soon as they are known
// not to be the last.
class Writer {
public:
    // Appends to OUT the lines that CODE, following the pieces before, completes.
    void add(std::string_view code, std::string &out);
    // Appends the last line and the closing frame.
    void finish(std::string &out);

private:
    void begin(std::string &out);

    bool m_begun = false;
    std::size_t m_index = 0; // of the next chunk
    std::string m_pending;   // the last chunk's bytes so far, or a whole chunk before more come
};

// dearmor, a piece of the text at a time, with exactly its result: each chunk's bytes go out
// as soon as its checksum holds and it is known not to be the last, and the text is read only
// as far as the result is known.
class Reader {
public:
    Reader();
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // Reads the SIZE bytes at TEXT, which follow the pieces before, LAST when no more follow;
    // appends the code bytes it finds to CODE. TEXT and the 4 bytes before it may be written
    // over (a line break or a UTF-8 sequence cut by the piece before goes there).
    void read(char *text, std::size_t size, bool last, std::string &code);

    // Whether the result is known, and no more text needs to be read.
    [[nodiscard]] bool done() const;
    // The problem and its line once done (the code field stays empty: the code went out).
    [[nodiscard]] const Dearmored &result() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// A short lower-case English description of PROBLEM, for messages.
[[nodiscard]] std::string_view describe(Problem problem);

} // namespace Armor
