// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as an armored text: what the reader accepts is what the armored form of its
// result reads back as. As a code text: their armored form reads back exactly.

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
    const Armor::Dearmored again = Armor::dearmor(Armor::armor(read.code));
    const Armor::Dearmored back = Armor::dearmor(Armor::armor(input));
    if (Armor::holdsArmor(input) != (read.problem != Armor::Problem::NotFound) ||
        (read.ok() ? !again.ok() || again.code != read.code : !read.code.empty()) || !back.ok() ||
        back.code != input)
        std::abort();
    return 0;
}
