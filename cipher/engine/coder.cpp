// SPDX-License-Identifier: GPL-3.0-or-later
// encodeGroups at three widths, with loops the compiler turns into vector code:
// - spans of 256 units, while the text shows no escape: each is written whole and checked
//   once;
// - blocks of 32 units, where escapes turn up: the units before the first escape are written
//   whole and that escape goes through the one-group step of the loop;
// - windows of 64 units, where escapes are frequent and can be found without the key: the
//   runs of normal groups between them are each written whole, the escapes' positions drawn
//   beforehand.

#include "engine.h"
#include "modcodeur_loops.h"
#include "twister64.h"
#include "units.h"
#include "vectorclones.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>
#include <utility>

namespace ModCodeur::Engine {

namespace {

// Units per block: wide enough for two vector registers, short enough that a text with an
// escape every few units still spends most of its time in the vector loop.
constexpr std::size_t Block = 32;

// A normal group is key code K plus plain code B; B must go as an escape group when the sum
// carries out of the byte, or lies outside 7-249.
struct Encoding {
    static Unit unit(Unit k, Unit b) { return static_cast<Unit>(k + b); }
    static Unit stops(Unit k, Unit b)
    {
        const Unit sum = static_cast<Unit>(k + b);
        const bool carry = sum < k;
        const bool outside = static_cast<Unit>(sum - (HighestMarker + 1)) >
                             EscapeThreshold - 1 - (HighestMarker + 1);
        return static_cast<Unit>(carry | outside);
    }
};

// How many of Block plain units are normal groups before the first that is not; without a
// branch on where that is, since escapes fall at random places, which a branch would
// mispredict.
std::size_t normalLead(const Unit *plain, const Unit *key)
{
    Unit escapes[Block];
    for (std::size_t t = 0; t < Block; ++t)
        escapes[t] = Encoding::stops(key[t], plain[t]);
    const std::uint64_t bits = bitsOf(escapes);
    return bits == 0 ? Block : static_cast<std::size_t>(std::countr_zero(bits));
}

// Writes Window plain units plus their key codes to OUT.
[[gnu::always_inline]] inline void encodeRun(const Unit *plain, const Unit *key,
                                             Unit *CODETARVO_RESTRICT out)
{
    for (std::size_t t = 0; t < Window; ++t)
        out[t] = static_cast<Unit>(plain[t] + key[t]);
}

// Writes the groups of the Window plain units at PLAIN, whose escapes are the set bits of
// ESCAPEBITS, to OUT, and gives the end of what it wrote. The key codes are RING's from
// position P on, which this leaves where the next window starts (perhaps past the key's
// period); the escapes take the positions of DRAWN in order. Each run of normal groups is
// written a whole window wide, as what lies past its end is written over next.
[[gnu::always_inline]] inline Unit *
encodeWindow(const Unit *CODETARVO_RESTRICT plain, std::uint64_t escapeBits, const KeyRing &ring,
             std::size_t &p, const Unit *CODETARVO_RESTRICT drawn, Unit *CODETARVO_RESTRICT out)
{
    const Unit *const keys = ring.at(0);
    std::size_t at = p;
    std::size_t t = 0;
    while (escapeBits != 0) {
        const auto e = static_cast<std::size_t>(std::countr_zero(escapeBits));
        escapeBits &= escapeBits - 1;
        encodeRun(plain + t, keys + at, out);
        const Unit q = *drawn++;
        out = writeEscape(out + (e - t), plain[e], q);
        at = ring.after(q);
        t = e + 1;
    }
    encodeRun(plain + t, keys + at, out);
    p = at + (Window - t);
    return out + (Window - t);
}

// The re-chosen key positions of an encoding, drawn one at a time.
class DrawnPositions {
public:
    DrawnPositions(RandomSource &draws, std::ptrdiff_t span) : m_draws(draws), m_span(span) {}
    Unit next() { return drawPosition(m_span, m_draws.next()); }
    // The next COUNT positions, at most Window, in order.
    void take(std::size_t count, Unit (&to)[Window])
    {
        for (std::size_t k = 0; k < count; ++k)
            to[k] = next();
    }

private:
    RandomSource &m_draws;
    std::ptrdiff_t m_span;
};

// The re-chosen key positions of an encoding, from a generator's pending words converted a
// few hundred at a time in one vector loop; only the positions used are drawn from it, when
// the batch runs out or this goes. SPAN must not be negative.
class BatchedPositions {
public:
    BatchedPositions(Twister64 &engine, std::ptrdiff_t span)
        : m_engine(engine), m_span(static_cast<double>(std::min(span, LargestPosition)))
    {
    }
    BatchedPositions(const BatchedPositions &) = delete;
    BatchedPositions &operator=(const BatchedPositions &) = delete;
    ~BatchedPositions() { m_engine.skip(m_taken); }

    Unit next()
    {
        if (m_taken == m_count)
            refill();
        return m_positions[m_taken++];
    }
    // The next COUNT positions, at most Window, in order.
    void take(std::size_t count, Unit (&to)[Window])
    {
        if (m_count - m_taken >= count) {
            // A whole window's worth, as one vector: the batch has room past its end.
            std::memcpy(to, m_positions + m_taken, Window);
            m_taken += count;
        } else {
            for (std::size_t k = 0; k < count; ++k)
                to[k] = next();
        }
    }

private:
    void refill()
    {
        m_engine.skip(m_taken);
        const std::span<const std::uint64_t> words = m_engine.pending();
        for (std::size_t k = 0; k < words.size(); ++k) {
            const double r = unitReal(Twister64::temper(words[k]));
            m_positions[k] = positionOf(m_span * r);
        }
        m_count = words.size();
        m_taken = 0;
    }

