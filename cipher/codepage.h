#pragma once

// The single-byte code page of texts: Windows-1252, its five undefined positions (129, 141,
// 143, 144, 157) taken as the C1 controls U+0081, U+008D, U+008F, U+0090, U+009D, so that
// code and character are an exact inverse pair for all 256 codes.

#include <optional>

namespace CodePage {

[[nodiscard]] char32_t toUnicode(unsigned char code);

// The code of CHARACTER, or nothing when the code page cannot represent it.
[[nodiscard]] std::optional<unsigned char> fromUnicode(char32_t character);

} // namespace CodePage
