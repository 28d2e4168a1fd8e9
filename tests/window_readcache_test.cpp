// SPDX-License-Identifier: GPL-3.0-or-later
// A text box keeps the codes of the text it read last. Every way its text can change must
// make the next read see the new text: each read is checked against a conversion of the
// box's raw text done here afresh, after edits of every kind and after random sequences.

#include "boxtext.h"
#include "rows.h"
#include "textbox.h"
#include "window_testing.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <random>
#include <string>

namespace {

// The codes of BOX's text converted here, without the box's own reading.
std::string freshCodes(const TextBox &box)
{
    return BoxText::fromDisplay(box.document()->toRawText(), BoxText::Lines::Multi);
}

// Reads BOX twice (the second read may come from what the first kept) and checks both.
#define CHECK_READS(box)                                                                           \
    do {                                                                                           \
        const std::string fresh = freshCodes(box);                                                 \
        QCOMPARE(printable((box).codes()), printable(fresh));                                      \
        QCOMPARE(printable((box).codes()), printable(fresh));                                      \
    } while (false)

void moveTo(TextBox &box, int position, int anchor = -1)
{
    QTextCursor cursor = box.textCursor();
    cursor.setPosition(anchor < 0 ? position : anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    box.setTextCursor(cursor);
}

} // namespace

class WindowReadCacheTest : public QObject {
    Q_OBJECT

private slots:
    void shouldReadEveryKindOfEdit()
    {
        TextBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.setFocus();

        box.setCodes("abc");
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("abc"));

