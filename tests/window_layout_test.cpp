// SPDX-License-Identifier: GPL-3.0-or-later
// KorMain's presentation: size and places, focus order, colours, caption and icon.

#include "codetarvo_version.h"
#include "kormain.h"
#include "textbox.h"
#include "window_testing.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <cmath>
#include <memory>
#include <set>

namespace {

// WCAG 2 contrast ratio, written out independently of the window's own.
double channel(int value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double relativeLuminance(const QColor &c)
{
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor &a, const QColor &b)
{
    const double x = relativeLuminance(a) + 0.05;
    const double y = relativeLuminance(b) + 0.05;
    return x > y ? x / y : y / x;
}

} // namespace

class LayoutTest : public WindowTest {
    Q_OBJECT
private slots:
    void shouldPlaceEveryControlAt96Dpi()
    {
        if (m_window->logicalDpiX() != 96 || m_window->logicalDpiY() != 96)
            QSKIP("needs a screen of 96 dots per inch (QT_FONT_DPI=96)");
        QCOMPARE(m_window->size(), QSize(622, 283));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize()); // fixed size
        for (const ControlPlace &e : ControlPlaces) {
            auto *control = m_window->findChild<QWidget *>(QString::fromLatin1(e.name));
            QVERIFY2(control, e.name);
            // 15 twips are one pixel at 96 dots per inch; every value here is a multiple.
            const QRect pixels(e.twips.x() / 15, e.twips.y() / 15, e.twips.width() / 15,
                               e.twips.height() / 15);
            QCOMPARE(control->geometry(), pixels);
        }
    }

    void shouldConvertTwipsAtOtherResolutions()
    {
        QCOMPARE(KorMain::pixels(9330, 96), 622);
        QCOMPARE(KorMain::pixels(4245, 96), 283);
        QCOMPARE(KorMain::pixels(9330, 144), 933);
        QCOMPARE(KorMain::pixels(4245, 120), 354); // 353.75
        QCOMPARE(KorMain::pixels(285, 120), 24);   // 23.75
        QCOMPARE(KorMain::pixels(7215, 72), 361);  // 360.75
    }

    void shouldKeepItsLayoutOnResize()
    {
        const QSize before = m_window->size();
        m_window->resize(before * 2);
        QCOMPARE(m_window->size(), before);
    }

    void shouldStartWithFocusInThePlainBox()
    {
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txt1"));
        // Typing goes there.
        QTest::keyClicks(QApplication::focusWidget(), "x");
        QCOMPARE(m_window->text(KorMain::Plain), std::string("xSaisie"));
    }

    void shouldMoveFocusInTabOrder()
    {
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        // The buttons are disabled at start-up and take no focus: the boxes cycle.
        QStringList order;
        for (int i = 0; i < 3; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        order << QApplication::focusWidget()->objectName();
        QCOMPARE(order, QStringList({"txt1", "txt0", "txt2", "txt1"}));
        QCOMPARE(m_window->text(KorMain::Plain), std::string("Saisie")); // no tab inserted

        m_window->setText(KorMain::Key, "clef"); // enables the buttons
        order.clear();
        for (int i = 0; i < 6; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        order << QApplication::focusWidget()->objectName();
        QCOMPARE(order,
                 QStringList({"txt1", "txt0", "txt2", "Copie0", "Copie1", "Copie2", "txt1"}));
    }

    void shouldKeepLabelsOutOfFocusAndCentred()
    {
        for (int i = 0; i < 3; ++i) {
            auto *label = m_window->findChild<QLabel *>(QStringLiteral("ctr%1").arg(i));
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
            QCOMPARE(label->alignment(), Qt::AlignCenter);
            QVERIFY(!label->autoFillBackground()); // the window's colour shows through
        }
    }

    void shouldShowEveryDigitOfLongCounts()
    {
        auto *count = m_window->findChild<QLabel *>(QStringLiteral("ctr0"));
        QVERIFY(count);
        const QFont normal = count->font();
        for (const std::size_t length :
             {std::size_t{12}, std::size_t{123456}, std::size_t{1234567}}) {
            m_window->setText(KorMain::Key, std::string(length, 'k'));
            QCOMPARE(count->text(), QString::number(length));
            QVERIFY2(count->fontMetrics().horizontalAdvance(count->text()) <=
                         count->contentsRect().width(),
                     qPrintable(count->text()));
        }
        m_window->setText(KorMain::Key, "key");
        QCOMPARE(count->font(), normal);
    }
    void shouldShowScrollBarsWithoutWrapping()
    {
        for (const char *name : {"txt1", "txt2"}) {
            auto *box = m_window->findChild<TextBox *>(QString::fromLatin1(name));
            QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            QVERIFY(box->horizontalScrollBar()->isVisible());
            QVERIFY(box->verticalScrollBar()->isVisible());
            box->setCodes(std::string(2000, 'w'));
            QCOMPARE(box->document()->lineCount(), 1);
            QCOMPARE(box->document()->firstBlock().layout()->lineCount(), 1);
            QVERIFY(box->horizontalScrollBar()->maximum() > 0);
        }
    }

    void shouldUseTheDesktopColourWithReadableLabels()
    {
        const QColor background = m_window->palette().color(QPalette::Window);
#ifndef Q_OS_WIN
        QCOMPARE(background, QColor(0, 128, 128));
#endif
        QVERIFY(m_window->autoFillBackground());
        for (int i = 0; i < 3; ++i) {
            auto *label = m_window->findChild<QLabel *>(QStringLiteral("ctr%1").arg(i));
            const QColor text = label->palette().color(QPalette::WindowText);
            QVERIFY2(contrast(text, background) >= 4.5,
                     qPrintable(QStringLiteral("%1 on %2: %3")
                                    .arg(text.name(), background.name())
                                    .arg(contrast(text, background))));
        }
        // Black would not do on teal: the label colour is a choice, not a default.
        QVERIFY(contrast(Qt::black, QColor(0, 128, 128)) < 4.5);
    }

    void shouldShowItsCaptionAndIcon()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Code Tarvo " CODETARVO_CAPTION_VERSION));
        const QIcon icon = m_window->windowIcon();
        QVERIFY(!icon.isNull());
        const QImage image = icon.pixmap(32, 32).toImage();
        QCOMPARE(image.size(), QSize(32, 32));
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() <= 16, qPrintable(QString::number(colours.size())));
        QVERIFY(colours.size() >= 4);
    }
};

QTEST_MAIN(LayoutTest)
#include "window_layout_test.moc"
