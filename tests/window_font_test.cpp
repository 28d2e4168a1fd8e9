// SPDX-License-Identifier: GPL-3.0-or-later
// The boxes' shipped font: it draws every character a box can show, each control mark
// differently, and laying text out without shaping draws what shaping would.

#include "boxfont.h"
#include "boxtext.h"
#include "codebox.h"
#include "kormain.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

// TEXT drawn in FONT, black on white, on one line.
QImage drawn(const QString &text, const QFont &font)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 4, metrics.height() + 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(2, 2 + metrics.ascent(), text);
    return image;
}

bool blank(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                return false;
    return true;
}

// The rows of IMAGE that hold ink, as a rectangle as wide as IMAGE.
QRect inkRows(const QImage &image)
{
    int top = image.height();
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    return QRect(0, top, image.width(), bottom - top + 1);
}

// Whether row Y of a mark shows digits: it changes between dark and light more than a rule
// or a block's edge would.
bool differsInRow(const QImage &image, int y)
{
    int changes = 0;
    for (int x = 1; x < image.width(); ++x)
        changes += (qGray(image.pixel(x, y)) < 128) != (qGray(image.pixel(x - 1, y)) < 128);
    return changes >= 4;
}

// The codes shown as marks: the controls, the undefined codes and the soft hyphen.
std::vector<unsigned char> markedCodes()
{
    std::vector<unsigned char> codes;
    for (int code = 0; code < 0x20; ++code)
        codes.push_back(static_cast<unsigned char>(code));
    for (const int code : {0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xAD})
        codes.push_back(static_cast<unsigned char>(code));
    return codes;
}

QString shown(unsigned char code)
{
    return BoxText::toDisplay(std::string(1, static_cast<char>(code)), BoxText::Lines::Single);
}

} // namespace

class WindowFontTest : public QObject {
    Q_OBJECT

private slots:
    void shouldShowEveryBoxInTheShippedFont()
    {
        QVERIFY(!BoxFont::family().isEmpty());
        KorMain window;
        for (int i = 0; i < 3; ++i) {
            auto *box = window.findChild<QWidget *>(QStringLiteral("txt%1").arg(i));
            QCOMPARE(QFontInfo(box->font()).family(), BoxFont::family());
            QCOMPARE(box->font().styleStrategy() & QFont::PreferNoShaping, QFont::PreferNoShaping);
        }
    }

    // A mark is two cells wide, every other character one: a code text's cells follow from
    // its codes alone.
    void shouldHoldEveryCharacterABoxShows()
    {
        const QFontMetricsF metrics(BoxFont::font(QApplication::font()));
        const qreal cell = metrics.horizontalAdvance(QLatin1Char('0'));
        const std::vector<unsigned char> marked = markedCodes();
        for (int code = 0; code < 256; ++code) {
            const bool isMark = std::find(marked.begin(), marked.end(), code) != marked.end();
            for (const auto lines : {BoxText::Lines::Single, BoxText::Lines::Multi}) {
                const QString text =
                    BoxText::toDisplay(std::string(1, static_cast<char>(code)), lines);
                QVERIFY2(metrics.inFontUcs4(text.at(0).unicode()),
                         qPrintable(QStringLiteral("code %1").arg(code)));
                // Within the rounding of advances to 1/64 pixel.
                const qreal advance = metrics.horizontalAdvance(text);
                QVERIFY2(std::abs(advance - (isMark ? 2 : 1) * cell) < 0.05,
                         qPrintable(QStringLiteral("code %1: advance %2, cell %3")
                                        .arg(code)
                                        .arg(advance)
                                        .arg(cell)));
            }
        }
    }

    // Each mark's digits stand as tall as the text's own digits (at least 90 % of them).
    void shouldDrawTheDigitsAsTallAsTheText()
    {
        const QFont font = BoxFont::font(QApplication::font());
        for (const unsigned char code : markedCodes()) {
            const QString hex = QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
            const QImage mark = drawn(shown(code), font);
            const QImage text = drawn(hex, font);
            const QRect ink = inkRows(text);
            // The rows of the text's digits inside the mark, between its field's edges.
            int inside = 0;
            for (int y = ink.top(); y <= ink.bottom(); ++y)
                inside += differsInRow(mark, y);
            QVERIFY2(inside >= ink.height() * 9 / 10,
                     qPrintable(QStringLiteral("code %1").arg(code)));
            QVERIFY2(mark.width() > text.width() / 2 + 4,
                     qPrintable(QStringLiteral("code %1").arg(code))); // wider than a digit
        }
    }

    void shouldDrawEachMarkDifferently()
    {
        const QFont font = BoxFont::font(QApplication::font());
        std::vector<QImage> marks;
        for (const unsigned char code : markedCodes()) {
            marks.push_back(drawn(shown(code), font));
            QVERIFY2(!blank(marks.back()), qPrintable(QStringLiteral("code %1").arg(code)));
        }
        for (std::size_t i = 0; i < marks.size(); ++i)
            for (std::size_t j = i + 1; j < marks.size(); ++j)
                QVERIFY2(marks[i] != marks[j], qPrintable(QStringLiteral("codes %1 and %2")
                                                              .arg(markedCodes()[i])
                                                              .arg(markedCodes()[j])));
    }

    void shouldDrawTheSameWithoutShaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("accents") << QStringLiteral("àâäçéèêëîïôöùûüÿ ÀÂÄÇÉÈÊËÎÏÔÖÙÛÜŸ");
        QTest::newRow("ligatures") << QStringLiteral("œuvre Œdipe cœur fi fl ff -> != ==");
        QTest::newRow("signs") << QStringLiteral("5 € ‰ … – — • ™ ƒ");
        QTest::newRow("quotes") << QStringLiteral("« a » ‹ b › ‘c’ “d” ‚e‘ „f“ 'g' \"h\"");
        QTest::newRow("marks") << BoxText::toDisplay("\x01\x02\x1F\x7F\x81\x9D a\x01", {});
    }

    void shouldDrawTheSameWithoutShaping()
    {
        QFETCH(QString, text);
        const QFont unshaped = BoxFont::font(QApplication::font());
        QFont shaped = unshaped;
        shaped.setStyleStrategy(QFont::PreferDefault);
        const QImage image = drawn(text, unshaped);
        QVERIFY(!blank(image));
        QCOMPARE(image, drawn(text, shaped));
    }
};

QTEST_MAIN(WindowFontTest)
#include "window_font_test.moc"
