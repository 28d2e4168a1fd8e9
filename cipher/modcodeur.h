// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// ModCodeur: the cipher. Texts are byte strings whose bytes are character codes 0-255.
//
// A code text is unit 0, the start key position, then one group per plain character: a
// normal group is the single code key + plain; an escape group is a marker 0-6, the plain
// code minus the marker, and a new key position. No Qt and no I/O here.

#include "randomsource.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ModCodeur {

// Busy flag of the window's field synchronisation: 0 idle, 1 a key-driven encoding is
// writing the code box, 2 a plain- or code-driven update is writing the other box.
inline std::int16_t EnCours = 0;

// Called by Coder with the plain text's length before it encodes; the window registers
// one to show that length. Empty (no side effect) until something registers.
using PlainLengthHook = std::function<void(std::size_t)>;
void setPlainLengthHook(PlainLengthHook hook);

// Sums from this value up cannot be normal groups.
inline constexpr int EscapeThreshold = 250;
// Units 0 to this value are read back as escape markers.
inline constexpr int HighestMarker = 6;
// The failure text of Decoder.
inline constexpr std::string_view Erreur = "Erreur";

// Encodes PLAIN with KEY, drawing the start and re-chosen key positions from DRAWS, which
// is re-seeded first. A key of fewer than 2 codes or an empty plain text gives an empty
// code text and no draws.
[[nodiscard]] std::string Coder(std::string plain, std::string key, RandomSource &draws);
// The same with the process's clock-seeded generator.
[[nodiscard]] std::string Coder(std::string plain, std::string key);
// The same, a long code text written into ROOM's memory when its capacity suffices: a caller
// of large texts can prepare that memory, codeRoom(plain's length) bytes.
[[nodiscard]] std::string Coder(std::string plain, std::string key, std::string room);
[[nodiscard]] std::size_t codeRoom(std::size_t plainLength);

enum class DecodeFailure {
    None,
    EmptyCode,       // no unit at all
    StartOutsideKey, // the start offset is not smaller than the key length
    NoGroup,         // a code text of the start offset alone
    EscapeCutShort,  // the code text ends inside an escape group
    BelowKey,        // a normal unit smaller than its key code
    EscapeAbove255,  // escape value plus marker above 255
};

// What a decoding gives: the plain text, or why and at which unit it failed.
struct DecodeResult {
    std::string plain; // empty on failure
    DecodeFailure failure = DecodeFailure::None;
    std::size_t unit = 0; // 0-based index of the offending (or missing) unit

    [[nodiscard]] bool ok() const { return failure == DecodeFailure::None; }
};

[[nodiscard]] DecodeResult decode(std::string_view code, std::string_view key);

// Decodes CODE with KEY; any failure gives the text "Erreur".
[[nodiscard]] std::string Decoder(std::string code, std::string key);

// A short lower-case English description of FAILURE, for messages.
[[nodiscard]] std::string_view describe(DecodeFailure failure);

} // namespace ModCodeur
