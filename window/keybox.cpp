// SPDX-License-Identifier: GPL-3.0-or-later
#include "keybox.h"

#include "clipboard.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QValidator>

#include <limits>

namespace {

// Rewrites whatever reaches the key box by QLineEdit's own ways (drops, middle-click
// pastes) as the box shows what it enters, keeping the cursor after the same code. QLineEdit
// then raises a single textChanged for the edit.
class KeyValidator final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override
    {
        const QString shown = BoxText::typed(input, BoxText::Lines::Single);
        if (shown != input) {
            // In a one-line box every code is shown as one UTF-16 unit.
            const auto before =
                BoxText::fromDisplay(QStringView(input).left(pos), BoxText::Lines::Single);
            pos = static_cast<int>(before.size());
            input = shown;
        }
        return Acceptable;
    }
};

} // namespace

KeyBox::KeyBox(QWidget *parent) : QLineEdit(parent)
{
    // QLineEdit would silently cut longer texts at 32767 characters.
    setMaxLength(std::numeric_limits<int>::max());
    setValidator(new KeyValidator(this));
    connect(this, &QLineEdit::textChanged, this, &KeyBox::signalChange);
}

void KeyBox::signalChange(const QString &text)
{
    // QLineEdit reports inserting nothing (pasting an empty text) as a change too.
    if (text == m_signalled)
        return;
    m_signalled = text;
    raiseChanged();
}

std::string KeyBox::codes() const
{
    return BoxText::fromDisplay(text(), BoxText::Lines::Single);
}

void KeyBox::setCodes(std::string_view codes)
{
    // QLineEdit signals textChanged once when the text differs, never for the same text.
    setText(BoxText::toDisplay(codes, BoxText::Lines::Single));
}

std::string KeyBox::selectedCodes() const
{
    return BoxText::fromDisplay(selectedText(), BoxText::Lines::Single);
}

void KeyBox::copyRaw()
{
    if (hasSelectedText())
        Clipboard::putCodes(selectedCodes(), secret());
}

void KeyBox::cutRaw()
{
    if (!hasSelectedText() || isReadOnly())
        return;
    copyRaw();
    del();
}

void KeyBox::pasteRaw()
{
    if (isReadOnly())
        return;
    if (const auto pasted = Clipboard::codes())
        insertStep(BoxText::toDisplay(*pasted, BoxText::Lines::Single));
}

void KeyBox::insertStep(const QString &shown)
{
    // One character a code in a one-line box.
    if (!admits(static_cast<std::size_t>(selectedText().size()),
                static_cast<std::size_t>(shown.size())))
        return;
    endUndoStep();
    insert(shown);
    endUndoStep();
}

// QLineEdit (Qt 6.4) adds an insertion at the cursor to the undo step of the typing before
// it, as it does not for its own paste, and ends a step when the cursor moves, the only
// public way to end one.
// The cursor and the selection end up where they were.
void KeyBox::endUndoStep()
{
    if (text().isEmpty())
        return;
    const int cursor = cursorPosition();
    const int start = selectionStart();
    const auto length = static_cast<int>(selectedText().size());
    setCursorPosition(cursor > 0 ? cursor - 1 : cursor + 1);
    if (start < 0)
        setCursorPosition(cursor);
    else if (cursor == start)
        setSelection(start + length, -length);
    else
        setSelection(start, length);
}

void KeyBox::publishSelection()
{
    if (hasSelectedText())
        Clipboard::putCodes(selectedCodes(), secret(), QClipboard::Selection);
}

void KeyBox::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copyRaw();
    } else if (event->matches(QKeySequence::Cut)) {
        cutRaw();
    } else if (event->matches(QKeySequence::Paste)) {
        pasteRaw();
    } else {
        enterTyped(event, BoxText::Lines::Single,
                   [this](QKeyEvent *entered) { QLineEdit::keyPressEvent(entered); });
        publishSelection();
        return;
    }
    event->accept();
}

void KeyBox::inputMethodEvent(QInputMethodEvent *event)
{
    enterTyped(event, BoxText::Lines::Single,
               [this](QInputMethodEvent *entered) { QLineEdit::inputMethodEvent(entered); });
}

void KeyBox::mousePressEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ShiftModifier) &&
        m_tripleClick.hasExpired() && onSelection(at)) {
        m_dragFrom = at;
        m_dragWait.start(QApplication::startDragTime(), this);
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void KeyBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragWait.isActive()) {
        QLineEdit::mouseMoveEvent(event);
        return;
    }
    if ((event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - m_dragFrom).manhattanLength() >
            QApplication::startDragDistance())
        dragSelection();
    event->accept();
}

void KeyBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QLineEdit::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        m_tripleClick.setRemainingTime(QApplication::doubleClickInterval());
}

void KeyBox::timerEvent(QTimerEvent *event)
{
    // Holding the button on the selection for a while starts the drag too.
    if (event->timerId() == m_dragWait.timerId()) {
        dragSelection();
        return;
    }
    QLineEdit::timerEvent(event);
}

// Whether the point AT lies on the selection, within half a character.
bool KeyBox::onSelection(QPoint at)
{
    if (!hasSelectedText() || echoMode() != Normal)
        return false;
    const int position = cursorPositionAt(at);
    return position >= selectionStart() && position <= selectionEnd();
}

void KeyBox::dragSelection()
{
    m_dragWait.stop();
    auto *drag = new QDrag(this);
    drag->setMimeData(Clipboard::mimeData(selectedCodes(), secret()));
    // Only copied: dropping the key elsewhere leaves it whole.
    drag->exec(Qt::CopyAction);
}

void KeyBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragWait.isActive()) {
        // A click on the selection that did not become a drag places the cursor.
        m_dragWait.stop();
        setCursorPosition(cursorPositionAt(event->position().toPoint()));
        event->accept();
        return;
    }
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (event->button() == Qt::MiddleButton && !isReadOnly() && clipboard &&
        clipboard->supportsSelection()) {
        // QLineEdit would insert the selection's text as Qt reads it, which can lack a final
        // code 0; the press has already put the cursor where the text goes.
        deselect();
        if (const auto pasted = Clipboard::codes(QClipboard::Selection))
            insertStep(BoxText::toDisplay(*pasted, BoxText::Lines::Single));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
    publishSelection();
}

void KeyBox::dropEvent(QDropEvent *event)
{
    dropExactly(event, [this](QDropEvent *exact) {
        const QMimeData *data = exact->mimeData();
        if (!data || !data->hasText()) {
            QLineEdit::dropEvent(exact);
            return;
        }
        // Given the text as the box shows it, QLineEdit inserts it into the undo history;
        // the validator would rewrite control characters by setting the whole text anew,
        // which clears that history.
        QMimeData shown;
        shown.setText(BoxText::typed(data->text(), BoxText::Lines::Single));
        endUndoStep();
        dropAs(exact, &shown, [this](QDropEvent *drop) { QLineEdit::dropEvent(drop); });
        endUndoStep();
    });
}

void KeyBox::contextMenuEvent(QContextMenuEvent *event)
{
    // QLineEdit's own menu would copy the pictures, and Qt 6.4 gives its entries no object
    // names to find and redirect them by (later versions do), so the box builds the same
    // menu around its raw clipboard functions.
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool editable = !isReadOnly();
    const bool selected = hasSelectedText();
    addEntry(menu, QLineEdit::tr("&Undo"), QKeySequence::Undo, "edit-undo",
             editable && isUndoAvailable(), [this] { undo(); });
    addEntry(menu, QLineEdit::tr("&Redo"), QKeySequence::Redo, "edit-redo",
             editable && isRedoAvailable(), [this] { redo(); });
    menu->addSeparator();
    addEntry(menu, QLineEdit::tr("Cu&t"), QKeySequence::Cut, "edit-cut", editable && selected,
             [this] { cutRaw(); });
    addEntry(menu, QLineEdit::tr("&Copy"), QKeySequence::Copy, "edit-copy", selected,
             [this] { copyRaw(); });
    addEntry(menu, QLineEdit::tr("&Paste"), QKeySequence::Paste, "edit-paste",
             editable && Clipboard::hasText(), [this] { pasteRaw(); });
    addEntry(menu, QLineEdit::tr("Delete"), QKeySequence::UnknownKey, "edit-delete",
             editable && selected, [this] { del(); });
    menu->addSeparator();
    addEntry(menu, QLineEdit::tr("Select All"), QKeySequence::SelectAll, "select-all",
             !text().isEmpty(), [this] { selectAll(); });
    menu->popup(event->globalPos());
}

template <typename Slot>
void KeyBox::addEntry(QMenu *menu, const QString &text, QKeySequence::StandardKey key,
                      const char *name, bool enabled, Slot slot)
{
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    QAction *action = menu->addAction(shortcut.isEmpty() ? text : text + u'\t' + shortcut);
    action->setObjectName(QString::fromLatin1(name));
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, slot);
}
