// SPDX-License-Identifier: GPL-3.0-or-later
#include "byteloop.h"

void addKeyByteByByte(std::string_view source, std::string_view key, std::string &target)
{
    std::size_t k = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        target[i] = static_cast<char>(source[i] + key[k]);
        if (++k == key.size())
            k = 0;
    }
}
