// SPDX-License-Identifier: GPL-3.0-or-later
// What the browser page calls in WebAssembly: the boxes' behaviour (Boxes), the very C++ the
// window runs, over a face the page's script gives. A box's text crosses as its display form
// (what the text area holds), a copied or pasted text as its raw form, both UTF-16 strings;
// codes never cross as bytes, so a std::string is UTF-8, as embind reads it.

#include "boxes.h"
#include "displayform.h"
#include "modcodeur.h"

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace {

using emscripten::val;

// What a text pasted into a box enters: SHOWN in place of the selection, or nothing when
// REFUSED.
struct Pasted {
    bool refused = false;
    std::u16string shown;
};

// The boxes of the page. Its face is a script object with the methods showText(i, shown),
// showCount(i, count), enableCopies(enabled), showFailure(why, at) (AT the display index of the
// code box's unit at fault, or -1), clearFailure() and showRefusal(i, why).
class Page final : private BoxesView {
public:
    explicit Page(val face) : m_face(std::move(face)), m_boxes(*this)
    {
        // Coder shows the plain length itself.
        ModCodeur::setPlainLengthHook(
            [this](std::size_t length) { showCount(Boxes::Plain, length); });
    }
    Page(const Page &) = delete;
    Page &operator=(const Page &) = delete;
    ~Page() override { ModCodeur::setPlainLengthHook({}); }

    // The user changed box I: what its text area held from FROM to TO is now TEXT. Only the
    // change crosses, which for a keystroke in a long text is most of what it would cost.
    void edited(Boxes::Field i, std::size_t from, std::size_t to, const std::u16string &text)
    {
        std::u16string &shown = m_shown[i];
        to = std::min(to, shown.size());
        from = std::min(from, to);
        shown.replace(from, to - from, text);
        m_boxes.edited(i, DisplayForm::fromDisplay(shown, Boxes::lines(i)));
    }

    // TEXT entered by a user, rewritten as box I shows what it enters.
    [[nodiscard]] std::u16string typed(Boxes::Field i, const std::u16string &text) const
    {
        return DisplayForm::typed(text, Boxes::lines(i));
    }

    // TEXT pasted into box I in place of REPLACED, the selection as the text area shows it.
    [[nodiscard]] Pasted paste(Boxes::Field i, const std::u16string &text,
                               const std::u16string &replaced)
    {
        Boxes::Entry entry =
            m_boxes.paste(i, text, DisplayForm::fromDisplay(replaced, Boxes::lines(i)).size());
        if (entry.refused)
            return {true, {}};
        return {false, DisplayForm::toDisplay(entry.codes, Boxes::lines(i))};
    }

    // Whether box I takes TEXT, dropped at a point of it; the face is told why when not.
    [[nodiscard]] bool admitsDrop(Boxes::Field i, const std::u16string &text)
    {
        return m_boxes.admits(i, 0, DisplayForm::fromRaw(text).size());
    }

    // The raw text of box I, for the clipboard.
    [[nodiscard]] std::u16string raw(Boxes::Field i) const
    {
        return DisplayForm::toRaw(m_boxes.text(i));
    }

    // The armored form of the code text, or null while the Copy buttons are disabled.
    [[nodiscard]] val armored() const
    {
        const auto armored = m_boxes.armoredCode();
        return armored ? val(*armored) : val::null();
    }

private:
    void showCodes(int i, std::string_view codes) override
    {
        m_shown[i] = DisplayForm::toDisplay(codes, Boxes::lines(i));
        m_face.call<void>("showText", i, m_shown[i]);
    }
    void showCount(int i, std::size_t count) override
    {
        m_face.call<void>("showCount", i, static_cast<double>(count));
    }
    void enableCopies(bool enabled) override { m_face.call<void>("enableCopies", enabled); }
    void showFailure(std::string_view why, std::optional<std::size_t> unit) override
    {
        const double at = unit ? static_cast<double>(DisplayForm::displayIndex(
                                     m_boxes.text(Boxes::Code), *unit, DisplayForm::Lines::Multi))
                               : -1;
        m_face.call<void>("showFailure", std::string(why), at);
    }
    void clearFailure() override { m_face.call<void>("clearFailure"); }
    void showRefusal(int i, std::string_view why) override
    {
        m_face.call<void>("showRefusal", i, std::string(why));
    }

    val m_face;
    // What each text area holds, as the page last told or was told.
    std::array<std::u16string, 3> m_shown;
    Boxes m_boxes;
};

} // namespace

EMSCRIPTEN_BINDINGS(codetarvo)
{
    emscripten::enum_<Boxes::Field>("Field")
        .value("Key", Boxes::Key)
        .value("Plain", Boxes::Plain)
        .value("Code", Boxes::Code);
    emscripten::value_object<Pasted>("Pasted")
        .field("refused", &Pasted::refused)
        .field("shown", &Pasted::shown);
    emscripten::class_<Page>("Page")
        .constructor<val>()
        .function("edited", &Page::edited)
        .function("typed", &Page::typed)
        .function("paste", &Page::paste)
        .function("admitsDrop", &Page::admitsDrop)
        .function("raw", &Page::raw)
        .function("armored", &Page::armored);
}
