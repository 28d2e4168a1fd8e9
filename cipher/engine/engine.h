// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The vector engine: Coder and decode for long texts, many units at a time, with exactly the
// result of the loops in modcodeur.cpp (encodeGroups, decodeGroups).

#include "modcodeur.h"
#include "units.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace ModCodeur::Engine {

// Texts shorter than these go through the loops: setting the engine up costs more than it saves.
// Plain texts, for Coder:
inline constexpr std::size_t LongPlain = 256;
// Code texts, for decode and Decoder:
inline constexpr std::size_t LongCode = 256;

// encodeGroups(plain, key, start, draws). When DRAWS is a TwisterRandomSource, its
// generator's numbers are converted to positions many at a time, and it has given exactly the
// numbers used when this returns. PLAIN is not empty and KEY has at least 2 codes. The code
// text is written into ROOM's memory while its capacity lasts.
[[nodiscard]] std::string encode(std::string_view plain, std::string_view key, std::size_t start,
                                 RandomSource &draws, std::string room = {});

// How many units encode writes into before it needs more: the code text of PLAINLENGTH codes
// unless more than a quarter of them are escapes.
[[nodiscard]] std::size_t codeRoom(std::size_t plainLength);

// Where a decoding stopped: the failure and its unit, and how many plain units it wrote.
struct Decoded {
    DecodeFailure failure = DecodeFailure::None;
    std::size_t unit = 0;
    std::size_t length = 0;
};

// decodeGroups(code, key), its plain units written to PLAIN, which has room for all but one
// unit of CODE and may be CODE's own first unit (the plain text is written over the code text).
[[nodiscard]] Decoded decode(std::string_view code, std::string_view key, char *plain);

// An encoding carried on from one piece of the plain text to the next: the key laid out once,
// the key position handed from each piece to the next.
class Encoder {
public:
    explicit Encoder(std::string_view key);

    // Writes the groups of PLAIN into OUT from unit AT on, the first with the key code at
    // position P, and gives the end of what it wrote; P is left at the next group's position.
    // OUT's size is its room: grown to what the groups may take, never shrunk.
    std::size_t write(std::string_view plain, std::size_t &p, RandomSource &draws, std::string &out,
                      std::size_t at) const;

private:
    KeyRing m_ring;
    PlainClasses m_classes;
    std::size_t m_keyLength;
};

// A decoding carried on from one piece of the code text to the next.
class Decoder {
public:
    explicit Decoder(std::string_view key) : m_ring(key) {}

    // Decodes the groups of CODE, which follow the start offset or earlier groups, the first
    // with the key code at position P, writing the plain units to PLAIN (which may be CODE's
    // own first unit); P is left at the next group's position. When MORE code follows, an
    // escape group cut by CODE's end is left for the next call, and READ says how many units
    // were used. A failure's unit counts from CODE's first.
    Decoded write(std::string_view code, std::size_t &p, char *plain, bool more,
                  std::size_t &read) const;

private:
    KeyRing m_ring;
};

} // namespace ModCodeur::Engine
