// SPDX-License-Identifier: GPL-3.0-or-later
#include "codebox.h"

#include "clipboard.h"
#include "failurenote.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QValidator>

#include <algorithm>
#include <limits>
#include <memory>

namespace {

// Lets the widget's own DROP handler take EVENT as if it carried DATA.
template <typename Drop> void dropAs(QDropEvent *event, const QMimeData *data, Drop drop)
{
    QDropEvent copy(event->position(), event->possibleActions(), data, event->buttons(),
                    event->modifiers(), event->type());
    copy.setDropAction(event->dropAction());
    drop(&copy);
    event->setDropAction(copy.dropAction());
    event->setAccepted(copy.isAccepted());
}

// Lets the widget's own DROP handler take EVENT with its text read exactly, where Qt's reading
// lost a final code 0 of text dragged from another program.
template <typename Drop> void dropExactly(QDropEvent *event, Drop drop)
{
    if (const auto exact = Clipboard::exactDrop(event))
        dropAs(event, exact.get(), drop);
    else
        drop(event);
}

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

bool hasControl(const QString &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// EVENT with its text rewritten as the box enters it, or null when it needs no rewriting.
// Texts with control characters belong to keys such as Enter, Backspace or Ctrl+B, which
// the widget handles by their key and never inserts.
std::unique_ptr<QKeyEvent> rewritten(const QKeyEvent *event, BoxText::Lines lines)
{
    const QString text = event->text();
    if (text.isEmpty() || hasControl(text))
        return nullptr;
    const QString shown = BoxText::typed(text, lines);
    if (shown == text)
        return nullptr;
    return std::make_unique<QKeyEvent>(event->type(), event->key(), event->modifiers(),
                                       event->nativeScanCode(), event->nativeVirtualKey(),
                                       event->nativeModifiers(), shown, event->isAutoRepeat(),
                                       static_cast<quint16>(event->count()), event->device());
}

// EVENT with its committed text rewritten as the box enters it, or null when it needs none.
std::unique_ptr<QInputMethodEvent> rewritten(const QInputMethodEvent *event, BoxText::Lines lines)
{
    const QString shown = BoxText::typed(event->commitString(), lines);
    if (shown == event->commitString())
        return nullptr;
    auto copy = std::make_unique<QInputMethodEvent>(event->preeditString(), event->attributes());
    copy->setCommitString(shown, event->replacementStart(), event->replacementLength());
    return copy;
}

// Points the context MENU's entry NAME (a standard edit action) at SLOT of BOX.
void redirect(QMenu *menu, const char *name, TextBox *box, void (TextBox::*slot)())
{
    if (auto *action = menu->findChild<QAction *>(QString::fromLatin1(name))) {
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        QObject::connect(action, &QAction::triggered, box, slot);
    }
}

} // namespace

KeyBox::KeyBox(QWidget *parent) : QLineEdit(parent)
{
    // QLineEdit would silently cut longer texts at 32767 characters.
    setMaxLength(std::numeric_limits<int>::max());
    setValidator(new KeyValidator(this));
    Clipboard::watchDrops();
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
        Clipboard::putCodes(selectedCodes());
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
    endUndoStep();
    insert(shown);
    endUndoStep();
}

// QLineEdit adds an insertion at the cursor to the undo step of the typing before it, as it
// does not for its own paste, and the only public way to end a step is moving the cursor.
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
        Clipboard::putCodes(selectedCodes(), QClipboard::Selection);
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
        if (const auto entered = rewritten(event, BoxText::Lines::Single)) {
            QLineEdit::keyPressEvent(entered.get());
            event->setAccepted(entered->isAccepted());
        } else {
            QLineEdit::keyPressEvent(event);
        }
        publishSelection();
        return;
    }
    event->accept();
}

