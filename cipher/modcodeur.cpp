// SPDX-License-Identifier: GPL-3.0-or-later
// The cipher. A code text is a sequence of units (codes 0-255) with no header or terminator:
//
//   unit 0      the start key position p, drawn from 1 to lk - 2 (always 1 for a key of 2 or
//               3 codes), lk being the key's length;
//   then one group per plain code b, with a the code of the key at position p:
//   - normal:   the single unit a + b, when that lies from 7 to 249;
//   - escape:   the marker 1, then b - 1, then a newly drawn key position q, from 1 to lk - 3
//               (always 1 for a key of 3 codes, 0 for a key of 2 but for a draw of exactly 0);
//               a plain code 0, which cannot travel as b - 1, goes as marker 0 and 0;
//   after each group p moves to the next key position (after q for an escape), back to 0
//   past the key's end. Drawn positions stop at 255, the most a unit holds.
//
// A sum of 250 or more does not fit a normal group, and one below 7 would read back as an
// escape marker: the decoder takes any unit from 0 to 6 for a marker and adds it back.
//
// The loops here are the algorithm, a group at a time. Long texts go through the vector
// engine (engine/), which writes whole runs of groups at once and gives exactly what the loops
// give, draw for draw and failure for failure.

#include "modcodeur.h"

#include "engine/engine.h"
#include "modcodeur_loops.h"

#include <algorithm>
#include <utility>

namespace ModCodeur {

namespace {

PlainLengthHook &plainLengthHook()
{
    static PlainLengthHook hook;
    return hook;
}

unsigned char unit(char c)
{
    return static_cast<unsigned char>(c);
}

} // namespace

void setPlainLengthHook(PlainLengthHook hook)
{
    plainLengthHook() = std::move(hook);
}

unsigned char drawPosition(std::ptrdiff_t span, double r)
{
    return positionOf(static_cast<double>(std::min(span, LargestPosition)) * r);
}

std::string encodeGroups(std::string_view plain, std::string_view key, std::size_t start,
                         RandomSource &draws)
{
    const auto lk = static_cast<std::ptrdiff_t>(key.size());
    std::size_t p = start;
    std::string out;
    out.reserve(plain.size() + 1);
    out.push_back(static_cast<char>(p));
    for (const char c : plain) {
        const int b = unit(c);
        const int sum = unit(key[p]) + b;
        if (sum > HighestMarker && sum < EscapeThreshold) {
            out.push_back(static_cast<char>(sum));
        } else {
            p = drawPosition(lk - 3, draws.next());
            char group[3];
            writeEscape(group, static_cast<unsigned char>(b), static_cast<unsigned char>(p));
            out.append(group, sizeof group);
        }
        if (++p >= key.size())
            p = 0;
    }
    return out;
}

namespace {

std::string encode(std::string plain, std::string key, RandomSource &draws, std::string room)
{
    if (key.size() < 2 || plain.empty())
        return {};
    draws.reseed();
    const std::size_t start =
        drawPosition(static_cast<std::ptrdiff_t>(key.size()) - 2, draws.next());
    if (const auto &hook = plainLengthHook())
        hook(plain.size());
    if (plain.size() < Engine::LongPlain)
        return encodeGroups(plain, key, start, draws);
    return Engine::encode(plain, key, start, draws, std::move(room));
}

ClockRandomSource &clockDraws()
{
    static ClockRandomSource draws;
    return draws;
}

} // namespace

std::string Coder(std::string plain, std::string key, RandomSource &draws)
{
    return encode(std::move(plain), std::move(key), draws, {});
}

std::string Coder(std::string plain, std::string key)
{
    return encode(std::move(plain), std::move(key), clockDraws(), {});
}

std::string Coder(std::string plain, std::string key, std::string room)
{
    return encode(std::move(plain), std::move(key), clockDraws(), std::move(room));
}

std::size_t codeRoom(std::size_t plainLength)
{
    return Engine::codeRoom(plainLength);
}

DecodeResult decodeGroups(std::string_view code, std::string_view key)
{
    const auto fail = [](DecodeFailure failure, std::size_t at) {
        return DecodeResult{{}, failure, at};
    };
    if (code.empty())
        return fail(DecodeFailure::EmptyCode, 0);

    const std::size_t lk = key.size();
    const std::size_t m = code.size();
    std::size_t p = unit(code[0]);
    std::size_t j = 1;
    std::string out;
    out.reserve(m - 1);
    do {
        // Only the start offset can point outside the key: later positions wrap below.
        if (p >= lk)
            return fail(DecodeFailure::StartOutsideKey, 0);
        const int k = unit(key[p]);
        if (j >= m)
            return fail(DecodeFailure::NoGroup, j);
        const int u = unit(code[j]);
        if (u <= HighestMarker) {
            if (++j >= m)
                return fail(DecodeFailure::EscapeCutShort, j);
            const int value = unit(code[j]) + u;
            if (value > 255)
                return fail(DecodeFailure::EscapeAbove255, j);
            out.push_back(static_cast<char>(value));
            if (++j >= m)
                return fail(DecodeFailure::EscapeCutShort, j);
            p = unit(code[j]);
        } else {
            if (u < k)
                return fail(DecodeFailure::BelowKey, j);
            out.push_back(static_cast<char>(u - k));
        }
        ++j;
        if (++p >= lk)
            p = 0;
    } while (j < m);
    return {std::move(out), DecodeFailure::None, 0};
}

namespace {

// decode of a code text it may write over: the engine writes the plain text, never longer,
// over the code text.
DecodeResult decodeOver(std::string code, std::string_view key)
{
    if (code.size() < Engine::LongCode)
        return decodeGroups(code, key);
    const Engine::Decoded decoded = Engine::decode(code, key, code.data());
    if (decoded.failure != DecodeFailure::None)
        return {{}, decoded.failure, decoded.unit};
    code.resize(decoded.length);
    return {std::move(code), DecodeFailure::None, 0};
}

} // namespace

DecodeResult decode(std::string_view code, std::string_view key)
{
    return decodeOver(std::string(code), key);
}

std::string Decoder(std::string code, std::string key)
{
    DecodeResult result = decodeOver(std::move(code), key);
    return result.ok() ? std::move(result.plain) : std::string(Erreur);
}

std::string_view describe(DecodeFailure failure)
{
    switch (failure) {
    case DecodeFailure::None:
        return "no failure";
    case DecodeFailure::EmptyCode:
        return "empty code text";
    case DecodeFailure::StartOutsideKey:
        return "start offset outside the key";
    case DecodeFailure::NoGroup:
        return "code text holds no group";
    case DecodeFailure::EscapeCutShort:
        return "escape group cut short";
    case DecodeFailure::BelowKey:
        return "unit smaller than its key code";
    case DecodeFailure::EscapeAbove255:
        return "escape value above 255";
    }
    return "unknown failure";
}

} // namespace ModCodeur
