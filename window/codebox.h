// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the window needs of each of its text boxes, and what the two kinds of box (keybox.h,
// textbox.h) do alike to what reaches them. Each box holds a text of codes 0-255 exactly
// (display form in boxtext.h), raises changed() once for every change of its text, and
// copies, cuts and pastes the raw text through the clipboard module.

#include "boxtext.h"
#include "clipboard.h"

#include <QObject>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QDropEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMimeData;
class QWidget;

// Raises a box's changed(). A QObject of its own: the boxes derive from QLineEdit and
// QPlainTextEdit, and a class can have only one QObject base.
class BoxChanges final : public QObject {
    Q_OBJECT
signals:
    void changed();
};

// What the window needs of a box, whichever widget shows it.
class CodeBox {
public:
    // Prepares the exact reading of drops (Clipboard::watchDrops()).
    CodeBox();
    virtual ~CodeBox() = default;

    // The widget that shows the box, for placing, naming and focusing it.
    [[nodiscard]] virtual QWidget *widget() = 0;
    // The box's text as codes, read afresh from the widget.
    [[nodiscard]] virtual std::string codes() const = 0;
    // Replaces the text by CODES. When that changes the text, changed() is raised once,
    // synchronously, before this returns; assigning the text the box holds raises nothing.
    virtual void setCodes(std::string_view codes) = 0;
    // Marks unit UNIT of the box's text as the one where a decoding failed (the last unit when
    // UNIT lies past the end), or takes the mark away for none. Only a box that can hold a
    // code text shows it.
    virtual void markUnit(std::optional<std::size_t> unit) { (void)unit; }
    // Inserts the clipboard's text in place of the selection; nothing when it holds none.
    virtual void pasteRaw() = 0;

    // Decides whether a text pasted or dropped enters: ENTERED codes in place of REPLACED.
    using Admission = std::function<bool(std::size_t replaced, std::size_t entered)>;
    // From now on ADMITS decides; until then every text enters.
    void admitEntries(Admission admits) { m_admits = std::move(admits); }

    // How whatever leaves the box (copied, cut, dragged, selected) is marked; Secret::No for
    // a new box.
    void setSecret(Clipboard::Secret secret) { m_secret = secret; }
    [[nodiscard]] Clipboard::Secret secret() const { return m_secret; }

    // Raises changed() once for every change of the box's text, whatever made it.
    [[nodiscard]] const BoxChanges *changes() const { return &m_changes; }

protected:
    void raiseChanged() { emit m_changes.changed(); }
    [[nodiscard]] bool admits(std::size_t replaced, std::size_t entered) const
    {
        return !m_admits || m_admits(replaced, entered);
    }

    // Hands the widget's own handler ENTER the key press or input method EVENT with its text
    // as the box of LINES enters it (the text Windows-1252 cannot hold as "?", control
    // characters as their pictures).
    static void enterTyped(QKeyEvent *event, BoxText::Lines lines,
                           const std::function<void(QKeyEvent *)> &enter);
    static void enterTyped(QInputMethodEvent *event, BoxText::Lines lines,
                           const std::function<void(QInputMethodEvent *)> &enter);
    // Lets the widget's own DROP handler take EVENT as if it carried DATA.
    static void dropAs(QDropEvent *event, const QMimeData *data,
                       const std::function<void(QDropEvent *)> &drop);
    // Lets the widget's own DROP handler take EVENT with its text read exactly, where Qt's
    // reading lost a final code 0 of text dragged from another program.
    static void dropExactly(QDropEvent *event, const std::function<void(QDropEvent *)> &drop);

private:
    BoxChanges m_changes;
    Clipboard::Secret m_secret = Clipboard::Secret::No;
    Admission m_admits;
};