void KeyBox::inputMethodEvent(QInputMethodEvent *event)
{
    if (const auto entered = rewritten(event, BoxText::Lines::Single)) {
        QLineEdit::inputMethodEvent(entered.get());
        event->setAccepted(entered->isAccepted());
    } else {
        QLineEdit::inputMethodEvent(event);
    }
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
    drag->setMimeData(Clipboard::mimeData(selectedCodes()));
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

TextBox::TextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    Clipboard::watchDrops();
    connect(document(), &QTextDocument::contentsChange, this, &TextBox::noteEdit);
    connect(this, &QPlainTextEdit::textChanged, this, &TextBox::finishEdit);
}

std::string TextBox::codes() const
{
    // toPlainText() would turn code 160 (no-break space) into a space; the raw text keeps
    // it and separates lines by U+2029, which reads back as CR LF.
    QString shown = document()->toRawText();
    // The codes are a function of the shown text alone, so the codes of the text read last
    // serve again while the box shows exactly that text: comparing costs a fraction of
    // converting, and the window reads the same box several times per keystroke.
    if (shown != m_lastShown) {
        m_lastCodes = BoxText::fromDisplay(shown, BoxText::Lines::Multi);
        m_lastShown = std::move(shown);
    }
    return m_lastCodes;
}

void TextBox::markUnit(std::optional<std::size_t> unit)
{
    if (unit)
        FailureNote::mark(this, codes(), *unit);
    else
        FailureNote::unmark(this);
}

void TextBox::setCodes(std::string_view codes)
{
    if (codes == this->codes())
        return;
    {
        // setPlainText() may signal more than once; the box raises its own single change.
        const QScopedValueRollback rewriting(m_rewriting, true);
        // QPlainTextEdit::setPlainText() lays a long line out twice (once to select the
        // whole text for its character format, once after), and so does the document's
        // own when it replaces the text of a block already laid out: the layout measures
        // the block's old rectangle, which lays the new text out, then lays it out again.
        // Cleared first, the text arrives in a fresh block, laid out once when shown. The
        // rest of what the widget's does follows: the cursor at the start, the view on it,
        // no undo history, the text not modified.
        QTextDocument *doc = document();
        doc->clear();
        doc->setPlainText(BoxText::toDisplay(codes, BoxText::Lines::Multi));
        setTextCursor(QTextCursor(doc));
        doc->setModified(false);
    }
    m_editFrom = m_editTo = -1;
    raiseChanged();
}

void TextBox::noteEdit(int position, int charsRemoved, int charsAdded)
{
    Q_UNUSED(charsRemoved);
    keepShapes(position, charsAdded);
    if (m_rewriting || m_composing)
        return;
    const int to = position + charsAdded;
    m_editFrom = m_editFrom < 0 ? position : std::min(m_editFrom, position);
    m_editTo = std::max(m_editTo, to);
}

// A box shows a long text on one line, and shaping a line's glyphs is most of what showing
// it costs. QTextLayout drops them after laying the line out, then shapes the whole line
// again for every paint and every cursor position; the blocks from POSITION to ADDED
// characters further keep them until their text changes. The document lays the changed
// blocks out only after this notification, so even that first shaping is kept.
void TextBox::keepShapes(int position, int charsAdded)
{
    const QTextDocument *doc = document();
    for (QTextBlock block = doc->findBlock(position);
         block.isValid() && block.position() <= position + charsAdded; block = block.next())
        block.layout()->setCacheEnabled(true);
}

