// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Fixtures and functions shared by the window's Qt tests.

#include "codepage.h"
#include "keybox.h"
#include "kormain.h"
#include "textbox.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRect>
#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <QTextCursor>

#include <algorithm>
#include <memory>
#include <string>

// Where each control stands, in twips (left, top, width, height) from the client area's
// top-left corner, in a client area of 9330 x 4245 twips.
struct ControlPlace {
    const char *name;
    QRect twips;
};

inline constexpr ControlPlace ControlPlaces[] = {
    {"txt0", {120, 120, 7215, 285}},    {"ctr0", {7560, 120, 615, 255}},
    {"Copie0", {8520, 120, 735, 375}},  {"txt1", {120, 600, 8295, 1695}},
    {"ctr1", {8520, 1560, 615, 255}},   {"Copie1", {8520, 1920, 735, 375}},
    {"txt2", {120, 2400, 8295, 1695}},  {"ctr2", {8520, 3360, 615, 255}},
    {"Copie2", {8520, 3720, 735, 375}},
};

// Shows WINDOW and makes it the active window, as shortcuts need; false when it never gets
// active.
inline bool showActive(QWidget *window)
{
    window->show();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

// CODES in hex, for failure messages.
inline QByteArray printable(const std::string &codes)
{
    return QByteArray::fromStdString(codes).toHex(' ');
}

// The clipboard form of CODES, built from the code page alone: each code its character.
inline QString rawReference(const std::string &codes)
{
    QString raw;
    for (const char code : codes)
        raw.append(
            QChar(static_cast<char16_t>(CodePage::toUnicode(static_cast<unsigned char>(code)))));
    return raw;
}

// Types CHARACTER as one key press carrying it as text, as a keyboard layout would.
inline void typeCharacter(QWidget *widget, char32_t character)
{
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString::fromUcs4(&character, 1),
                        Qt::NoModifier);
}

// What triggerMenuEntry() found.
enum class MenuEntry { Missing, Disabled, Triggered };

// Opens BOX's context menu as a right click would; null when none opens. Close it after use.
inline QMenu *openContextMenu(QWidget *box)
{
    QWidget *target = box;
    if (auto *editor = qobject_cast<QAbstractScrollArea *>(box))
        target = editor->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            target->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(target, &event);
    return qobject_cast<QMenu *>(QApplication::activePopupWidget());
}

// Opens BOX's context menu as a right click would, triggers its entry NAME when that is
// enabled, and closes the menu.
inline MenuEntry triggerMenuEntry(QWidget *box, const char *name)
{
    QMenu *menu = openContextMenu(box);
    if (!menu)
        return MenuEntry::Missing;
    const QList<QAction *> entries = menu->actions();
    const auto named = std::find_if(entries.begin(), entries.end(), [name](const QAction *entry) {
        return entry->objectName() == QLatin1String(name);
    });
    QAction *action = named == entries.end() ? nullptr : *named;
    MenuEntry found = MenuEntry::Missing;
    if (action && action->isEnabled()) {
        action->trigger();
        found = MenuEntry::Triggered;
    } else if (action) {
        found = MenuEntry::Disabled;
    }
    menu->close();
    return found;
}

// A test whose every case has a KorMain of its own, shown and exposed, deleted after it.
class WindowTest : public QObject {
    Q_OBJECT
protected:
    std::unique_ptr<KorMain> m_window;

private slots:
    void init()
    {
        m_window = std::make_unique<KorMain>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }
};

// The two kinds of box.
enum class Kind { Key, Text };
Q_DECLARE_METATYPE(Kind)

inline const char *kindName(Kind kind)
{
    return kind == Kind::Key ? "key box" : "multi-line box";
}

// A data column "kind" with a row for each kind of box.
inline void addKinds()
{
    QTest::addColumn<Kind>("kind");
    for (const Kind kind : {Kind::Key, Kind::Text})
        QTest::newRow(kindName(kind)) << kind;
}

// A box of KIND alone in a window of its own: shown, active and focused.
struct Shown {
    std::unique_ptr<QWidget> widget;
    CodeBox *box = nullptr;

    explicit Shown(Kind kind)
    {
        if (kind == Kind::Key) {
            auto *key = new KeyBox;
            widget.reset(key);
            box = key;
        } else {
            auto *text = new TextBox;
            widget.reset(text);
            box = text;
        }
        widget->show();
        widget->activateWindow();
        widget->setFocus();
    }

    // A spy on the box's changed(), counting from now.
    [[nodiscard]] QSignalSpy spy() const
    {
        return QSignalSpy(box->changes(), &BoxChanges::changed);
    }

    // The text as the widget shows it.
    [[nodiscard]] QString shownText() const
    {
        if (auto *line = qobject_cast<QLineEdit *>(widget.get()))
            return line->text();
        return qobject_cast<TextBox *>(widget.get())->document()->toRawText();
    }

    // Selects the codes FROM to TO of the box's text.
    void select(int from, int to) const
    {
        if (auto *line = qobject_cast<QLineEdit *>(widget.get())) {
            line->setSelection(from, to - from);
            return;
        }
        auto *text = qobject_cast<TextBox *>(widget.get());
        QTextCursor cursor = text->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        text->setTextCursor(cursor);
    }

    void placeCursorAtEnd() const
    {
        if (auto *line = qobject_cast<QLineEdit *>(widget.get()))
            line->end(false);
        else
            qobject_cast<TextBox *>(widget.get())->moveCursor(QTextCursor::End);
    }

    // Drops DATA in the middle of the box, as a drag from elsewhere would.
    void drop(QMimeData &data) const
    {
        QWidget *target = widget.get();
        if (auto *area = qobject_cast<QAbstractScrollArea *>(target))
            target = area->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
    }
};
