// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader learns of KorMain's controls, read through Qt's accessibility layer.

#include "kormain.h"
#include "window_testing.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <set>
#include <utility>

namespace {

const char *const Controls[] = {"txt0",   "ctr0", "Copie0", "txt1",  "ctr1",
                                "Copie1", "txt2", "ctr2",   "Copie2"};

QAccessibleInterface *accessible(QWidget *window, const QString &name)
{
    auto *control = window->findChild<QWidget *>(name);
    return control ? QAccessible::queryAccessibleInterface(control) : nullptr;
}

QString accessibleName(QWidget *window, const QString &name)
{
    QAccessibleInterface *iface = accessible(window, name);
    return iface ? iface->text(QAccessible::Name) : QString();
}

} // namespace

class AccessibilityTest : public WindowTest {
    Q_OBJECT
private slots:
    void shouldNameAndDescribeEveryControl()
    {
        std::set<QString> names;
        for (const char *control : Controls) {
            QAccessibleInterface *iface = accessible(m_window.get(), QString::fromLatin1(control));
            QVERIFY2(iface && iface->isValid(), control);
            const QString name = iface->text(QAccessible::Name);
            const QString description = iface->text(QAccessible::Description);
            QVERIFY2(!name.trimmed().isEmpty(), control);
            QVERIFY2(!description.trimmed().isEmpty(), control);
            QVERIFY2(description != name, control);
            // Nine controls, nine names: a listener can tell the three "Copy" buttons apart.
            QVERIFY2(names.insert(name).second, qPrintable(name));
        }
    }

    void shouldTieLabelAndButtonToTheirBox()
    {
        for (int i = 0; i < 3; ++i) {
            const QString index = QString::number(i);
            const QString box = accessibleName(m_window.get(), QStringLiteral("txt") + index);
            for (int j = 0; j < 3; ++j) {
                const QString other = QString::number(j);
                const QString count = accessibleName(m_window.get(), QStringLiteral("ctr") + other);
                const QString copy =
                    accessibleName(m_window.get(), QStringLiteral("Copie") + other);
                // The row's own controls name its box, the other rows' controls do not.
                QCOMPARE_EQ(count.contains(box, Qt::CaseInsensitive), i == j);
                QCOMPARE_EQ(copy.contains(box, Qt::CaseInsensitive), i == j);
            }
        }
    }

    void shouldGiveRolesAndCaptions()
    {
        // The window is a window (a frame to AT-SPI) named by its caption.
        QAccessibleInterface *window = QAccessible::queryAccessibleInterface(m_window.get());
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), m_window->windowTitle());
        for (int i = 0; i < 3; ++i) {
            const QString index = QString::number(i);
            QAccessibleInterface *box = accessible(m_window.get(), QStringLiteral("txt") + index);
            QAccessibleInterface *count = accessible(m_window.get(), QStringLiteral("ctr") + index);
            auto *button = m_window->findChild<QPushButton *>(QStringLiteral("Copie") + index);
            QVERIFY(box && count && button);
            QCOMPARE(box->role(), QAccessible::EditableText);
            QCOMPARE(count->role(), QAccessible::StaticText);
            QAccessibleInterface *copy = QAccessible::queryAccessibleInterface(button);
            QCOMPARE(copy->role(), QAccessible::Button);
            // Voice control users say what they see: the name starts with the caption.
            QVERIFY2(copy->text(QAccessible::Name).startsWith(button->text()),
                     qPrintable(copy->text(QAccessible::Name)));
        }
    }

    void shouldShowFrenchTooltipsOnLabelsAndButtons()
    {
        std::set<QString> tips;
        for (const char *control : Controls) {
            auto *widget = m_window->findChild<QWidget *>(QString::fromLatin1(control));
            QVERIFY2(widget, control);
            if (!qobject_cast<QLabel *>(widget) && !qobject_cast<QPushButton *>(widget))
                continue;
            QVERIFY2(!widget->toolTip().isEmpty(), control);
            QVERIFY2(tips.insert(widget->toolTip()).second, qPrintable(widget->toolTip()));
            // The program's texts are French; English tooltips would say "the" or "copies".
            QVERIFY2(!widget->toolTip().contains(QStringLiteral("the "), Qt::CaseInsensitive),
                     qPrintable(widget->toolTip()));
        }
        QCOMPARE(tips.size(), std::size_t{6});
    }

    void shouldAnnounceWhatIsCountedAndHowMany()
    {
        auto *plain = m_window->findChild<QWidget *>(QStringLiteral("txt1"));
        auto *ctr1 = m_window->findChild<QLabel *>(QStringLiteral("ctr1"));
        auto *ctr2 = m_window->findChild<QLabel *>(QStringLiteral("ctr2"));
        QVERIFY(plain && ctr1 && ctr2);
        // With no count shown yet, the name says only what is counted.
        const QString counted1 = accessibleName(m_window.get(), QStringLiteral("ctr1"));
        const QString counted2 = accessibleName(m_window.get(), QStringLiteral("ctr2"));
        QVERIFY(!counted1.isEmpty() && !counted2.isEmpty());
        plain->setFocus();
        QTest::keyClicks(plain, QStringLiteral("Bonjour"));
        QTRY_COMPARE(ctr1->text(), QStringLiteral("13")); // "Saisie" and the 7 typed
        for (const auto &[label, counted] :
             {std::pair{ctr1, counted1}, std::pair{ctr2, counted2}}) {
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(label);
            const QString name = iface->text(QAccessible::Name);
            // What is counted, then how many.
            QVERIFY2(name.startsWith(counted) && name.endsWith(label->text()), qPrintable(name));
            QCOMPARE(iface->text(QAccessible::Value), label->text());
        }
    }
};

QTEST_MAIN(AccessibilityTest)
#include "window_accessibility_test.moc"