// Ends a user's edit by raising the change once. Typed, composed and pasted text arrives
// already as the box shows it; whatever else inserted text is rewritten here, though that
// rewrite is a step of its own for undo.
void TextBox::finishEdit()
{
    if (m_rewriting || m_composing || m_editFrom < 0)
        return;
    QTextDocument *doc = document();
    const int end = std::max(doc->characterCount() - 1, 0); // the last block end is no text
    const int from = std::clamp(m_editFrom, 0, end);
    const int to = std::clamp(m_editTo, from, end);
    m_editFrom = m_editTo = -1;

    QTextCursor cursor(doc);
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    QString shown = cursor.selectedText();
    shown.replace(QChar::ParagraphSeparator, u'\n');
    const QString wanted = BoxText::typed(shown, BoxText::Lines::Multi);
    if (wanted != shown) {
        // Rewrite only what differs, so the user's cursor stays after the same text.
        qsizetype head = 0;
        while (head < shown.size() && head < wanted.size() && shown[head] == wanted[head])
            ++head;
        qsizetype tail = 0;
        while (tail < shown.size() - head && tail < wanted.size() - head &&
               shown[shown.size() - 1 - tail] == wanted[wanted.size() - 1 - tail])
            ++tail;
        cursor.setPosition(from + static_cast<int>(head));
        cursor.setPosition(from + static_cast<int>(shown.size() - tail), QTextCursor::KeepAnchor);
        const QScopedValueRollback rewriting(m_rewriting, true);
        cursor.joinPreviousEditBlock();
        cursor.insertText(wanted.mid(head, wanted.size() - head - tail));
        cursor.endEditBlock();
    }
    raiseChanged();
}

void TextBox::insertCodes(std::string_view codes)
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertText(BoxText::toDisplay(codes, BoxText::Lines::Multi));
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TextBox::pasteRaw()
{
    if (isReadOnly())
        return;
    if (const auto pasted = Clipboard::codes())
        insertCodes(*pasted);
}

void TextBox::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        pasteRaw();
        event->accept();
        return;
    }
    const bool isEnter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isEnter && (event->modifiers() & Qt::ShiftModifier)) {
        // Shift+Enter would insert a line separator inside the paragraph; every line break
        // of the box is CR LF, so it is Enter.
        QKeyEvent enter(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                        event->nativeScanCode(), event->nativeVirtualKey(),
                        event->nativeModifiers(), event->text(), event->isAutoRepeat(),
                        static_cast<quint16>(event->count()), event->device());
        QPlainTextEdit::keyPressEvent(&enter);
        event->setAccepted(enter.isAccepted());
    } else if (const auto entered = rewritten(event, BoxText::Lines::Multi)) {
        QPlainTextEdit::keyPressEvent(entered.get());
        event->setAccepted(entered->isAccepted());
    } else {
        QPlainTextEdit::keyPressEvent(event);
    }
}

void TextBox::inputMethodEvent(QInputMethodEvent *event)
{
    // Text being composed is shown in the box but is not its text yet. An event that starts
    // or changes a composition while text is selected removes the selection first, as
    // QPlainTextEdit does, and that is a change of the text.
    const QTextCursor cursor = textCursor();
    const bool removesSelection =
        cursor.hasSelection() &&
        event->preeditString() != cursor.block().layout()->preeditAreaText();
    const bool entersText =
        !event->commitString().isEmpty() || event->replacementLength() > 0 || removesSelection;
    const QScopedValueRollback composing(m_composing, !entersText);
    if (const auto entered = rewritten(event, BoxText::Lines::Multi)) {
        QPlainTextEdit::inputMethodEvent(entered.get());
        event->setAccepted(entered->isAccepted());
    } else {
        QPlainTextEdit::inputMethodEvent(event);
    }
}

void TextBox::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    redirect(menu, "edit-paste", this, &TextBox::pasteRaw);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

QMimeData *TextBox::createMimeDataFromSelection() const
{
    return Clipboard::mimeData(
        BoxText::fromDisplay(textCursor().selectedText(), BoxText::Lines::Multi));
}

bool TextBox::canInsertFromMimeData(const QMimeData *source) const
{
    return Clipboard::carriesText(source);
}

void TextBox::dropEvent(QDropEvent *event)
{
    dropExactly(event, [this](QDropEvent *drop) { QPlainTextEdit::dropEvent(drop); });
}

void TextBox::insertFromMimeData(const QMimeData *source)
{
    if (const auto dropped = Clipboard::codes(source))
        insertCodes(*dropped);
}
