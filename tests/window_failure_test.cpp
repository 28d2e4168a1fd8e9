// SPDX-License-Identifier: GPL-3.0-or-later
// How the window shows why a code text gives "Erreur" (the reasons themselves are the boxes'
// behaviour, tested on its own): the plain box's tooltip and description name the reason, the
// code box underlines the unit at fault, and both go when a decoding succeeds. Driven through
// the real window.

#include "boxtext.h"
#include "failuretext.h"
#include "kormain.h"
#include "modcodeur.h"
#include "rows.h"
#include "textbox.h"
#include "window_testing.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolTip>

#include <memory>
#include <string>

using ModCodeur::DecodeFailure;

namespace {

struct Window {
    std::unique_ptr<KorMain> window = std::make_unique<KorMain>();
    TextBox *plain = window->findChild<TextBox *>(QStringLiteral("txt1"));
    TextBox *code = window->findChild<TextBox *>(QStringLiteral("txt2"));
    QString usualDescription = plain->accessibleDescription();

    Window() { window->show(); }

    // The (start, end) of the code box's one marked range, or (-1, -1) when none is marked.
    std::pair<int, int> marked() const
    {
        const auto selections = code->extraSelections();
        if (selections.isEmpty())
            return {-1, -1};
        const QTextCharFormat &format = selections.first().format;
        if (selections.size() != 1 || format.underlineStyle() != QTextCharFormat::WaveUnderline ||
            format.underlineColor() != QColor(Qt::red))
            return {-2, -2};
        const QTextCursor &cursor = selections.first().cursor;
        return {cursor.selectionStart(), cursor.selectionEnd()};
    }

    bool showsNoFailure() const
    {
        return plain->toolTip().isEmpty() && plain->accessibleDescription() == usualDescription &&
               marked() == std::pair(-1, -1);
    }
};

} // namespace

class WindowFailureTest : public QObject {
    Q_OBJECT

private slots:
    void shouldSayWhyAndMarkTheUnit_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("codes");
        QTest::addColumn<int>("failure");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("markedAt"); // display index of the underlined character
        const auto row = [](const char *name, QByteArray key, QByteArray codes, DecodeFailure f,
                            int unit, int markedAt) {
            QTest::newRow(name) << key << codes << static_cast<int>(f) << unit << markedAt;
        };
        row("start outside the key", "Tesk", "\x09\x80", DecodeFailure::StartOutsideKey, 0, 0);
        row("escape cut short", "Tesk", "\x01\x01\x41", DecodeFailure::EscapeCutShort, 3, 2);
        // Units 1 and 2 are a line break, one character in the box.
        row("after a line break", QByteArray("\x07\x07"), "\x01\r\n\x06\xFF\x01",
            DecodeFailure::EscapeAbove255, 4, 3);
        // The code box shows a line this long as several rows.
        row("rows on", "AB", QByteArray(1, '\0') + QByteArray(9000, 'z') + " ",
            DecodeFailure::BelowKey, 9001, 9001);
    }

    void shouldSayWhyAndMarkTheUnit()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, codes);
        QFETCH(int, failure);
        QFETCH(int, unit);
        QFETCH(int, markedAt);
        const auto decoded = ModCodeur::decode(codes.toStdString(), key.toStdString());
        QCOMPARE(static_cast<int>(decoded.failure), failure);
        QCOMPARE(decoded.unit, static_cast<std::size_t>(unit));

        Window w;
        w.window->setText(KorMain::Key, key.toStdString());
        w.window->setText(KorMain::Code, codes.toStdString());
        QCOMPARE(w.window->text(KorMain::Plain), std::string(ModCodeur::Erreur));
        const QString why = QString::fromStdString(FailureText::why(decoded.failure, decoded.unit));
        QVERIFY(why.contains(QStringLiteral("Unité %1 :").arg(unit)));
        QCOMPARE(w.plain->toolTip(), why);
        QVERIFY(w.plain->accessibleDescription().contains(why));
        const auto [start, end] = w.marked();
        QCOMPARE(end - start, 1);
        QCOMPARE(Rows::text(w.code->document(), 0, start).size(), markedAt);

        w.window->setText(KorMain::Code, "");
        QVERIFY(w.showsNoFailure());
    }

    // A paste past a box's limit enters nothing in any box, and the box's tooltip says why.
    void shouldRefuseAPastePastTheLimit_data()
    {
        QTest::addColumn<int>("box");
        for (const int box : {KorMain::Key, KorMain::Plain, KorMain::Code})
            QTest::addRow("box %d", box) << box;
    }
    void shouldRefuseAPastePastTheLimit()
    {
        QFETCH(int, box);
        Window w;
        w.window->setText(KorMain::Key, "Tesk");
        w.window->setText(KorMain::Plain, "garde");
        const std::array before = {w.window->text(0), w.window->text(1), w.window->text(2)};
        QWidget *target = w.window->findChild<QWidget *>(QStringLiteral("txt%1").arg(box));
        QGuiApplication::clipboard()->setText(QString(Boxes::Limit + 1, u'w'));
        QTest::keySequence(target, QKeySequence::Paste);
        QCOMPARE((std::array{w.window->text(0), w.window->text(1), w.window->text(2)}), before);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QString::fromStdString(FailureText::tooLong(Boxes::Limit)));
        QVERIFY(QToolTip::text().contains(QStringLiteral("codetarvo-cli")));
    }

    // Typing a failing unit marks it without moving the cursor or touching the history;
    // undoing it decodes again and takes the mark away.
    void shouldMarkATypedUnitAndUnmarkOnSuccess()
    {
        Window w;
        w.window->setText(KorMain::Key, "Tesk");
        w.window->setText(KorMain::Code, "\x01zz");
        QVERIFY(w.showsNoFailure());
        w.code->setFocus();
        w.code->moveCursor(QTextCursor::End);
        const int steps = w.code->document()->availableUndoSteps();
        typeCharacter(w.code, U' ');
        QCOMPARE(w.window->text(KorMain::Code), std::string("\x01zz "));
        QCOMPARE(w.window->text(KorMain::Plain), std::string(ModCodeur::Erreur));
        QCOMPARE(w.marked(), std::pair(3, 4));
        QCOMPARE(w.code->textCursor().position(), 4);
        QVERIFY(!w.code->textCursor().hasSelection());
        QCOMPARE(w.code->document()->availableUndoSteps(), steps + 1); // the typing alone

        QTest::keyClick(w.code, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.window->text(KorMain::Code), std::string("\x01zz"));
        QCOMPARE(w.window->text(KorMain::Plain), ModCodeur::Decoder("\x01zz", "Tesk"));
        QVERIFY(w.showsNoFailure());
    }
};

QTEST_MAIN(WindowFailureTest)
#include "window_failure_test.moc"
