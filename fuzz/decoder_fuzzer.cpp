// SPDX-License-Identifier: GPL-3.0-or-later
// Decodes arbitrary code bytes with an arbitrary key. The vector engine must read them as the
// loops do, whatever their length; whatever decodes must encode again and decode back to the
// same plain text, and the failure reading must agree with Decoder.

#include "engine/engine.h"
#include "modcodeur.h"
#include "modcodeur_loops.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class FixedDraws final : public ModCodeur::RandomSource {
public:
    explicit FixedDraws(double value) : m_value(value) {}
    void reseed() override {}
    double next() override { return m_value; }

private:
    double m_value;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    // The first byte splits the input into key and code text.
    const std::size_t keyLength = std::min<std::size_t>(data[0], size - 1);
    const std::string key(reinterpret_cast<const char *>(data + 1), keyLength);
    const std::string code(reinterpret_cast<const char *>(data + 1 + keyLength),
                           size - 1 - keyLength);

    const auto result = ModCodeur::decodeGroups(code, key);
    std::string fast(code.size(), '\0');
    const auto decoded = ModCodeur::Engine::decode(code, key, fast.data());
    fast.resize(decoded.length);
    if (decoded.failure != result.failure || decoded.unit != result.unit ||
        (result.ok() && fast != result.plain))
        std::abort();
    const std::string plain = ModCodeur::Decoder(code, key);
    if (result.ok() != (plain == result.plain) || (!result.ok() && plain != "Erreur"))
        std::abort();
    if (!result.ok() || result.plain.empty() || key.size() < 2)
        return 0;

    FixedDraws draws(data[0] / 256.0);
    if (ModCodeur::Decoder(ModCodeur::Coder(result.plain, key, draws), key) != result.plain)
        std::abort();
    return 0;
}
