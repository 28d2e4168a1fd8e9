// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts in the user's language: with Qt's translation for a locale installed, both
// kinds of box show their context menus in that language, and in English without one. Run
// with LANG=fr_FR.UTF-8, as a French desktop starts the program.

#include "kormain.h"
#include "translation.h"
#include "window_testing.h"

#include <QCoreApplication>
#include <QLocale>
#include <QMenu>
#include <QTest>
#include <QTranslator>

#include <memory>

namespace {

// The entry NAME of BOX's context menu as a person reads it: no accelerator, no shortcut.
QString entryText(QWidget *box, const char *name)
{
    QMenu *menu = openContextMenu(box);
    if (!menu)
        return QStringLiteral("(no menu)");
    const auto *action = menu->findChild<QAction *>(QString::fromLatin1(name));
    const QString text = action ? action->text().section(u'\t', 0, 0).remove(u'&')
                                : QStringLiteral("(no entry %1)").arg(QLatin1String(name));
    menu->close();
    return text;
}

} // namespace

class WindowTranslationTest : public QObject {
    Q_OBJECT
private slots:
    void shouldShowQtsTextsInTheLocalesLanguage_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("translated");
        QTest::addColumn<QStringList>("entries"); // undo, paste, select all
        const QStringList french{"Annuler", "Coller", "Tout sélectionner"};
        QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << true << french;
        QTest::newRow("the system's") << QLocale::system() << true << french;
        QTest::newRow("German") << QLocale(QLocale::German) << true
                                << QStringList{"Rückgängig", "Einfügen", "Alles auswählen"};
        QTest::newRow("C") << QLocale::c() << false << QStringList{"Undo", "Paste", "Select All"};
    }
    void shouldShowQtsTextsInTheLocalesLanguage()
    {
        QFETCH(QLocale, locale);
        QFETCH(bool, translated);
        QFETCH(QStringList, entries);
        if (QTest::currentDataTag() == QLatin1String("the system's") &&
            locale.language() != QLocale::French)
            QFAIL(qPrintable(
                QStringLiteral("system locale %1; run with LANG=fr_FR.UTF-8").arg(locale.name())));
        const auto texts = Translation::qtTexts(locale);
        QVERIFY2(bool(texts) == translated,
                 translated ? "no Qt translation found: install qt6-translations-l10n"
                            : "a translation for the C locale");
        if (texts)
            QCoreApplication::installTranslator(texts.get());

        KorMain window;
        QVERIFY(showActive(&window));
        for (const char *box : {"txt0", "txt1"}) {
            auto *widget = window.findChild<QWidget *>(QString::fromLatin1(box));
            const QStringList shown{entryText(widget, "edit-undo"), entryText(widget, "edit-paste"),
                                    entryText(widget, "select-all")};
            QCOMPARE(shown, entries);
        }
    }
};

QTEST_MAIN(WindowTranslationTest)
#include "window_translation_test.moc"
