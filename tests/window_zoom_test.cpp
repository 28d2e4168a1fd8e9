// SPDX-License-Identifier: GPL-3.0-or-later
// Zooming the boxes: every way of zooming changes the three boxes' font together and nothing
// else, within bounds, and the boxes lay their text out anew in the zoomed font.

#include "kormain.h"
#include "window_testing.h"

#include <QAbstractScrollArea>
#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QWheelEvent>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace {

// What zooming must leave alone: every control's place, the window's size, the boxes' texts.
struct Untouched {
    std::vector<QRect> places;
    QSize size;
    std::array<std::string, 3> texts;

    explicit Untouched(const KorMain &window) : size(window.size())
    {
        for (const ControlPlace &place : ControlPlaces)
            places.push_back(
                window.findChild<QWidget *>(QString::fromLatin1(place.name))->geometry());
        for (int i = 0; i < 3; ++i)
            texts[static_cast<std::size_t>(i)] = window.text(i);
    }
    bool operator==(const Untouched &) const = default;
};

struct Zoomable {
    std::unique_ptr<KorMain> window = std::make_unique<KorMain>();
    std::array<QWidget *, 3> boxes{};
    std::array<QFont, 3> usual;

    Zoomable()
    {
        for (int i = 0; i < 3; ++i) {
            const auto at = static_cast<std::size_t>(i);
            boxes[at] = window->findChild<QWidget *>(QStringLiteral("txt%1").arg(i));
            usual[at] = boxes[at]->font();
        }
        window->setText(KorMain::Key, "clef"); // enables the buttons, which then take focus
        window->setText(KorMain::Plain, "Zoom \x01\x1B\x81 zoom");
    }

    // Each box's point size over its usual one; 0 when the boxes disagree, or when a box's
    // font changed in anything but its size.
    qreal scale() const
    {
        const qreal first = boxes[0]->font().pointSizeF() / usual[0].pointSizeF();
        for (std::size_t i = 0; i < 3; ++i) {
            QFont unscaled = boxes[i]->font();
            unscaled.setPointSizeF(usual[i].pointSizeF());
            if (unscaled != usual[i] ||
                !qFuzzyCompare(boxes[i]->font().pointSizeF() / usual[i].pointSizeF(), first))
                return 0;
        }
        return first;
    }

    void press(QWidget *target, int key, Qt::KeyboardModifiers modifiers) const
    {
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }
};

// Turns a wheel by ANGLE eighths of a degree over TARGET with Ctrl held.
void turnWheel(QWidget *target, int angle)
{
    if (auto *area = qobject_cast<QAbstractScrollArea *>(target))
        target = area->viewport();
    const QPointF at = target->rect().center();
    QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

} // namespace

class WindowZoomTest : public QObject {
    Q_OBJECT
private slots:
    void shouldZoomTheThreeBoxesOnly_data()
    {
        QTest::addColumn<QString>("target"); // the focused control, or the one under the wheel
        QTest::addColumn<int>("key");        // 0 for the wheel
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QList<int>>("wheel");
        QTest::addColumn<int>("step");
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        const Qt::KeyboardModifiers keypad = Qt::ControlModifier | Qt::KeypadModifier;
        QTest::newRow("Ctrl++ in the plain box")
            << "txt1" << int(Qt::Key_Plus) << ctrl << QList<int>() << 1;
        QTest::newRow("Ctrl+= in the key box")
            << "txt0" << int(Qt::Key_Equal) << ctrl << QList<int>() << 1;
        QTest::newRow("keypad Ctrl++ in the code box")
            << "txt2" << int(Qt::Key_Plus) << keypad << QList<int>() << 1;
        QTest::newRow("Ctrl+- on a Copy button")
            << "Copie1" << int(Qt::Key_Minus) << ctrl << QList<int>() << -1;
        QTest::newRow("keypad Ctrl+- in the key box")
            << "txt0" << int(Qt::Key_Minus) << keypad << QList<int>() << -1;
        QTest::newRow("wheel up over the code box") << "txt2" << 0 << ctrl << QList<int>{120} << 1;
        QTest::newRow("wheel down over the key box")
            << "txt0" << 0 << ctrl << QList<int>{-120} << -1;
        QTest::newRow("two half notches over a count")
            << "ctr1" << 0 << ctrl << QList<int>{60, 60} << 1;
        QTest::newRow("wheel down over a Copy button")
            << "Copie2" << 0 << ctrl << QList<int>{-120} << -1;
    }
    void shouldZoomTheThreeBoxesOnly()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QList<int>, wheel);
        QFETCH(int, step);
        Zoomable z;
        QVERIFY(showActive(z.window.get()));
        auto *control = z.window->findChild<QWidget *>(target);
        QVERIFY(control);
        QWidget *focused = control->focusPolicy() == Qt::NoFocus ? z.boxes[1] : control;
        focused->setFocus();
        const Untouched before(*z.window);

        if (key)
            z.press(focused, key, modifiers);
        for (const int angle : wheel)
            turnWheel(control, angle);
        const qreal scale = z.scale();
        QVERIFY2(step > 0 ? scale > 1 : scale > 0 && scale < 1, qPrintable(QString::number(scale)));
        QVERIFY(Untouched(*z.window) == before);

        z.press(focused, Qt::Key_0, Qt::ControlModifier);
        for (std::size_t i = 0; i < 3; ++i)
            QCOMPARE(z.boxes[i]->font(), z.usual[i]);
        QVERIFY(Untouched(*z.window) == before);
    }

    // Stepping through every level and beyond: the scale grows to a bound and stays there, the
    // code box lays its line out in each zoomed font, and the places never change.
    void shouldStepWithinBoundsAndLayTextOutAnew()
    {
        Zoomable z;
        QVERIFY(showActive(z.window.get()));
        auto *code = qobject_cast<QPlainTextEdit *>(z.boxes[2]);
        const Untouched before(*z.window);
        const auto laidOutInItsFont = [code] {
            const QTextBlock block = code->document()->firstBlock();
            // Lays the block out if it is not yet.
            (void)code->document()->documentLayout()->blockBoundingRect(block);
            const QTextLine line = block.layout()->lineAt(0);
            const QFontMetricsF metrics(code->font());
            return qAbs(line.height() - metrics.height()) < 1 &&
                   qAbs(line.naturalTextWidth() - metrics.horizontalAdvance(block.text())) < 1;
        };

        for (const int key : {Qt::Key_Plus, Qt::Key_Minus}) {
            std::vector<qreal> scales{z.scale()};
            for (int i = 0; i < 20; ++i) {
                z.press(z.boxes[1], key, Qt::ControlModifier);
                scales.push_back(z.scale());
                QVERIFY2(laidOutInItsFont(), qPrintable(QString::number(scales.back())));
                QVERIFY(Untouched(*z.window) == before);
            }
            const auto bound = scales.back();
            const auto firstAtBound = std::find(scales.begin(), scales.end(), bound);
            for (auto s = scales.begin() + 1; s <= firstAtBound; ++s)
                QVERIFY(key == Qt::Key_Plus ? *s > *(s - 1) : *s < *(s - 1));
            QVERIFY(firstAtBound - scales.begin() > 3); // several steps each way
            if (key == Qt::Key_Plus)
                QVERIFY2(bound >= 2 && bound <= 4, qPrintable(QString::number(bound)));
            else
                QVERIFY2(bound >= 0.25 && bound <= 0.6, qPrintable(QString::number(bound)));
        }
        z.press(z.boxes[1], Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(z.scale(), 1.0);
    }
};

QTEST_MAIN(WindowZoomTest)
#include "window_zoom_test.moc"
