// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The single-line key box. CR and LF are shown as pictures like every control code.

#include "codebox.h"

#include <QBasicTimer>
#include <QDeadlineTimer>
#include <QLineEdit>

#include <string>
#include <string_view>

class QMenu;

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
