// SPDX-License-Identifier: GPL-3.0-or-later
#include "boxes.h"

#include "failuretext.h"
#include "modcodeur.h"

#include <algorithm>

namespace {

// TEXT in UTF-8, as the armored form is read; a lone surrogate becomes U+FFFD.
std::string utf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

Boxes::Boxes(BoxesView &view) : m_view(view), m_texts{"Tesk", "Saisie", "Code"}
{
    for (int i = 0; i < 3; ++i)
        m_view.showCodes(i, m_texts[i]);
    m_view.enableCopies(false);
}

void Boxes::edited(int i, std::string_view codes)
{
    m_texts[i] = codes;
    handle(i);
}

void Boxes::setText(int i, std::string_view codes)
{
    if (codes == m_texts[i])
        return;
    m_texts[i] = codes;
    m_view.showCodes(i, m_texts[i]);
    handle(i);
}

void Boxes::handle(int i)
{
    txt_Change(i);
    reviewFailure();
}

void Boxes::setCount(int i, std::size_t count)
{
    m_view.showCount(i, count);
}

void Boxes::enableCopies(bool enabled)
{
    if (enabled == m_copiesEnabled)
        return;
    m_copiesEnabled = enabled;
    m_view.enableCopies(enabled);
}

void Boxes::txt_Change(int i)
{
    if (text(Key).size() < 2) {
        enableCopies(false);
        return;
    }
    enableCopies(true);

    switch (i) {
    case Key:
        setCount(Key, text(Key).size());
        if (text(Plain).empty()) {
            decodeIntoPlain();
            return;
        }
        if (text(Plain) == ModCodeur::Erreur)
            return;
        ModCodeur::EnCours = 1;
        setText(Code, ModCodeur::Coder(text(Plain), text(Key)));
        setCount(Code, text(Code).size());
        ModCodeur::EnCours = 0;
        return;
    case Plain:
        if (text(Plain) == ModCodeur::Erreur)
            return;
        if (ModCodeur::EnCours > 0)
            return;
        ModCodeur::EnCours = 2;
        if (text(Plain).empty()) {
            setText(Code, "");
        } else {
            setText(Code, ModCodeur::Coder(text(Plain), text(Key)));
            setCount(Code, text(Code).size());
        }
        ModCodeur::EnCours = 0;
        return;
    case Code:
        if (ModCodeur::EnCours > 0)
            return;
        ModCodeur::EnCours = 2;
        if (text(Code).empty()) {
            ModCodeur::EnCours = 0;
            setText(Plain, "");
            return;
        }
        decodeIntoPlain();
        setCount(Plain, text(Plain).size());
        ModCodeur::EnCours = 0;
        return;
    default:
        return;
    }
}

void Boxes::decodeIntoPlain()
{
    ModCodeur::DecodeResult result = ModCodeur::decode(text(Code), text(Key));
    if (result.ok()) {
        setText(Plain, result.plain);
        clearFailure();
        return;
    }
    // Noted first, so that the plain box's change finds the reason in line with the boxes.
    noteFailure(result);
    setText(Plain, ModCodeur::Erreur);
}

void Boxes::noteFailure(const ModCodeur::DecodeResult &result)
{
    m_failure = Failure{text(Code), text(Key)};
    if (text(Key).size() < 2) {
        // No conversion runs then: a reason found with this key would explain nothing.
        m_view.showFailure(FailureText::keyTooShort(), std::nullopt);
    } else if (result.ok()) {
        // A key edit leaves an "Erreur" in the plain box although the code text fits the key
        // now; no unit is at fault.
        m_view.showFailure(FailureText::fitsNow(), std::nullopt);
    } else {
        // A missing unit (the code text ended too soon) is shown on the last one.
        const std::string &code = text(Code);
        const std::optional<std::size_t> unit =
            code.empty() ? std::nullopt : std::optional(std::min(result.unit, code.size() - 1));
        m_view.showFailure(FailureText::why(result.failure, result.unit), unit);
    }
}

void Boxes::reviewFailure()
{
    if (!m_failure)
        return;
    if (text(Plain) != ModCodeur::Erreur) {
        clearFailure();
        return;
    }
    // The "Erreur" stays through key edits, and through code edits while the key is too short
    // to decode with; its reason follows them.
    if (text(Code) != m_failure->code || text(Key) != m_failure->key)
        noteFailure(ModCodeur::decode(text(Code), text(Key)));
}

void Boxes::clearFailure()
{
    if (!m_failure)
        return;
    m_failure.reset();
    m_view.clearFailure();
}

std::optional<std::string> Boxes::armoredCode() const
{
    if (!m_copiesEnabled)
        return std::nullopt;
    return Armor::armor(text(Code));
}

bool Boxes::admits(int i, std::size_t replaced, std::size_t entered)
{
    const std::size_t kept = text(i).size() - std::min(replaced, text(i).size());
    if (entered <= Limit && kept <= Limit - entered)
        return true;
    m_view.showRefusal(i, FailureText::tooLong(Limit));
    return false;
}

Boxes::Entry Boxes::paste(int i, std::u16string_view text, std::size_t replaced)
{
    Entry entry;
    if (auto armored = pasteArmored(i, text))
        entry = std::move(*armored);
    else
        entry.codes = DisplayForm::fromRaw(text);
    if (!entry.refused && !admits(i, replaced, entry.codes.size()))
        return {{}, true};
    return entry;
}

std::optional<Boxes::Entry> Boxes::pasteArmored(int i, std::u16string_view text)
{
    if (i != Code)
        return std::nullopt;
    const std::string read = utf8(text);
    if (!Armor::holdsArmor(read))
        return std::nullopt;
    Armor::Dearmored armored = Armor::dearmor(read);
    if (armored.ok())
        return Entry{std::move(armored.code)};
    // Nothing enters and the code box keeps its text, so any change of it decodes again; the
    // reason stands, as for a failed decoding, while the plain box shows this "Erreur".
    m_failure = Failure{this->text(Code), this->text(Key)};
    m_view.showFailure(FailureText::armorDamaged(armored.problem, armored.line), std::nullopt);
    setText(Plain, ModCodeur::Erreur);
    return Entry{{}, true};
}
