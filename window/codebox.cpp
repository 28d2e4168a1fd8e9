// SPDX-License-Identifier: GPL-3.0-or-later
#include "codebox.h"

#include "clipboard.h"

#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>

#include <algorithm>
#include <memory>

namespace {

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

template <typename Event, typename Enter>
void enterRewritten(Event *event, BoxText::Lines lines, const Enter &enter)
{
    if (const auto entered = rewritten(event, lines)) {
        enter(entered.get());
        event->setAccepted(entered->isAccepted());
    } else {
        enter(event);
    }
}

} // namespace

CodeBox::CodeBox()
{
    Clipboard::watchDrops();
}

void CodeBox::enterTyped(QKeyEvent *event, BoxText::Lines lines,
                         const std::function<void(QKeyEvent *)> &enter)
{
    enterRewritten(event, lines, enter);
}

void CodeBox::enterTyped(QInputMethodEvent *event, BoxText::Lines lines,
                         const std::function<void(QInputMethodEvent *)> &enter)
{
    enterRewritten(event, lines, enter);
}

void CodeBox::dropAs(QDropEvent *event, const QMimeData *data,
                     const std::function<void(QDropEvent *)> &drop)
{
    QDropEvent copy(event->position(), event->possibleActions(), data, event->buttons(),
                    event->modifiers(), event->type());
    copy.setDropAction(event->dropAction());
    drop(&copy);
    event->setDropAction(copy.dropAction());
    event->setAccepted(copy.isAccepted());
}

void CodeBox::dropExactly(QDropEvent *event, const std::function<void(QDropEvent *)> &drop)
{
    if (const auto exact = Clipboard::exactDrop(event))
        dropAs(event, exact.get(), drop);
    else
        drop(event);
}