        // Typed at the end, then the same length: one character replaced by another.
        box.moveCursor(QTextCursor::End);
        QTest::keyClick(&box, Qt::Key_D);
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("abcd"));
        moveTo(box, 2, 1);
        QTest::keyClick(&box, Qt::Key_X);
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("axcd"));

        // A line break, a deletion, a control code typed as its picture.
        QTest::keyClick(&box, Qt::Key_Return);
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("ax\r\ncd"));
        QTest::keyClick(&box, Qt::Key_Backspace);
        CHECK_READS(box);
        typeCharacter(&box, 0x2400 + 7);
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("ax\acd"));

        // Undo and redo.
        QTest::keySequence(&box, QKeySequence::Undo);
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("axcd"));
        QTest::keySequence(&box, QKeySequence::Redo);
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("ax\acd"));

        // Pasted, cut, and committed by an input method.
        QGuiApplication::clipboard()->setText(QStringLiteral("PQ"));
        box.moveCursor(QTextCursor::End);
        QTest::keySequence(&box, QKeySequence::Paste);
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("ax\acdPQ"));
        moveTo(box, 0, 2);
        QTest::keySequence(&box, QKeySequence::Cut);
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("\acdPQ"));
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("\u00e9"));
        QApplication::sendEvent(&box, &commit);
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("\xE9\acdPQ"));

        // Assigned by the box and by the widget's and the document's own functions.
        box.setCodes("same size");
        CHECK_READS(box);
        box.setCodes("SAME SIZE");
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("SAME SIZE"));
        box.setPlainText(QStringLiteral("SAME SIZ\u00c9"));
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string("SAME SIZ\xC9"));
        box.document()->setPlainText(QStringLiteral("x"));
        CHECK_READS(box);
        box.insertPlainText(QStringLiteral("y"));
        CHECK_READS(box);
        box.clear();
        CHECK_READS(box);
        QCOMPARE(box.codes(), std::string());
    }

    void shouldReadRandomEditSequences()
    {
        TextBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.setFocus();
        std::mt19937 rng(31337); // fixed seed, so a failure reproduces
        // The last two enter as other text than typed: '?' and a line break.
        const char32_t letters[] = {u'a',      u'b', u'\u00e9',     u'\u2401',
                                    u'\u2421', u' ', U'\U0001F600', u'\u2028'};
        QString done;
        for (int step = 0; step < 600; ++step) {
            const int length = box.document()->characterCount() - 1;
            const int at = static_cast<int>(rng() % static_cast<unsigned>(length + 1));
            const int other = static_cast<int>(rng() % static_cast<unsigned>(length + 1));
            const unsigned op = rng() % 9;
            done += QString::number(op) + u' ';
            switch (op) {
            case 0:
            case 1: // one character typed, over a selection or not
                moveTo(box, at, op == 0 ? -1 : other);
                typeCharacter(&box, letters[rng() % std::size(letters)]);
                break;
            case 2:
                moveTo(box, at, other);
                QTest::keyClick(&box, Qt::Key_Delete);
                break;
            case 3:
                moveTo(box, at);
                QTest::keyClick(&box, Qt::Key_Return);
                break;
            case 4:
                QTest::keySequence(&box, QKeySequence::Undo);
                break;
            case 5:
                QTest::keySequence(&box, QKeySequence::Redo);
                break;
            case 6:
                QGuiApplication::clipboard()->setText(
                    QString(static_cast<qsizetype>(rng() % 4),
                            QChar(static_cast<char16_t>(letters[rng() % 3]))));
                moveTo(box, at, other);
                QTest::keySequence(&box, QKeySequence::Paste);
                break;
            case 7: { // an assignment of a text as long as the box's, differing in one code
                std::string codes = box.codes();
                if (!codes.empty())
                    codes[rng() % codes.size()] ^= 1;
                box.setCodes(codes);
                break;
            }
            default:
                // A read between two reads changes nothing.
                QCOMPARE(printable(box.codes()), printable(freshCodes(box)));
                break;
            }
            const std::string fresh = freshCodes(box);
            QVERIFY2(box.codes() == fresh, qPrintable(QStringLiteral("after operations ") + done));
        }
    }

    // A line longer than a row is held as several rows; edited by the keyboard, it behaves as
    // the same line in a bare QPlainTextEdit, which holds it whole: the same codes, the same
    // cursor, the same text copied, over random edits around the rows' ends.
    void shouldEditLongLinesAsABareTextEditDoes_data()
    {
        QTest::addColumn<int>("lineBreak");
        QTest::newRow("one line") << -1;
        // Lines before and after the place edited, which a box finds from its text's start
        // or end.
        QTest::newRow("three lines") << Rows::RowLength / 2;
    }

    void shouldEditLongLinesAsABareTextEditDoes()
    {
        QFETCH(int, lineBreak);
        TextBox box;
        QPlainTextEdit bare;
        bare.setLineWrapMode(QPlainTextEdit::NoWrap);
        std::mt19937 rng(4096); // fixed seed, so a failure reproduces
        std::string codes(2 * Rows::RowLength + 50, 'a');
        for (char &c : codes)
            c = static_cast<char>('a' + rng() % 3);
        if (lineBreak >= 0) {
            codes.replace(static_cast<std::size_t>(lineBreak), 2, "\r\n");
            codes.replace(codes.size() - static_cast<std::size_t>(lineBreak), 2, "\r\n");
        }
        box.setCodes(codes);
        bare.setPlainText(BoxText::toDisplay(codes, BoxText::Lines::Multi));
        const auto shownCursor = [&box] {
            return static_cast<int>(
                Rows::text(box.document(), 0, box.textCursor().position()).size());
        };
        const std::array keys = {Qt::Key_Left,   Qt::Key_Right, Qt::Key_Backspace,
                                 Qt::Key_Delete, Qt::Key_B,     Qt::Key_Return};
        QString done;
        for (int step = 0; step < 3000; ++step) {
            const int length = bare.document()->characterCount() - 1;
            const int row = static_cast<int>(rng() % 3) * Rows::RowLength;
            const int at = std::clamp(row + static_cast<int>(rng() % 7) - 3, 0, length);
            QTextCursor cursor = bare.textCursor();
            cursor.setPosition(at);
            bare.setTextCursor(cursor);
            moveTo(box, Rows::position(box.document(), static_cast<std::size_t>(at)));
            // Undo then assignments: an assignment replaces only what changed, which leaves the
            // document's text in other pieces than the bare one's, and Qt merges the undo
            // steps of deletions by pieces.
            unsigned op = rng() % 10;
            if (step >= 2000 && op >= 8)
                op = 10;
            const unsigned times = rng() % 3 + 1;
            done += QString::number(op) + u' ';
            for (QWidget *edit : {static_cast<QWidget *>(&box), static_cast<QWidget *>(&bare)}) {
                if (op < keys.size()) {
                    for (unsigned n = times; n > 0; --n)
                        QTest::keyClick(edit, keys[op]);
                } else if (op == 6) { // a selection across a row's end, copied and pasted back
                    for (int n = 0; n < 5; ++n)
                        QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
                    QTest::keySequence(edit, QKeySequence::Copy);
                    QTest::keyClick(edit, Qt::Key_Left);
                    QTest::keySequence(edit, QKeySequence::Paste);
                } else if (op == 7) {
                    QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
                    QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
                    QTest::keySequence(edit, QKeySequence::Cut);
                } else if (op < 10) {
                    QTest::keySequence(edit, op == 8 ? QKeySequence::Undo : QKeySequence::Redo);
                }
            }
            if (op == 10) { // an assignment of the text with a few codes changed there
                std::string codes = box.codes();
                const std::size_t from =
                    std::min<std::size_t>(static_cast<std::size_t>(at), codes.size());
                codes.replace(from, std::min<std::size_t>(times, codes.size() - from),
                              std::string("\r\nzz").substr(0, rng() % 5));
                box.setCodes(codes);
                bare.setPlainText(BoxText::toDisplay(codes, BoxText::Lines::Multi));
            }
            const QByteArray context = (QStringLiteral("after operations ") + done).toUtf8();
            QVERIFY2(box.codes() ==
                         BoxText::fromDisplay(bare.document()->toRawText(), BoxText::Lines::Multi),
                     context.constData());
            // Where an undo leaves the cursor is Qt's choice, made on the rows it brings back.
            if (op < 8)
                QVERIFY2(shownCursor() == bare.textCursor().position(), context.constData());
        }
    }
};

QTEST_MAIN(WindowReadCacheTest)
#include "window_readcache_test.moc"
