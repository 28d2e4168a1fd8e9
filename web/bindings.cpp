// SPDX-License-Identifier: GPL-3.0-or-later
// What the browser page calls in WebAssembly: the cipher, the display form, the failure texts
// and the armored form, the very C++ the window and the command line run. A text of codes is a
// JavaScript string whose every character is one code 0-255: it comes in as std::string (bytes
// unchanged) and goes out widened to std::u16string, which the browser decodes in one piece
// (a std::string comes out a character at a time, a burden on the collector at 100 KiB). What a
// box shows travels as UTF-16.

#include "armor.h"
#include "displayform.h"
#include "failuretext.h"
#include "modcodeur.h"

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <string>
#include <string_view>

namespace {

using emscripten::val;

DisplayForm::Lines lines(bool multi)
{
    return multi ? DisplayForm::Lines::Multi : DisplayForm::Lines::Single;
}

std::u16string widen(std::string_view codes)
{
    std::u16string out(codes.size(), u'\0');
    for (std::size_t i = 0; i < codes.size(); ++i)
        out[i] = static_cast<unsigned char>(codes[i]);
    return out;
}

std::u16string coder(std::string plain, std::string key)
{
    return widen(ModCodeur::Coder(std::move(plain), std::move(key)));
}

// Coder shows the plain length through LISTENER, a function of one number.
void onPlainLength(val listener)
{
    ModCodeur::setPlainLengthHook([listener](std::size_t length) { listener(length); });
}

// A message of UTF-8 as JavaScript holds text.
std::u16string utf16(const std::string &utf8)
{
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += 1 + extra;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

// {ok, plain, unit, why}: the decoding, or the unit at fault and the French reason.
val decode(const std::string &code, const std::string &key)
{
    const ModCodeur::DecodeResult result = ModCodeur::decode(code, key);
    val out = val::object();
    out.set("ok", result.ok());
    out.set("plain", widen(result.ok() ? std::string_view(result.plain) : ModCodeur::Erreur));
    out.set("unit", result.unit);
    out.set("why",
            result.ok() ? std::u16string() : utf16(FailureText::why(result.failure, result.unit)));
    return out;
}

std::u16string fitsNow()
{
    return utf16(FailureText::fitsNow());
}

std::u16string keyTooShort()
{
    return utf16(FailureText::keyTooShort());
}

std::string armor(const std::string &code)
{
    return Armor::armor(code);
}

bool holdsArmor(const std::string &text)
{
    return Armor::holdsArmor(text);
}

// {ok, code, why}: the code text an armored TEXT (UTF-8 bytes) carries, or why it cannot be read.
val dearmor(const std::string &text)
{
    const Armor::Dearmored result = Armor::dearmor(text);
    val out = val::object();
    out.set("ok", result.ok());
    out.set("code", widen(result.code));
    out.set("why", utf16(result.ok() ? std::string()
                                     : FailureText::armorDamaged(result.problem, result.line)));
    return out;
}

std::string erreur()
{
    return std::string(ModCodeur::Erreur);
}

std::u16string toDisplay(const std::string &codes, bool multi)
{
    return DisplayForm::toDisplay(codes, lines(multi));
}

std::size_t displayIndex(const std::string &codes, std::size_t index, bool multi)
{
    return DisplayForm::displayIndex(codes, index, lines(multi));
}

std::u16string fromDisplay(const std::u16string &text, bool multi)
{
    return widen(DisplayForm::fromDisplay(text, lines(multi)));
}

std::u16string toRaw(const std::string &codes)
{
    return DisplayForm::toRaw(codes);
}

std::u16string fromRaw(const std::u16string &text)
{
    return widen(DisplayForm::fromRaw(text));
}

std::u16string typed(const std::u16string &text, bool multi)
{
    return DisplayForm::typed(text, lines(multi));
}

bool isMark(int code)
{
    return code >= 0 && code <= 255 && DisplayForm::isMark(static_cast<unsigned char>(code));
}

} // namespace

EMSCRIPTEN_BINDINGS(codetarvo)
{
    emscripten::function("coder", &coder);
    emscripten::function("onPlainLength", &onPlainLength);
    emscripten::function("decode", &decode);
    emscripten::function("fitsNow", &fitsNow);
    emscripten::function("keyTooShort", &keyTooShort);
    emscripten::function("erreur", &erreur);
    emscripten::function("toDisplay", &toDisplay);
    emscripten::function("displayIndex", &displayIndex);
    emscripten::function("fromDisplay", &fromDisplay);
    emscripten::function("toRaw", &toRaw);
    emscripten::function("fromRaw", &fromRaw);
    emscripten::function("typed", &typed);
    emscripten::function("isMark", &isMark);
    emscripten::function("armor", &armor);
    emscripten::function("holdsArmor", &holdsArmor);
    emscripten::function("dearmor", &dearmor);
}
