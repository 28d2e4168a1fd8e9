// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream.h"

#include "modcodeur_loops.h"

#include <algorithm>
#include <cstring>

namespace ModCodeur {

StreamEncoder::StreamEncoder(std::string_view key, RandomSource &draws)
    : m_engine(key), m_draws(draws), m_keyLength(key.size())
{
}

std::string_view StreamEncoder::encode(std::string_view plain)
{
    if (plain.empty())
        return {};
    std::size_t at = 0;
    if (!m_started) {
        // The start offset is drawn as Coder draws it, once the text is known not to be empty.
        m_draws.reseed();
        m_position = drawPosition(static_cast<std::ptrdiff_t>(m_keyLength) - 2, m_draws.next());
        m_code.resize(std::max<std::size_t>(m_code.size(), 1));
        m_code[0] = static_cast<char>(m_position);
        m_started = true;
        at = 1;
    }
    const std::size_t end = m_engine.write(plain, m_position, m_draws, m_code, at);
    return {m_code.data(), end};
}

std::nullopt_t StreamDecoder::fail(DecodeFailure failure, std::size_t unit)
{
    m_failure = failure;
    m_unit = unit;
    return std::nullopt;
}

std::optional<std::string_view> StreamDecoder::decode(char *code, std::size_t size, bool last)
{
    char *from = code - m_heldCount;
    std::memcpy(from, m_held, m_heldCount);
    size += m_heldCount;
    m_heldCount = 0;
    if (!m_started) {
        if (size == 0)
            return last ? fail(DecodeFailure::EmptyCode, 0) : std::optional<std::string_view>("");
        // Only the start offset can point outside the key: later positions wrap.
        m_position = static_cast<unsigned char>(from[0]);
        if (m_position >= m_keyLength)
            return fail(DecodeFailure::StartOutsideKey, 0);
        m_started = true;
        m_units = 1;
        ++from;
        --size;
    }
    if (size == 0) {
        if (last && m_units == 1)
            return fail(DecodeFailure::NoGroup, 1);
        return std::string_view();
    }
    std::size_t read = 0;
    const Engine::Decoded decoded = m_engine.write({from, size}, m_position, from, !last, read);
    if (decoded.failure != DecodeFailure::None)
        return fail(decoded.failure, m_units + decoded.unit);
    // The plain codes lie below the units read: those held back are untouched.
    m_heldCount = size - read;
    std::memcpy(m_held, from + read, m_heldCount);
    m_units += read;
    return std::string_view(from, decoded.length);
}

std::size_t cutSequence(const char *text, std::size_t size)
{
    // A lead byte of the last three promising more bytes than follow it; the earliest, so that
    // nothing before the cut reaches past it.
    for (std::size_t back = std::min<std::size_t>(3, size); back > 0; --back) {
        const auto lead = static_cast<unsigned char>(text[size - back]);
        const std::size_t length = lead >= 0xF8   ? 1
                                   : lead >= 0xF0 ? 4
                                   : lead >= 0xE0 ? 3
                                   : lead >= 0xC0 ? 2
                                                  : 1;
        if (length > back)
            return back;
    }
    return 0;
}

std::optional<std::string_view> StreamUtf8Reader::read(char *text, std::size_t size, bool last)
{
    char *from = text - m_heldCount;
    std::memcpy(from, m_held, m_heldCount);
    size += m_heldCount;
    m_heldCount = last ? 0 : cutSequence(from, size);
    size -= m_heldCount;
    std::memcpy(m_held, from + size, m_heldCount);
    std::size_t codes = size;
    if (const auto error = CodePage::fromUtf8InPlace(from, codes)) {
        m_error = *error;
        m_error.byteOffset += m_bytes;
        m_error.characterIndex += m_codes;
        return std::nullopt;
    }
    m_bytes += size;
    m_codes += codes;
    return std::string_view(from, codes);
}

} // namespace ModCodeur
