// SPDX-License-Identifier: GPL-3.0-or-later
#include "textbox.h"

#include "clipboard.h"
#include "rows.h"

#include <QClipboard>
#include <QColor>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>
#include <cstdlib>

namespace {

// Whether each character of TEXT, lines apart, reads as one code. So are the box's own texts;
// text entered otherwise may not be until the box rewrites it: a character outside the BMP,
// a line separator.
bool oneCodePerCharacter(QStringView text)
{
    return std::none_of(text.begin(), text.end(),
                        [](QChar c) { return c.isSurrogate() || c == QChar::LineSeparator; });
}

} // namespace

TextBox::TextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChange, this, &TextBox::noteEdit);
    connect(this, &QPlainTextEdit::textChanged, this, &TextBox::finishEdit);
}

std::string TextBox::codes() const
{
    return held();
}

const std::string &TextBox::held() const
{
    // The codes read last serve until the document changes: the window reads the same box
    // several times per keystroke, and a long text costs its length to read.
    if (m_stale) {
        const QString shown = Rows::text(document());
        m_lastCodes = BoxText::fromDisplay(shown, BoxText::Lines::Multi);
        m_stale = false;
        m_oneCodePerCharacter = oneCodePerCharacter(shown);
        m_heldBlocks = document()->blockCount();
    }
    return m_lastCodes;
}

void TextBox::markUnit(std::optional<std::size_t> unit)
{
    // Underlined red and wavy, as spell checkers mark a word; neither the text, its undo
    // history nor the cursor changes.
    if (!unit) {
        if (!extraSelections().isEmpty())
            setExtraSelections({});
        return;
    }
    const int at =
        Rows::position(document(), BoxText::displayIndex(codes(), *unit, BoxText::Lines::Multi));
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(document());
    selection.cursor.setPosition(at);
    selection.cursor.setPosition(at + 1, QTextCursor::KeepAnchor);
    selection.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    selection.format.setUnderlineColor(Qt::red);
    setExtraSelections({selection});
}

void TextBox::setCodes(std::string_view codes)
{
    const std::string &old = held();
    if (codes == old)
        return;
    // The codes both texts start and end with, no line break cut in two.
    const std::size_t shortest = std::min(old.size(), codes.size());
    std::size_t head =
        std::mismatch(codes.begin(), codes.begin() + shortest, old.begin()).first - codes.begin();
    while (head > 0 && old[head - 1] == '\r')
        --head;
    std::size_t tail = 0;
    while (tail < shortest - head && old[old.size() - 1 - tail] == codes[codes.size() - 1 - tail])
        ++tail;
    while (tail > 0 && old[old.size() - tail] == '\n')
        --tail;
    {
        // setPlainText() may signal more than once; the box raises its own single change.
        const QScopedValueRollback rewriting(m_rewriting, true);
        // In place of QPlainTextEdit::setPlainText(), which lays a row out twice (Qt 6.4), and
        // does what it does besides: the cursor at the start, the view on it, no undo
        // history, the text not modified.
        QTextDocument *doc = document();
        constexpr auto Multi = BoxText::Lines::Multi;
        if (head + tail > codes.size() / 2) {
            // Mostly the text the box holds (a decoding after a keystroke at the end of a code
            // text): only what differs changes, and the rows around it keep their layout.
            Rows::replace(
                doc, BoxText::displayIndex(old, head, Multi),
                BoxText::displayIndex(old, old.size() - tail, Multi),
                BoxText::toDisplay(codes.substr(head, codes.size() - head - tail), Multi));
        } else {
            Rows::setText(doc, BoxText::toDisplay(codes, Multi));
        }
        setTextCursor(QTextCursor(doc));
        doc->setModified(false);
    }
    m_lastCodes = codes;
    m_stale = false;
    m_oneCodePerCharacter = true;
    m_heldBlocks = document()->blockCount();
    m_anchorBlock = -1;
    m_editFrom = m_editTo = -1;
    raiseChanged();
}

void TextBox::noteEdit(int position, int charsRemoved, int charsAdded)
{
    if (!m_enteringLines || m_rewriting || !carry(position, charsRemoved, charsAdded)) {
        m_stale = true;
        m_anchorBlock = -1;
    }
    keepShapes(position, charsAdded);
    if (m_rewriting || m_composing)
        return;
    const int to = position + charsAdded;
    m_editFrom = m_editFrom < 0 ? position : std::min(m_editFrom, position);
    m_editTo = std::max(m_editTo, to);
}