    Twister64 &m_engine;
    double m_span;
    std::size_t m_taken = 0;
    std::size_t m_count = 0;
    Unit m_positions[Twister64::StateWords + Window] = {};
};

// Writes the groups of PLAIN into OUT from unit J on, the key codes RING's from position P on,
// the re-chosen positions from POSITIONS; OUT's size is its room, grown when escapes need more.
// Gives the end of what it wrote, and leaves P at the next group's position.
template <class Positions>
[[gnu::always_inline]] inline std::size_t
writeGroups(std::string_view plain, const KeyRing &ring, const PlainClasses &classes,
            std::size_t &p, Positions &positions, std::string &out, std::size_t j)
{
    const std::size_t n = plain.size();
    const Unit *in = units(plain);
    Unit *dst = units(out);
    const auto makeRoom = [&](std::size_t at, std::size_t need) {
        if (at + need > out.size()) {
            out.resize(std::max(out.size() + out.size() / 2, at + need));
            dst = units(out);
        }
    };

    std::size_t i = 0;
    // Blocks until one meets an escape; then windows while they have escapes, unless a
    // window has units whose way hangs on their key code.
    bool crowded = false;
    std::size_t blocksUntil = 0;
    while (i < n) {
        if (crowded && i >= blocksUntil && n - i >= 2 * Window) {
            Unit escapes[Window];
            Unit unsure[Window];
            classes.sort(in + i, escapes, unsure);
            if (bitsOf(unsure) == 0) {
                // Every escape of the window is known: its draws first, then its groups.
                if (j + 4 * Window > out.size())
                    makeRoom(j, 4 * Window);
                const std::uint64_t escapeBits = bitsOf(escapes);
                Unit drawn[Window];
                positions.take(static_cast<std::size_t>(std::popcount(escapeBits)), drawn);
                const Unit *end = encodeWindow(in + i, escapeBits, ring, p, drawn, dst + j);
                j = static_cast<std::size_t>(end - dst);
                p = ring.advance(p, 0);
                i += Window;
                crowded = escapeBits != 0;
                continue;
            }
            // Some unit's way hangs on its key code: this window goes block by block.
            blocksUntil = i + Window;
        }
        if (!crowded && n - i >= Span) {
            makeRoom(j, Span);
            if (writeBlock<Span, Encoding>(in + i, ring.at(p), dst + j)) {
                i += Span;
                j += Span;
                p = ring.advance(p, Span);
                continue;
            }
        }
        if (n - i >= Block) {
            makeRoom(j, Block);
            const bool clean = writeBlock<Block, Encoding>(in + i, ring.at(p), dst + j);
            crowded = !clean;
            const std::size_t normal = clean ? Block : normalLead(in + i, ring.at(p));
            i += normal;
            j += normal;
            p = ring.advance(p, normal);
            if (normal == Block)
                continue;
        }
        // One group, as encodeGroups writes it.
        makeRoom(j, 3);
        const Unit b = in[i++];
        const int sum = *ring.at(p) + b;
        if (sum > HighestMarker && sum < EscapeThreshold) {
            dst[j++] = static_cast<Unit>(sum);
            p = ring.advance(p, 1);
        } else {
            const Unit q = positions.next();
            writeEscape(dst + j, b, q);
            j += 3;
            p = ring.after(q);
        }
    }
    return j;
}

// writeGroups with the positions drawn from DRAWS, many at a time when it is a
// TwisterRandomSource and the key has at least 3 codes.
std::size_t drawGroups(std::string_view plain, const KeyRing &ring, const PlainClasses &classes,
                       std::size_t keyLength, std::size_t &p, RandomSource &draws, std::string &out,
                       std::size_t j)
{
    const std::ptrdiff_t span = static_cast<std::ptrdiff_t>(keyLength) - 3;
    auto *twister = dynamic_cast<TwisterRandomSource *>(&draws);
    if (twister != nullptr && span >= 0) {
        BatchedPositions positions(twister->engine(), span);
        return writeGroups(plain, ring, classes, p, positions, out, j);
    }
    DrawnPositions positions(draws, span);
    return writeGroups(plain, ring, classes, p, positions, out, j);
}

} // namespace

std::size_t codeRoom(std::size_t plainLength)
{
    // Every group normal and some escapes.
    return plainLength + 1 + plainLength / 4 + Window;
}

CODETARVO_VECTOR_CLONES std::string encode(std::string_view plain, std::string_view key,
                                           std::size_t start, RandomSource &draws, std::string room)
{
    const KeyRing ring(key);
    const PlainClasses classes(key);
    room.assign(codeRoom(plain.size()), '\0');
    room[0] = static_cast<char>(start);
    std::size_t p = start;
    room.resize(drawGroups(plain, ring, classes, key.size(), p, draws, room, 1));
    return room;
}

namespace {

// Encoder::write, built for each instruction set as encode is: a free function, since clang
// gives the clones of a member function names that other files cannot reach.
CODETARVO_VECTOR_CLONES std::size_t writePiece(std::string_view plain, const KeyRing &ring,
                                               const PlainClasses &classes, std::size_t keyLength,
                                               std::size_t &p, RandomSource &draws,
                                               std::string &out, std::size_t at)
{
    if (out.size() < at + codeRoom(plain.size()))
        out.resize(at + codeRoom(plain.size()));
    return drawGroups(plain, ring, classes, keyLength, p, draws, out, at);
}

} // namespace

Encoder::Encoder(std::string_view key) : m_ring(key), m_classes(key), m_keyLength(key.size()) {}

std::size_t Encoder::write(std::string_view plain, std::size_t &p, RandomSource &draws,
                           std::string &out, std::size_t at) const
{
    return writePiece(plain, m_ring, m_classes, m_keyLength, p, draws, out, at);
}

} // namespace ModCodeur::Engine
