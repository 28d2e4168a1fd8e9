// SPDX-License-Identifier: GPL-3.0-or-later
// decodeGroups with loops the compiler turns into vector code:
// - spans of 256 units, while no marker is in sight: each is decoded whole and checked once;
// - windows of 64 units, where markers are frequent: the runs of normal groups between them
//   are each decoded whole, and the window checked once; a window that fails goes again a
//   group at a time, which names the failure;
// - between them, stretches of 32 groups one at a time, as decodeGroups reads them.

#include "engine.h"
#include "units.h"
#include "vectorclones.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ModCodeur::Engine {

namespace {

// Groups decoded one at a time before a span or a window is tried again.
constexpr std::size_t Stretch = 32;

// A normal group is code unit U minus key code K; U cannot be read so when it is a marker, or
// below K.
struct Decoding {
    static Unit unit(Unit k, Unit u) { return static_cast<Unit>(u - k); }
    static Unit stops(Unit k, Unit u)
    {
        return static_cast<Unit>(u < std::max(k, static_cast<Unit>(HighestMarker + 1)));
    }
};

// Writes Window code units minus their key codes to OUT, and flags in BELOW those of the
// first LENGTH that are smaller than their key code.
[[gnu::always_inline]] inline void decodeRun(const Unit *code, const Unit *key, std::size_t length,
                                             Unit *CODETARVO_RESTRICT out,
                                             Unit *CODETARVO_RESTRICT below)
{
    // Window ones then Window zeros: read from LENGTH short of the middle, a one for each lane
    // below LENGTH. A load, where comparing lane numbers with LENGTH is widened past byte
    // lanes and narrowed back a lane at a time by some targets (WebAssembly).
    static constexpr auto Ones = [] {
        std::array<Unit, 2 * Window> ones{};
        for (std::size_t t = 0; t < Window; ++t)
            ones[t] = 1;
        return ones;
    }();
    const Unit *const within = Ones.data() + Window - length;
    for (std::size_t t = 0; t < Window; ++t) {
        out[t] = static_cast<Unit>(code[t] - key[t]);
        below[t] |= static_cast<Unit>((code[t] < key[t]) & within[t]);
    }
}

// Flags the code units of a window that are escape markers wherever they stand.
void flagMarkers(const Unit *code, Unit (&markers)[Window])
{
    for (std::size_t t = 0; t < Window; ++t)
        markers[t] = static_cast<Unit>(code[t] <= HighestMarker);
}

// Index of the first set bit of BITS at T or above, or Window when there is none.
std::size_t nextSet(std::uint64_t bits, std::size_t t)
{
    const std::uint64_t rest = t < Window ? bits >> t : 0;
    return rest == 0 ? Window : t + static_cast<std::size_t>(std::countr_zero(rest));
}

// Decodes the groups that start among the Window code units at CODE to OUT, and gives the end
// of what it wrote, which may reach a Window past that. MARKERBITS flags the units 0-6; those
// that are the second or third unit of an escape group are passed over. The key codes are
// RING's from position P on; this leaves P where the next group starts (perhaps past the key's
// period) and READ at how many units it read (up to two past the window). It sets BAD when
// some group has a unit below its key code or an escape above 255; OUT then holds nothing
// of worth.
[[gnu::always_inline]] inline Unit *decodeWindow(const Unit *CODETARVO_RESTRICT code,
                                                 std::uint64_t markerBits, const KeyRing &ring,
                                                 std::size_t &p, std::size_t &read, bool &bad,
                                                 Unit *CODETARVO_RESTRICT out)
{
    const Unit *const keys = ring.at(0);
    Unit below[Window] = {};
    bool above = false;
    std::size_t at = p;
    std::size_t t = 0;
    while (t < Window) {
        const std::size_t e = nextSet(markerBits, t);
        if (e != t)
            decodeRun(code + t, keys + at, e - t, out, below);
        out += e - t;
        at += e - t;
        t = e;
        if (t == Window)
            break;
        const unsigned value = code[t] + code[t + 1];
        above |= value > 255;
        *out++ = static_cast<Unit>(value);
        const std::size_t named = code[t + 2];
        at = ring.after(named);
        t += 3;
    }
    p = at;
    read = t;
    bad = above | (bitsOf(below) != 0);
    return out;
}

// Decodes the M units at IN, groups after the start offset, into OUT from key position P on.
// Written over the code text (OUT at or before IN), each plain unit lands below the code unit
// it came from: spans and windows are decoded into buffers of their own and copied out where
// they can no longer reach a unit not yet read. With MORE, an escape group cut short by the end
// stops the decoding before its marker, READ telling where.
[[gnu::always_inline]] inline Decoded decodeGroupsAt(const Unit *in, std::size_t m,
                                                     const KeyRing &ring, std::size_t &p, Unit *out,
                                                     bool more, std::size_t &read)
{
    Unit staging[Span];

    std::size_t j = 0;
    std::size_t o = 0;
    // The last STAGED plain units, decoded by windows, wait here until a whole vector of them
    // can be written out at once; what a window writes past its end is written over next.
    Unit windowOut[3 * Window];
    std::size_t staged = 0;
    // Spans while no marker is in sight; then windows while they have markers, unless a
    // window fails.
    bool crowded = false;
    bool windows = true;
    while (j < m) {
        if (crowded && windows && m - j >= 2 * Window) {
            // Markers stand where units 0-6 do, skipping the two units after each.
            Unit markers[Window];
            flagMarkers(in + j, markers);
            const std::uint64_t markerBits = bitsOf(markers);
            std::size_t at = p;
            std::size_t read = 0;
            bool bad = false;
            Unit *const from = windowOut + staged;
            const Unit *end = decodeWindow(in + j, markerBits, ring, at, read, bad, from);
            if (!bad) {
                const auto produced = static_cast<std::size_t>(end - from);
                staged += produced;
                o += produced;
                j += read;
                p = ring.advance(at, 0);
                crowded = markerBits != 0;
                if (staged >= Window) {
                    // Written out a whole vector at a time, and never past what was read.
                    std::memcpy(out + o - staged, windowOut, Window);
                    std::memcpy(windowOut, windowOut + Window, Window);
                    staged -= Window;
                }
                continue;
            }
            // Some group of the window fails: the stretch below goes over it again from its
            // start, which nothing has been written over, and names the failure.
            windows = false;
        }
        if (staged != 0) {
            std::memcpy(out + o - staged, windowOut, staged);
            staged = 0;
        }
        if (!crowded && m - j >= Span) {
            if (writeBlock<Span, Decoding>(in + j, ring.at(p), staging)) {
                // The span's units have all been read: its plain units can go over them.
                std::memcpy(out + o, staging, Span);
                j += Span;
                o += Span;
                p = ring.advance(p, Span);
                continue;
            }
        }
        // A stretch of groups one at a time, as decodeGroups reads them; windows go next if
        // it meets a marker.
        crowded = false;
        for (std::size_t g = 0; g < Stretch && j < m; ++g, ++j) {
            const Unit u = in[j];
            if (u <= HighestMarker) {
                crowded = true;
                if (more && j + 2 >= m) {
                    read = j;
                    return {DecodeFailure::None, 0, o};
                }
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
        }
    }
    std::memcpy(out + o - staged, windowOut, staged);
    read = m;
    return {DecodeFailure::None, 0, o};
}

} // namespace

CODETARVO_VECTOR_CLONES Decoded decode(std::string_view code, std::string_view key, char *plain)
{
    const Unit *in = units(code);
    const std::size_t m = code.size();
    if (m == 0)
        return {DecodeFailure::EmptyCode, 0, 0};
    // Only the start offset can point outside the key: later positions wrap.
    if (in[0] >= key.size())
        return {DecodeFailure::StartOutsideKey, 0, 0};
    if (m < 2)
        return {DecodeFailure::NoGroup, 1, 0};
    const KeyRing ring(key);
    std::size_t p = in[0];
    std::size_t read = 0;
    Decoded decoded =
        decodeGroupsAt(in + 1, m - 1, ring, p, reinterpret_cast<Unit *>(plain), false, read);
    if (decoded.failure != DecodeFailure::None)
        ++decoded.unit;
    return decoded;
}

namespace {

// Decoder::write, built for each instruction set as decode is: a free function, since clang
// gives the clones of a member function names that other files cannot reach.
CODETARVO_VECTOR_CLONES Decoded writePiece(std::string_view code, const KeyRing &ring,
                                           std::size_t &p, char *plain, bool more,
                                           std::size_t &read)
{
    read = 0;
    if (code.empty())
        return {};
    return decodeGroupsAt(units(code), code.size(), ring, p, reinterpret_cast<Unit *>(plain), more,
                          read);
}

} // namespace

Decoded Decoder::write(std::string_view code, std::size_t &p, char *plain, bool more,
                       std::size_t &read) const
{
    return writePiece(code, m_ring, p, plain, more, read);
}

} // namespace ModCodeur::Engine
