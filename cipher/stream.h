// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The cipher and the code page over a text that arrives piece by piece, in bounded memory, with
// exactly the results of Coder, decode and CodePage::fromUtf8InPlace on the whole text: the key
// position, an escape group or a UTF-8 sequence cut by a piece's end carry over to the next.
//
// Pieces given in place are written over, and so are the Headroom bytes before them: a stage
// puts there what it held back from the piece before, so that no piece is copied.

#include "codepage.h"
#include "engine/engine.h"
#include "modcodeur.h"
#include "randomsource.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ModCodeur {

// The bytes before each piece given in place that the stages may write over.
inline constexpr std::size_t Headroom = 16;

// Coder, a piece of the plain text at a time.
class StreamEncoder {
public:
    // KEY has at least 2 codes. DRAWS is re-seeded when the first code arrives.
    StreamEncoder(std::string_view key, RandomSource &draws);

    // The code units of PLAIN, the start offset before the first group; valid until the next
    // call. No code at all gives no unit at all, as Coder gives the empty text for it.
    [[nodiscard]] std::string_view encode(std::string_view plain);

private:
    Engine::Encoder m_engine;
    RandomSource &m_draws;
    std::size_t m_keyLength;
    std::size_t m_position = 0;
    bool m_started = false;
    std::string m_code;
};

// decode, a piece of the code text at a time.
class StreamDecoder {
public:
    explicit StreamDecoder(std::string_view key) : m_engine(key), m_keyLength(key.size()) {}

    // Decodes the SIZE units at CODE in place, LAST when no more follow; gives their plain
    // codes, which start where the units held back from the piece before now stand (at most two
    // bytes before CODE), or nothing on failure.
    [[nodiscard]] std::optional<std::string_view> decode(char *code, std::size_t size, bool last);

    // No unit given yet.
    [[nodiscard]] bool empty() const { return !m_started && m_heldCount == 0; }
    // Why and at which unit of the whole code text the decoding failed.
    [[nodiscard]] DecodeFailure failure() const { return m_failure; }
    [[nodiscard]] std::size_t unit() const { return m_unit; }

private:
    std::nullopt_t fail(DecodeFailure failure, std::size_t unit);

    Engine::Decoder m_engine;
    std::size_t m_keyLength;
    std::size_t m_position = 0;
    bool m_started = false;  // the start offset has been read
    std::size_t m_units = 0; // units decoded before those held back
    char m_held[2] = {};     // an escape group's first units, cut by a piece's end
    std::size_t m_heldCount = 0;
    DecodeFailure m_failure = DecodeFailure::None;
    std::size_t m_unit = 0;
};

// CodePage::fromUtf8InPlace, a piece of the UTF-8 text at a time.
class StreamUtf8Reader {
public:
    // Turns the SIZE bytes of UTF-8 at TEXT into codes in place, LAST when no more follow; gives
    // the codes, which start where the bytes held back from the piece before now stand (at most
    // three bytes before TEXT), or nothing on failure.
    [[nodiscard]] std::optional<std::string_view> read(char *text, std::size_t size, bool last);

    // What was found where, counted from the whole text's start.
    [[nodiscard]] const CodePage::Utf8Error &error() const { return m_error; }

private:
    std::size_t m_bytes = 0; // bytes read before those held back
    std::size_t m_codes = 0; // characters read before them
    char m_held[3] = {};     // a sequence cut by a piece's end
    std::size_t m_heldCount = 0;
    CodePage::Utf8Error m_error;
};

// How many of the last bytes of the SIZE bytes at TEXT begin a UTF-8 sequence whose lead byte
// promises more bytes than there are: what a reader holds back until the next piece.
[[nodiscard]] std::size_t cutSequence(const char *text, std::size_t size);

} // namespace ModCodeur