bool TextBox::carry(int position, int charsRemoved, int charsAdded)
{
    // A keystroke's edit: no block broken or joined, which would change the codes between
    // rows or lines, and no change of a format alone, which may be a row's.
    constexpr int Small = 64;
    const QTextDocument *doc = document();
    if (m_stale || !m_oneCodePerCharacter || charsRemoved == charsAdded || charsRemoved > Small ||
        charsAdded > Small || doc->blockCount() != m_heldBlocks)
        return false;
    const QTextBlock block = doc->findBlock(position);
    const int offset = position - block.position();
    if (offset + charsAdded > block.length() - 1)
        return false;
    const QString added = block.text().mid(offset, charsAdded);
    if (!oneCodePerCharacter(added))
        return false;
    const auto removed = static_cast<std::size_t>(charsRemoved);
    // An edit before the block whose first code is known moves that code.
    if (m_anchorBlock > block.blockNumber())
        m_anchorCode = m_anchorCode + static_cast<std::size_t>(charsAdded) - removed;
    const std::size_t total = m_lastCodes.size() + static_cast<std::size_t>(charsAdded) - removed;
    const std::size_t at = codeStart(block, total) + static_cast<std::size_t>(offset);
    if (at + removed > m_lastCodes.size())
        return false;
    m_lastCodes.replace(at, removed, BoxText::fromDisplay(added, BoxText::Lines::Multi));
    return true;
}

std::size_t TextBox::codeStart(const QTextBlock &block, std::size_t total)
{
    // Walked from the nearest block whose first code is known: the document's start, its end
    // (TOTAL codes) or where the last carried edit was, so that typing in one place, or at the
    // end, walks nothing.
    const QTextDocument *doc = document();
    const int target = block.blockNumber();
    const int end = doc->blockCount();
    int number = 0;
    std::size_t code = 0;
    if (m_anchorBlock >= 0 && std::abs(m_anchorBlock - target) < target) {
        number = m_anchorBlock;
        code = m_anchorCode;
    }
    if (end - target < std::abs(number - target)) {
        number = end;
        code = total;
    }
    QTextBlock walked = number < end ? doc->findBlockByNumber(number) : QTextBlock();
    // The codes of a block and of the break after it: none between rows, CR LF between lines.
    const auto codes = [](const QTextBlock &b) {
        const QTextBlock next = b.next();
        return static_cast<std::size_t>(b.length() - 1) +
               (next.isValid() && !Rows::continuesLine(next) ? 2 : 0);
    };
    for (; number < target; ++number, walked = walked.next())
        code += codes(walked);
    for (; number > target; --number) {
        walked = number == end ? doc->lastBlock() : walked.previous();
        code -= codes(walked);
    }
    m_anchorBlock = target;
    m_anchorCode = code;
    return code;
}

// A box shows a long text on one line, and shaping a line's glyphs is most of what showing
// it costs. QTextLayout (Qt 6.4) drops them after laying the line out, then shapes the whole line
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
    int to = std::clamp(m_editTo, from, end);
    m_editFrom = m_editTo = -1;

    const bool insertedRows = std::exchange(m_insertedRows, false);
    const bool breaksRows = Rows::breaksRows(doc, from, to);
    {
        const QScopedValueRollback rewriting(m_rewriting, true);
        QTextCursor cursor(doc);
        // Joined to the user's edit only when something changes: an empty joined block would
        // keep the next character typed from merging with this one for undo.
        bool joined = false;
        const auto join = [&cursor, &joined] {
            if (!std::exchange(joined, true))
                cursor.joinPreviousEditBlock();
        };
        if (m_enteringLines && breaksRows) {
            join();
            Rows::enterLines(cursor, from, to);
        }
        // Text inserted as codes is shown as it should be already; row breaks in what the user
        // did not type came back with an undo, in text that was shown so before.
        if (!insertedRows && (m_enteringLines || !breaksRows)) {
            const QString shown = Rows::text(doc, from, to);
            const QString wanted = BoxText::typed(shown, BoxText::Lines::Multi);
            if (wanted != shown) {
                join();
                to = rewrite(cursor, from, shown, wanted);
            }
        }
        // An undo or a redo brings back rows as they were.
        if ((m_enteringLines || insertedRows) && Rows::unsettled(doc, from, to)) {
            join();
            Rows::settle(cursor, from, to);
        }
        if (joined)
            cursor.endEditBlock();
    }
    raiseChanged();
}

