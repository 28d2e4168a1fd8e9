// SPDX-License-Identifier: GPL-3.0-or-later
// Reads arbitrary bytes as an armored text, and armors them as a code text. What the reader
// accepts must be what the armored form of its result reads back as; the armored form of any
// bytes must read back exactly; a failure gives no code text.

#include "armor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 65536)
        return 0;
    const std::string_view input(reinterpret_cast<const char *>(data), size);

    const Armor::Dearmored read = Armor::dearmor(input);
    if (Armor::holdsArmor(input) != (read.problem != Armor::Problem::NotFound))
        std::abort();
    if (read.ok()) {
        const Armor::Dearmored again = Armor::dearmor(Armor::armor(read.code));
        if (!again.ok() || again.code != read.code)
            std::abort();
    } else if (!read.code.empty() || (read.line == 0) != (read.problem == Armor::Problem::NotFound)) {
        std::abort();
    }

    const Armor::Dearmored back = Armor::dearmor(Armor::armor(input));
    if (!back.ok() || back.code != input)
        std::abort();
    return 0;
}
