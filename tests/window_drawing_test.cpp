// SPDX-License-Identifier: GPL-3.0-or-later
// What the text boxes do to show long texts faster (glyphs kept between paints, assigned
// texts laid out once) must not change what they show: each box is drawn beside a bare
// QPlainTextEdit given the same text the usual way, and the two images must be the same,
// pixel for pixel.

#include "boxtext.h"
#include "textbox.h"
#include "window_testing.h"

#include <QApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include <random>
#include <string>

namespace {

// A bare QPlainTextEdit set up as a text box is, with the application's font.
void setUpLikeABox(QPlainTextEdit &edit, const QSize &size)
{
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.setWordWrapMode(QTextOption::NoWrap);
    edit.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit.setTabChangesFocus(true);
    edit.setCursorWidth(0);
    edit.setFixedSize(size);
}

QImage drawn(QWidget &widget)
{
    return widget.grab().toImage();
}

std::string randomCodes(std::mt19937 &rng, std::size_t size)
{
    std::string codes(size, '\0');
    for (char &c : codes)
        c = static_cast<char>(rng() & 0xFF);
    return codes;
}

} // namespace

class WindowDrawingTest : public QObject {
    Q_OBJECT

private slots:
    void shouldShowWhatABareTextEditShows_data()
    {
        QTest::addColumn<QByteArray>("codes");
        std::mt19937 rng(2026); // fixed seed, so a failure reproduces
        QTest::newRow("ascii") << QByteArray("Bonjour, monde");
        QTest::newRow("pictures") << QByteArray("\x03\x01\x02\x1f\x7f\x00\x05 a\x01\x06", 12);
        QTest::newRow("lines") << QByteArray("one\r\ntwo\r\n\x01three\r\n");
        QTest::newRow("all codes") << QByteArray::fromStdString(randomCodes(rng, 600));
        std::string escapes;
        for (int i = 0; i < 400; ++i)
            escapes += {static_cast<char>(rng() % 7), static_cast<char>(0xE0 + rng() % 32),
                        static_cast<char>(rng() % 8)};
        QTest::newRow("escape groups") << QByteArray::fromStdString(escapes);
    }

    void shouldShowWhatABareTextEditShows()
    {
        QFETCH(QByteArray, codes);
        TextBox box;
        box.setCursorWidth(0);
        box.setFixedSize(400, 120);
        QPlainTextEdit bare;
        setUpLikeABox(bare, box.size());
        box.show();
        bare.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QVERIFY(QTest::qWaitForWindowExposed(&bare));

        box.setCodes(codes.toStdString());
        bare.setPlainText(BoxText::toDisplay(codes.toStdString(), BoxText::Lines::Multi));
        QCOMPARE(drawn(box), drawn(bare));

        // Scrolled to the end of the longest line, after a character typed there.
        box.moveCursor(QTextCursor::End);
        bare.moveCursor(QTextCursor::End);
        QTest::keyClick(&box, Qt::Key_Z);
        QTest::keyClick(&bare, Qt::Key_Z);
        box.horizontalScrollBar()->setValue(box.horizontalScrollBar()->maximum());
        bare.horizontalScrollBar()->setValue(bare.horizontalScrollBar()->maximum());
        QCOMPARE(box.horizontalScrollBar()->maximum(), bare.horizontalScrollBar()->maximum());
        QCOMPARE(drawn(box), drawn(bare));
    }
};

QTEST_MAIN(WindowDrawingTest)
#include "window_drawing_test.moc"
