// SPDX-License-Identifier: GPL-3.0-or-later
// The tests' shorthand for the UTF-8 of codes, through the code page's own writer.
#pragma once

#include "codepage.h"

#include <string>
#include <string_view>

inline std::string utf8Of(std::string_view codes)
{
    std::string text;
    CodePage::appendUtf8(codes, text);
    return text;
}
