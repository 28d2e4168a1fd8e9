// SPDX-License-Identifier: GPL-3.0-or-later
// KorMain at 200 % (run with QT_SCALE_FACTOR=2): the layout keeps its proportions in twice
// the device pixels, and no control or caption is cut off.

#include "kormain.h"
#include "window_testing.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QTest>

#include <memory>
#include <string>

namespace {

constexpr double ClientWidth = 9330;
constexpr double ClientHeight = 4245;

// Device pixels of the client area at 96 dots per inch (15 twips a pixel), doubled.
const QSize DoubledClient(2 * 622, 2 * 283);

} // namespace

class ScalingTest : public WindowTest {
    Q_OBJECT
private slots:
    void shouldDrawInTwiceTheDevicePixels()
    {
        if (m_window->devicePixelRatioF() != 2.0)
            QFAIL(qPrintable(QStringLiteral("device pixel ratio %1; run with QT_SCALE_FACTOR=2")
                                 .arg(m_window->devicePixelRatioF())));
        const QPixmap shot = m_window->grab();
        QCOMPARE(shot.size(), DoubledClient);
        for (const ControlPlace &place : ControlPlaces) {
            auto *control = m_window->findChild<QWidget *>(QString::fromLatin1(place.name));
            QVERIFY2(control, place.name);
            QCOMPARE(control->grab().size(), control->size() * 2);
        }
    }

    void shouldKeepTheProportions()
    {
        const QSizeF client = m_window->size();
        for (const ControlPlace &place : ControlPlaces) {
            auto *control = m_window->findChild<QWidget *>(QString::fromLatin1(place.name));
            QVERIFY2(control, place.name);
            const QRect at = control->geometry();
            // Each edge within a pixel of where the twips put it, as a share of the window.
            const auto near = [](double pixels, double expected) {
                return std::abs(pixels - expected) <= 1.0;
            };
            const double x = place.twips.x() / ClientWidth * client.width();
            const double y = place.twips.y() / ClientHeight * client.height();
            const double w = place.twips.width() / ClientWidth * client.width();
            const double h = place.twips.height() / ClientHeight * client.height();
            QVERIFY2(near(at.x(), x) && near(at.y(), y) && near(at.width(), w) &&
                         near(at.height(), h),
                     qPrintable(QStringLiteral("%1 at %2,%3 %4x%5, expected %6,%7 %8x%9")
                                    .arg(QString::fromLatin1(place.name))
                                    .arg(at.x())
                                    .arg(at.y())
                                    .arg(at.width())
                                    .arg(at.height())
                                    .arg(x)
                                    .arg(y)
                                    .arg(w)
                                    .arg(h)));
        }
    }

    void shouldCutNothingOff()
    {
        // Long texts give the counts their widest captions.
        m_window->setText(KorMain::Key, "Tesk12");
        m_window->setText(KorMain::Plain, std::string(12345, 'W'));
        for (const QWidget *child : m_window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!child->isVisible())
                continue;
            QVERIFY2(m_window->rect().contains(child->geometry()), qPrintable(child->objectName()));
        }
        for (const char *name : {"ctr0", "ctr1", "ctr2"}) {
            auto *label = m_window->findChild<QLabel *>(QString::fromLatin1(name));
            QVERIFY2(label, name);
            QVERIFY2(!label->text().isEmpty(), name);
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            QVERIFY2(needed <= label->contentsRect().width(),
                     qPrintable(QStringLiteral("%1: \"%2\" needs %3 of %4 pixels")
                                    .arg(QString::fromLatin1(name), label->text())
                                    .arg(needed)
                                    .arg(label->contentsRect().width())));
            QVERIFY2(label->fontMetrics().height() <= label->contentsRect().height(), name);
        }
        for (const char *name : {"Copie0", "Copie1", "Copie2"}) {
            auto *button = m_window->findChild<QPushButton *>(QString::fromLatin1(name));
            QVERIFY2(button, name);
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect room =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            const QSize needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
            QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(),
                     qPrintable(QStringLiteral("%1 needs %2x%3 of %4x%5")
                                    .arg(QString::fromLatin1(name))
                                    .arg(needed.width())
                                    .arg(needed.height())
                                    .arg(room.width())
                                    .arg(room.height())));
        }
        auto *key = m_window->findChild<QLineEdit *>(QStringLiteral("txt0"));
        QVERIFY(key);
        QStyleOptionFrame frame;
        frame.initFrom(key);
        const QRect line = key->style()->subElementRect(QStyle::SE_LineEditContents, &frame, key);
        QVERIFY2(key->fontMetrics().height() <= line.height(),
                 qPrintable(QStringLiteral("key box: text %1 high in %2")
                                .arg(key->fontMetrics().height())
                                .arg(line.height())));
    }
};

QTEST_MAIN(ScalingTest)
#include "window_scaling_test.moc"
