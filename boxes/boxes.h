// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The behaviour of the program's three boxes (key, plain text, code text), once for every
// face: the window and the browser page only show what Boxes tells them and report what the
// user did. Boxes holds each box's text as codes and keeps them consistent live: editing the
// plain box encodes it into the code box, editing the code box decodes it into the plain box,
// editing the key redoes the conversion. It also keeps the counts, the Copy buttons' state,
// why a decoding gave "Erreur", and reads armored texts pasted into the code box.
// No toolkit and no I/O here.

#include "armor.h"
#include "displayform.h"
#include "modcodeur.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What a face shows of the boxes. Boxes calls it synchronously, on the thread that reported
// the edit.
class BoxesView {
public:
    virtual ~BoxesView() = default;

    // Box I now holds CODES. Showing them is no edit of the user's: the face reports none.
    virtual void showCodes(int i, std::string_view codes) = 0;
    // The count label of box I now says COUNT.
    virtual void showCount(int i, std::size_t count) = 0;
    // The three Copy buttons, and the armored copy, can be used or not.
    virtual void enableCopies(bool enabled) = 0;
    // The plain box says "Erreur" because of WHY (French, UTF-8); UNIT is the unit of the code
    // box at fault, to mark, or none.
    virtual void showFailure(std::string_view why, std::optional<std::size_t> unit) = 0;
    // The plain box no longer shows a failure.
    virtual void clearFailure() = 0;
    // A text pasted or dropped into box I entered nothing, because of WHY (French, UTF-8).
    virtual void showRefusal(int i, std::string_view why) = 0;
};

class Boxes {
public:
    // Box indices: 0 the key, 1 the plain text, 2 the code text.
    enum Field : int { Key = 0, Plain = 1, Code = 2 };

    // What a text pasted or dropped into a box enters in place of its selection, as one step
    // the user can undo: CODES, or nothing at all when REFUSED (a damaged armored text, whose
    // failure the plain box then shows).
    struct Entry {
        std::string codes;
        bool refused = false;
    };

    // Shows the start-up texts ("Tesk", "Saisie", "Code"), with the Copy buttons disabled and
    // the counts empty. Nothing is converted until a box changes.
    explicit Boxes(BoxesView &view);

    // The most codes a box takes from a paste or a drop: a text that large is still shown and
    // converted at once, and the command-line tool converts larger ones.
    static constexpr std::size_t Limit = std::size_t{16} << 20;

    // How box I lays out its text: the key box holds one line.
    [[nodiscard]] static DisplayForm::Lines lines(int i)
    {
        return i == Key ? DisplayForm::Lines::Single : DisplayForm::Lines::Multi;
    }

    // The codes box I holds.
    [[nodiscard]] const std::string &text(int i) const { return m_texts[i]; }
    // The user changed box I, which now holds CODES: the boxes are brought in line.
    void edited(int i, std::string_view codes);
    // Assigns box I; its change is handled before this returns. Assigning a box the text it
    // holds changes nothing.
    void setText(int i, std::string_view codes);

    // Whether the Copy buttons can be used: only while the key can convert.
    [[nodiscard]] bool copiesEnabled() const { return m_copiesEnabled; }
    // The armored form of the code text, for a message; nothing while the Copy buttons are
    // disabled (the code box may still hold the start-up word, which is no code text).
    [[nodiscard]] std::optional<std::string> armoredCode() const;

    // Whether box I takes ENTERED codes, pasted or dropped, in place of REPLACED codes of its
    // text: not past Limit, and then the face is told why nothing entered.
    [[nodiscard]] bool admits(int i, std::size_t replaced, std::size_t entered);

    // What TEXT, pasted or dropped into box I in place of REPLACED codes, enters: the code text
    // of an armored form in the code box (a damaged one refused), otherwise TEXT read as raw
    // codes; nothing past Limit.
    [[nodiscard]] Entry paste(int i, std::u16string_view text, std::size_t replaced);
    // The same for an armored form alone; nothing when TEXT holds none for box I, so that the
    // face reads TEXT its own way.
    [[nodiscard]] std::optional<Entry> pasteArmored(int i, std::u16string_view text);

private:
    void handle(int i);
    // Keeps the boxes consistent after box I changed.
    void txt_Change(int i);
    void setCount(int i, std::size_t count);
    void enableCopies(bool enabled);
    // Assigns the plain box the decoding of the code box, "Erreur" when it does not fit the
    // key, and says why.
    void decodeIntoPlain();
    // The reason for an "Erreur", RESULT being the decoding of the code text with the key the
    // boxes hold now. It stands while the plain box shows that "Erreur", and is told afresh
    // for a new key or code text.
    void noteFailure(const ModCodeur::DecodeResult &result);
    // Brings the reason in line with the boxes after a change.
    void reviewFailure();
    void clearFailure();

    BoxesView &m_view;
    std::array<std::string, 3> m_texts;
    bool m_copiesEnabled = false;
    // The code text and key whose failure the plain box is showing.
    struct Failure {
        std::string code;
        std::string key;
    };
    std::optional<Failure> m_failure;
};