int TextBox::rewrite(QTextCursor &cursor, int from, const QString &shown, const QString &wanted)
{
    // Only what differs, so the user's cursor stays after the same text.
    qsizetype head = 0;
    while (head < shown.size() && head < wanted.size() && shown[head] == wanted[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shown.size() - head && tail < wanted.size() - head &&
           shown[shown.size() - 1 - tail] == wanted[wanted.size() - 1 - tail])
        ++tail;
    cursor.setPosition(from + static_cast<int>(head));
    cursor.setPosition(from + static_cast<int>(shown.size() - tail), QTextCursor::KeepAnchor);
    cursor.insertText(wanted.mid(head, wanted.size() - head - tail));
    // Line breaks in the text written take the format of the row they split.
    const int to = from + static_cast<int>(wanted.size());
    Rows::enterLines(cursor, from, to);
    return to;
}

void TextBox::insertCodes(std::string_view codes)
{
    QTextCursor cursor = textCursor();
    const QString replaced = Rows::text(document(), cursor.selectionStart(), cursor.selectionEnd());
    if (!admits(BoxText::fromDisplay(replaced, BoxText::Lines::Multi).size(), codes.size()))
        return;
    cursor.beginEditBlock();
    m_insertedRows = true;
    Rows::insert(cursor, BoxText::toDisplay(codes, BoxText::Lines::Multi));
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

bool TextBox::insertArmored(const QMimeData *source)
{
    m_insertedArmor = false;
    if (!m_readArmor || !source || !source->hasText())
        return false;
    const auto entry = m_readArmor(source->text());
    if (!entry)
        return false;
    m_insertedArmor = true;
    if (!entry->refused)
        insertCodes(entry->codes);
    return true;
}

void TextBox::pasteRaw()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (isReadOnly() || insertArmored(clipboard ? clipboard->mimeData() : nullptr))
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
    const bool undoing = event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo);
    const QScopedValueRollback entering(m_enteringLines, !undoing);
    // Backspace by its key, as QPlainTextEdit takes it (Qt 6.4).
    const bool backspace =
        event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier);
    if (event->matches(QKeySequence::MoveToPreviousChar) || backspace)
        stepOverRowBreak(-1, QTextCursor::MoveAnchor);
    else if (event->matches(QKeySequence::SelectPreviousChar))
        stepOverRowBreak(-1, QTextCursor::KeepAnchor);
    else if (event->matches(QKeySequence::MoveToNextChar) || event->matches(QKeySequence::Delete))
        stepOverRowBreak(1, QTextCursor::MoveAnchor);
    else if (event->matches(QKeySequence::SelectNextChar))
        stepOverRowBreak(1, QTextCursor::KeepAnchor);

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
    } else {
        enterTyped(event, BoxText::Lines::Multi,
                   [this](QKeyEvent *entered) { QPlainTextEdit::keyPressEvent(entered); });
    }
}

void TextBox::stepOverRowBreak(int direction, QTextCursor::MoveMode mode)
{
    // Between two rows of a line the cursor has two places for one position of the text:
    // going on from either is one step, and deleting removes a character, not the row break.
    QTextCursor cursor = textCursor();
    if (mode == QTextCursor::MoveAnchor && cursor.hasSelection())
        return;
    const QTextBlock block = cursor.block();
    const bool atBreak = direction < 0 ? cursor.atBlockStart() && Rows::continuesLine(block)
                                       : cursor.atBlockEnd() && block.next().isValid() &&
                                             Rows::continuesLine(block.next());
    if (!atBreak)
        return;
    cursor.setPosition(cursor.position() + direction, mode);
    setTextCursor(cursor);
}

void TextBox::inputMethodEvent(QInputMethodEvent *event)
{
    // Text being composed is shown in the box but is not its text yet. An event that starts
    // or changes a composition while text is selected removes the selection first, as
    // QPlainTextEdit does (Qt 6.4), and that is a change of the text.
    const QTextCursor cursor = textCursor();
    const bool removesSelection =
        cursor.hasSelection() &&
        event->preeditString() != cursor.block().layout()->preeditAreaText();
    const bool entersText =
        !event->commitString().isEmpty() || event->replacementLength() > 0 || removesSelection;
    const QScopedValueRollback composing(m_composing, !entersText);
    const QScopedValueRollback entering(m_enteringLines, true);
    enterTyped(event, BoxText::Lines::Multi,
               [this](QInputMethodEvent *entered) { QPlainTextEdit::inputMethodEvent(entered); });
}

void TextBox::contextMenuEvent(QContextMenuEvent *event)
{
    // Its Paste goes through insertFromMimeData(), its Copy and Cut through
    // createMimeDataFromSelection(), like the keys; the actions given to the box follow.
    QMenu *menu = createStandardContextMenu();
    if (!actions().isEmpty()) {
        menu->addSeparator();
        menu->addActions(actions());
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

QMimeData *TextBox::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    const QString shown = Rows::text(document(), cursor.selectionStart(), cursor.selectionEnd());
    return Clipboard::mimeData(BoxText::fromDisplay(shown, BoxText::Lines::Multi), secret());
}

bool TextBox::canInsertFromMimeData(const QMimeData *source) const
{
    return Clipboard::carriesText(source);
}

void TextBox::dropEvent(QDropEvent *event)
{
    m_insertedArmor = false;
    dropExactly(event, [this](QDropEvent *drop) { QPlainTextEdit::dropEvent(drop); });
    // An armored text is only copied: a damaged one enters nothing, and its source keeps it.
    if (m_insertedArmor)
        event->setDropAction(Qt::CopyAction);
}

void TextBox::insertFromMimeData(const QMimeData *source)
{
    if (insertArmored(source))
        return;
    if (const auto dropped = Clipboard::codes(source))
        insertCodes(*dropped);
}
