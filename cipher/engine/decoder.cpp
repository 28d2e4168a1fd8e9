// SPDX-License-Identifier: GPL-3.0-or-later
// decodeGroups by spans of 256 units while no marker or failure is in sight, else by blocks of
// 32 whose normal groups before the first that is not are written at once; that group goes a
// unit at a time.

#include "engine.h"
#include "units.h"
#include "vectorclones.h"

#include <algorithm>
#include <cstring>

namespace ModCodeur::Engine {

namespace {

// Whether code unit U cannot be read as a normal group with key code K: it is a marker, or
// below K.
inline Unit stopsDecoding(Unit k, Unit u)
{
    return static_cast<Unit>(u < std::max(k, static_cast<Unit>(HighestMarker + 1)));
}

// Writes WIDTH code units minus their key codes to OUT, and gives whether each of them is a
// normal group that fits its key code.
template <std::size_t Width>
bool decodeBlock(const Unit *code, const Unit *key, Unit *CODETARVO_RESTRICT out)
{
    Unit stops = 0;
    for (std::size_t t = 0; t < Width; ++t) {
        out[t] = static_cast<Unit>(code[t] - key[t]);
        stops |= stopsDecoding(key[t], code[t]);
    }
    return stops == 0;
}

// How many of Block code units decode as normal groups before the first that does not.
std::size_t decodedLead(const Unit *code, const Unit *key)
{
    Unit stops[Block];
    for (std::size_t t = 0; t < Block; ++t)
        stops[t] = stopsDecoding(key[t], code[t]);
    return firstFlagged(stops);
}

} // namespace

CODETARVO_VECTOR_CLONES Decoded decode(std::string_view code, std::string_view key, char *plain)
{
    const Unit *in = units(code);
    const std::size_t m = code.size();
    auto *out = reinterpret_cast<Unit *>(plain);
    if (m == 0)
        return {DecodeFailure::EmptyCode, 0, 0};
    // Only the start offset can point outside the key: later positions wrap.
    if (in[0] >= key.size())
        return {DecodeFailure::StartOutsideKey, 0, 0};
    if (m < 2)
        return {DecodeFailure::NoGroup, 1, 0};

    const KeyRing ring(key);
    // Spans and blocks are decoded here first. Written over the code text, the plain units of
    // a whole block could reach units not yet read; they are then copied at their exact length.
    Unit staging[Span];
    const auto emit = [&](std::size_t o, std::size_t length, std::size_t width, std::size_t read) {
        if (out != in || o + width <= read)
            std::memcpy(out + o, staging, width);
        else
            std::memmove(out + o, staging, length);
    };

    std::size_t p = in[0];
    std::size_t j = 1;
    std::size_t o = 0;
    // Spans until a block meets a marker, blocks until one meets none.
    bool crowded = false;
    while (j < m) {
        if (!crowded && m - j >= Span) {
            if (decodeBlock<Span>(in + j, ring.at(p), staging)) {
                emit(o, Span, Span, j + Span);
                j += Span;
                o += Span;
                p = ring.advance(p, Span);
                continue;
            }
        }
        if (m - j >= Block) {
            const bool clean = decodeBlock<Block>(in + j, ring.at(p), staging);
            crowded = !clean;
            const std::size_t normal = clean ? Block : decodedLead(in + j, ring.at(p));
            emit(o, normal, Block, j + normal);
            j += normal;
            o += normal;
            p = ring.advance(p, normal);
            if (normal == Block)
                continue;
        }
        // One group, as decodeGroups reads it.
        const Unit u = in[j];
        if (u <= HighestMarker) {
            if (++j >= m)
                return {DecodeFailure::EscapeCutShort, j, o};
            const int value = in[j] + u;
            if (value > 255)
                return {DecodeFailure::EscapeAbove255, j, o};
            if (++j >= m)
                return {DecodeFailure::EscapeCutShort, j, o};
            const std::size_t named = in[j];
            out[o++] = static_cast<Unit>(value);
            p = ring.after(named);
        } else {
            const Unit k = *ring.at(p);
            if (u < k)
                return {DecodeFailure::BelowKey, j, o};
            out[o++] = static_cast<Unit>(u - k);
            p = ring.advance(p, 1);
        }
        ++j;
    }
    return {DecodeFailure::None, 0, o};
}

} // namespace ModCodeur::Engine
