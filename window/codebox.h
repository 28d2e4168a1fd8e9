// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's text boxes. Each holds a text of codes 0-255 exactly (display form in
// boxtext.h), raises changed() once for every change of its text, and copies, cuts and
// pastes the raw text through the clipboard module.

#include "boxtext.h"

#include <QBasicTimer>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class QMenu;

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

    // Raises changed() once for every change of the box's text, whatever made it.
    [[nodiscard]] const BoxChanges *changes() const { return &m_changes; }

protected:
    void raiseChanged() { emit m_changes.changed(); }

private:
    BoxChanges m_changes;
};

// The single-line key box. CR and LF are shown as pictures like every control code.
class KeyBox final : public QLineEdit, public CodeBox {
    Q_OBJECT
public:
    explicit KeyBox(QWidget *parent = nullptr);

    [[nodiscard]] QWidget *widget() override { return this; }
    [[nodiscard]] std::string codes() const override;
    void setCodes(std::string_view codes) override;

    // The raw text of the selection to the clipboard; cut also removes it.
    void copyRaw();
    void cutRaw();
    void pasteRaw() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    // QLineEdit puts the shown selection, pictures and all, into the X11 selection; the box
    // replaces it by the raw text. A middle click pastes the selection's raw text.
    void mouseReleaseEvent(QMouseEvent *event) override;
    // Dragging the selection out carries its raw codes; QLineEdit's own drag would carry the
    // pictures.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    [[nodiscard]] std::string selectedCodes() const;
    // Inserts SHOWN (display form) in place of the selection as one step of the undo history.
    void insertStep(const QString &shown);
    void endUndoStep();
    void publishSelection();
    void signalChange(const QString &text);
    [[nodiscard]] bool onSelection(QPoint at);
    void dragSelection();
    template <typename Slot>
    void addEntry(QMenu *menu, const QString &text, QKeySequence::StandardKey key, const char *name,
                  bool enabled, Slot slot);

    // The text last signalled by changed().
    QString m_signalled;
    // Runs from a press on the selection until it becomes a drag or a click.
    QBasicTimer m_dragWait;
    QPoint m_dragFrom;
    // A press before this deadline is a triple click, which selects the whole text.
    QDeadlineTimer m_tripleClick{0};
};

// A multi-line box (plain or code text): no wrapping, both scroll bars, Tab moves on.
class TextBox final : public QPlainTextEdit, public CodeBox {
    Q_OBJECT
public:
    explicit TextBox(QWidget *parent = nullptr);

    [[nodiscard]] QWidget *widget() override { return this; }
    [[nodiscard]] std::string codes() const override;
    void setCodes(std::string_view codes) override;
    void markUnit(std::optional<std::size_t> unit) override;
    void pasteRaw() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    // Copying, cutting and dragging carry the raw text of the selection.
    [[nodiscard]] QMimeData *createMimeDataFromSelection() const override;
    [[nodiscard]] bool canInsertFromMimeData(const QMimeData *source) const override;
    // A text dropped from another program is read exactly, down to a final code 0.
    void dropEvent(QDropEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void noteEdit(int position, int charsRemoved, int charsAdded);
    void keepShapes(int position, int charsAdded);
    void finishEdit();
    void insertCodes(std::string_view codes);

    // Set while the box itself rewrites the document, whose notifications are then its own.
    bool m_rewriting = false;
    // Set while an input method only updates the text it is composing.
    bool m_composing = false;
    // Document range touched by the user's edit since the last changed(), or -1 for none.
    int m_editFrom = -1;
    int m_editTo = -1;
    // The raw text codes() read last and its codes.
    mutable QString m_lastShown;
    mutable std::string m_lastCodes;
};
