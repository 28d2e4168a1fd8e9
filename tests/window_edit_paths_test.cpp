// SPDX-License-Identifier: GPL-3.0-or-later
// The edit paths where a box could part ways with what it signals or its undo history:
// pasting an empty text, composing over a selection, dropping, and dragging text out of the
// key box.

#include "clipboard.h"
#include "keybox.h"
#include "window_testing.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <string>

namespace {

enum class Way { CtrlV, Menu };

// Pastes into SHOWN by WAY.
void paste(const Shown &shown, Way way)
{
    if (way == Way::CtrlV) {
        QTest::keySequence(shown.widget.get(), QKeySequence::Paste);
        return;
    }
    QCOMPARE(triggerMenuEntry(shown.widget.get(), "edit-paste"), MenuEntry::Triggered);
}

} // namespace

class EditPathsTest : public QObject {
    Q_OBJECT
private slots:
    void shouldRaiseNothingPastingAnEmptyText_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<Way>("way");
        QTest::addColumn<bool>("ownFormat");
        for (const Kind kind : {Kind::Key, Kind::Text})
            for (const Way way : {Way::CtrlV, Way::Menu})
                for (const bool own : {true, false})
                    QTest::addRow("%s, %s, %s", kindName(kind),
                                  way == Way::CtrlV ? "Ctrl+V" : "menu",
                                  own ? "an empty box's copy" : "empty plain text")
                        << kind << way << own;
    }
    void shouldRaiseNothingPastingAnEmptyText()
    {
        QFETCH(Kind, kind);
        QFETCH(Way, way);
        QFETCH(bool, ownFormat);
        Shown shown(kind);
        shown.box->setCodes("kept");
        QSignalSpy changes = shown.spy();
        if (ownFormat)
            Clipboard::putCodes("");
        else
            QGuiApplication::clipboard()->setText(QString());
        QVERIFY(Clipboard::codes() == std::string());

        shown.placeCursorAtEnd();
        paste(shown, way);
        QCOMPARE(changes.count(), 0);
        QCOMPARE(shown.box->codes(), std::string("kept"));

        // Over a selection the empty text still removes it: that is a change.
        shown.select(1, 3);
        paste(shown, way);
        QCOMPARE(shown.box->codes(), std::string("kt"));
        QCOMPARE(changes.count(), 1);
    }

    // A dead key with text selected: the input method's first event removes the selection
    // while it shows the accent it composes; the second commits a letter or abandons.
    void shouldRaiseTheChangeOfACompositionOverASelection_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("committed");
        for (const Kind kind : {Kind::Key, Kind::Text})
            for (const bool committed : {true, false})
                QTest::addRow("%s, %s", kindName(kind), committed ? "committed" : "abandoned")
                    << kind << committed;
    }
    void shouldRaiseTheChangeOfACompositionOverASelection()
    {
        QFETCH(Kind, kind);
        QFETCH(bool, committed);
        Shown shown(kind);
        shown.box->setCodes("Saisie");
        shown.select(0, 3);
        QSignalSpy changes = shown.spy();

        QInputMethodEvent compose(QStringLiteral("\u00B4"), {});
        QApplication::sendEvent(shown.widget.get(), &compose);
        QCOMPARE(shown.box->codes(), std::string("sie"));
        QCOMPARE(changes.count(), 1);

        QInputMethodEvent end;
        if (committed)
            end.setCommitString(QStringLiteral("\u00E9"));
        QApplication::sendEvent(shown.widget.get(), &end);
        QCOMPARE(shown.box->codes(), committed ? std::string("\xE9sie") : std::string("sie"));
        QCOMPARE(changes.count(), committed ? 2 : 1);

        // With nothing selected a composition only shows until it is committed.
        QInputMethodEvent preedit(QStringLiteral("\u00B4"), {});
        QApplication::sendEvent(shown.widget.get(), &preedit);
        QInputMethodEvent abandon;
        QApplication::sendEvent(shown.widget.get(), &abandon);
        QCOMPARE(changes.count(), committed ? 2 : 1);
    }

    // Another instance's drop holds the codes twice; its plain text may have lost a final
    // code 0 on the way (X11) or had its line feeds rewritten (Windows).
    void shouldDropTheOwnFormatBeforeThePlainText_data() { addKinds(); }
    void shouldDropTheOwnFormatBeforeThePlainText()
    {
        QFETCH(Kind, kind);
        Shown shown(kind);
        shown.box->setCodes("");
        QSignalSpy changes = shown.spy();
        const std::string codes("x\n\r\x01\0", 5);
        QMimeData data;
        data.setText(QStringLiteral("x\r\n\r\n\u0001"));
        data.setData(QString::fromLatin1(Clipboard::CodesFormat), QByteArray::fromStdString(codes));
        shown.drop(data);
        QVERIFY2(shown.box->codes() == codes, printable(shown.box->codes()).constData());
        QCOMPARE(changes.count(), 1);
    }

    // A drop or a paste after typing is one step of the undo history, whatever it carries.
    void shouldUndoADropOrPasteInOneStep_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("way"); // 0 a drop in the own format, 1 a drop, 2 Ctrl+V
        QTest::addColumn<QByteArray>("entered");
        for (const Kind kind : {Kind::Key, Kind::Text}) {
            const char *box = kindName(kind);
            QTest::addRow("%s, drop of codes 1 and 2, own format", box)
                << kind << 0 << QByteArray("\x01\x02");
            QTest::addRow("%s, drop of codes 1 and 2, plain text", box)
                << kind << 1 << QByteArray("\x01\x02");
            QTest::addRow("%s, printable drop", box) << kind << 1 << QByteArray("ab");
            QTest::addRow("%s, paste of codes 1 and 2", box) << kind << 2 << QByteArray("\x01\x02");
        }
    }
    void shouldUndoADropOrPasteInOneStep()
    {
        QFETCH(Kind, kind);
        QFETCH(int, way);
        QFETCH(QByteArray, entered);
        const std::string codes = entered.toStdString();
        Shown shown(kind);
        shown.box->setCodes("");
        QTest::keyClicks(shown.widget.get(), "xy");
        if (way == 2) {
            Clipboard::putCodes(codes);
            paste(shown, Way::CtrlV);
        } else {
            QMimeData data;
            data.setText(rawReference(codes));
            if (way == 0)
                data.setData(QString::fromLatin1(Clipboard::CodesFormat), entered);
            shown.drop(data);
        }
        QVERIFY2(shown.box->codes() == "xy" + codes, printable(shown.box->codes()).constData());
        if (kind == Kind::Key) {
            // Typing after it is a step of its own too, as after QLineEdit's own paste (Qt's
            // multi-line edits add it to the paste's step).
            QTest::keyClicks(shown.widget.get(), "z");
            QTest::keySequence(shown.widget.get(), QKeySequence::Undo);
            QVERIFY2(shown.box->codes() == "xy" + codes, printable(shown.box->codes()).constData());
        }
        QTest::keySequence(shown.widget.get(), QKeySequence::Undo);
        QCOMPARE(shown.box->codes(), std::string("xy"));
        QTest::keySequence(shown.widget.get(), QKeySequence::Redo);
        QVERIFY(shown.box->codes() == "xy" + codes);
    }

    // Pressing on the selection and moving drags it. The offscreen platform ends a drag at
    // once, and the drag object lives on until the event loop runs again.
    void shouldDragRawCodesOutOfTheKeyBox()
    {
        KeyBox box;
        box.resize(300, 30);
        box.show();
        const std::string codes("a\0\r\n\x01\xE8z", 7);
        box.setCodes(codes);
        box.selectAll();
        // A point on the fourth code, well inside the selection.
        QPoint on(0, box.height() / 2);
        while (on.x() < box.width() && box.cursorPositionAt(on) < 4)
            on.rx() += 1;
        on.rx() -= 2;

        QTest::mousePress(&box, Qt::LeftButton, Qt::NoModifier, on);
        for (int step = 1; step <= 4; ++step) {
            const QPoint to = on + QPoint(0, 8 * step);
            QMouseEvent move(QEvent::MouseMove, to, box.mapToGlobal(to), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&box, &move);
        }
        const auto *drag = box.findChild<QDrag *>();
        QVERIFY2(drag && drag->mimeData(), "no drag started");
        QCOMPARE(drag->mimeData()->text(), rawReference(codes));
        QCOMPARE(drag->mimeData()->data(QString::fromLatin1(Clipboard::CodesFormat)),
                 QByteArray::fromStdString(codes));
        QTest::mouseRelease(&box, Qt::LeftButton, Qt::NoModifier, on);
        QVERIFY(box.codes() == codes);
    }
};

QTEST_MAIN(EditPathsTest)
#include "window_edit_paths_test.moc"
