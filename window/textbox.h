// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A multi-line box (plain or code text): no wrapping, both scroll bars, Tab moves on.

#include "boxes.h"
#include "codebox.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class TextBox final : public QPlainTextEdit, public CodeBox {
    Q_OBJECT
public:
    explicit TextBox(QWidget *parent = nullptr);

    [[nodiscard]] QWidget *widget() override { return this; }
    [[nodiscard]] std::string codes() const override;
    void setCodes(std::string_view codes) override;
    void markUnit(std::optional<std::size_t> unit) override;
    void pasteRaw() override;

    // Reads a text pasted or dropped for an armored form: what it enters, or nothing when the
    // text holds none (Boxes::pasteArmored()).
    using ArmorReader = std::function<std::optional<Boxes::Entry>(QStringView text)>;
    // From now on a text pasted or dropped is first given to READ: what it enters of an
    // armored form goes in place of the selection (nothing for a damaged one).
    void takeArmoredTexts(ArmorReader read) { m_readArmor = std::move(read); }

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
    // The codes of the box's text, kept by the box.
    [[nodiscard]] const std::string &held() const;
    void noteEdit(int position, int charsRemoved, int charsAdded);
    // Carries a small edit inside one block into the codes held, so that typing in a long text
    // costs what the keystroke changed; false when they must be read again.
    bool carry(int position, int charsRemoved, int charsAdded);
    // Where the codes of BLOCK start, in a document of TOTAL codes edited only inside BLOCK.
    [[nodiscard]] std::size_t codeStart(const QTextBlock &block, std::size_t total);
    void keepShapes(int position, int charsAdded);
    void finishEdit();
    // Writes WANTED over SHOWN, the display form of the document from FROM on, where they
    // differ; returns where WANTED ends.
    int rewrite(QTextCursor &cursor, int from, const QString &shown, const QString &wanted);
    // Makes one step of the cursor in DIRECTION (-1 or 1) go over a row break, where it would
    // otherwise stop between two rows of one line.
    void stepOverRowBreak(int direction, QTextCursor::MoveMode mode);
    void insertCodes(std::string_view codes);
    // Enters what an armored form in SOURCE carries; false when it holds none the box takes.
    bool insertArmored(const QMimeData *source);

    // Set while the box itself rewrites the document, whose notifications are then its own.
    bool m_rewriting = false;
    // Set while an input method only updates the text it is composing.
    bool m_composing = false;
    // Set while the user types or composes: a block break entered then is a line break.
    bool m_enteringLines = false;
    // Set when the edit being finished inserted codes, in rows.
    bool m_insertedRows = false;
    ArmorReader m_readArmor;
    // Set when the last text inserted held an armored form.
    bool m_insertedArmor = false;
    // Document range touched by the user's edit since the last changed(), or -1 for none.
    int m_editFrom = -1;
    int m_editTo = -1;
    // The codes codes() read last, and whether the document changed since.
    mutable std::string m_lastCodes;
    mutable bool m_stale = true;
    // Whether every character of every block is one code in m_lastCodes, and the document's
    // blocks then: what carrying an edit relies on.
    mutable bool m_oneCodePerCharacter = false;
    mutable int m_heldBlocks = 0;
    // A block whose first code is known, where the last carried edit was, or -1.
    int m_anchorBlock = -1;
    std::size_t m_anchorCode = 0;
};
