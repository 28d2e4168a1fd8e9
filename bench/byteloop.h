// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// TARGET[i] = SOURCE[i] + KEY[i % KEY.size()], one byte at a time: the speed of a plain loop
// that the compiler is kept from vectorising. TARGET is as long as SOURCE.
void addKeyByteByByte(std::string_view source, std::string_view key, std::string &target);
