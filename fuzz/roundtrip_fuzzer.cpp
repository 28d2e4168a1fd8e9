// SPDX-License-Identifier: GPL-3.0-or-later
// Encodes an arbitrary plain text with an arbitrary key and draws; the code text must decode
// back to the plain text exactly, and the vector engine must write what the loops write,
// whatever the text's length.

#include "engine/engine.h"
#include "modcodeur.h"
#include "modcodeur_loops.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

namespace {

// Draws taken from the input bytes, so the fuzzer steers every position choice.
class ByteDraws final : public ModCodeur::RandomSource {
public:
    explicit ByteDraws(std::string bytes) : m_bytes(std::move(bytes)) {}
    void reseed() override {}
    double next() override
    {
        if (m_bytes.empty())
            return 0.0;
        const auto byte = static_cast<unsigned char>(m_bytes[m_next++ % m_bytes.size()]);
        return byte == 255 ? 0x1.fffffffffffffp-1 : byte / 255.0;
    }

private:
    std::string m_bytes;
    std::size_t m_next = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2 || size > 8192)
        return 0;
    // Byte 0 and 1: key length and number of draw bytes; then key, draws, plain text.
    const char *bytes = reinterpret_cast<const char *>(data + 2);
    std::size_t rest = size - 2;
    const std::size_t keyLength = std::min<std::size_t>(data[0] * 4u + 2u, rest);
    const std::string key(bytes, keyLength);
    bytes += keyLength;
    rest -= keyLength;
    const std::size_t drawLength = std::min<std::size_t>(data[1] % 16, rest);
    ByteDraws draws(std::string(bytes, drawLength));
    ByteDraws engineDraws = draws;
    ByteDraws loopDraws = draws;
    const std::string plain(bytes + drawLength, rest - drawLength);

    const std::string code = ModCodeur::Coder(plain, key, draws);
    if (key.size() < 2 || plain.empty()) {
        if (!code.empty())
            std::abort();
        return 0;
    }
    const auto start = static_cast<unsigned char>(code[0]);
    if (ModCodeur::Engine::encode(plain, key, start, engineDraws) !=
        ModCodeur::encodeGroups(plain, key, start, loopDraws))
        std::abort();
    const auto result = ModCodeur::decode(code, key);
    if (!result.ok() || result.plain != plain)
        std::abort();
    return 0;
}
