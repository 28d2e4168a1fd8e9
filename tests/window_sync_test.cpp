// SPDX-License-Identifier: GPL-3.0-or-later
// KorMain's live synchronisation, driven through the real widgets by key presses and by
// assignment, checked against the cipher called directly.

#include "codepage.h"
#include "kormain.h"
#include "modcodeur.h"
#include "textbox.h"
#include "window_testing.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <array>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

enum class Driver { Assign, Keys };

// Types CODES into WIDGET as a user would: Enter for CR LF in a multi-line box, the
// Control Picture for any other control code.
void typeCodes(QWidget *widget, const std::string &codes)
{
    const bool multiLine = qobject_cast<TextBox *>(widget) != nullptr;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const auto code = static_cast<unsigned char>(codes[i]);
        if (multiLine && code == '\r' && i + 1 < codes.size() && codes[i + 1] == '\n') {
            QTest::keyClick(widget, Qt::Key_Return);
            ++i;
        } else if (code < 0x20) {
            typeCharacter(widget, 0x2400 + code);
        } else if (code == 0x7F) {
            typeCharacter(widget, 0x2421);
        } else {
            typeCharacter(widget, CodePage::toUnicode(code));
        }
    }
}

// The window under test with its controls found by name, as a user sees them.
struct Window {
    std::unique_ptr<KorMain> window = std::make_unique<KorMain>();
    std::array<QWidget *, 3> box{};
    std::array<QLabel *, 3> ctr{};
    std::array<QPushButton *, 3> copie{};

    Window()
    {
        for (int i = 0; i < 3; ++i) {
            box[i] = window->findChild<QWidget *>(QStringLiteral("txt%1").arg(i));
            ctr[i] = window->findChild<QLabel *>(QStringLiteral("ctr%1").arg(i));
            copie[i] = window->findChild<QPushButton *>(QStringLiteral("Copie%1").arg(i));
        }
        window->show();
    }

    CodeBox *codeBox(int i) const { return dynamic_cast<CodeBox *>(box[i]); }
    std::string text(int i) const { return codeBox(i)->codes(); }
    QString count(int i) const { return ctr[i]->text(); }
    std::array<QString, 3> counts() const { return {count(0), count(1), count(2)}; }
    bool buttonsEnabled() const
    {
        return copie[0]->isEnabled() && copie[1]->isEnabled() && copie[2]->isEnabled();
    }
    bool buttonsDisabled() const
    {
        return !copie[0]->isEnabled() && !copie[1]->isEnabled() && !copie[2]->isEnabled();
    }

    // Appends MORE to the key in a single edit: an assignment, or a paste at its end.
    void completeKey(Driver driver, const std::string &more)
    {
        if (driver == Driver::Assign) {
            window->setText(KorMain::Key, text(0) + more);
            return;
        }
        QGuiApplication::clipboard()->setText(QString::fromStdString(more));
        QTest::keyClick(box[0], Qt::Key_End);
        QTest::keySequence(box[0], QKeySequence::Paste);
    }

    // Replaces the text of box I, by assignment or by selecting all and typing over it.
    void set(Driver driver, int i, const std::string &codes)
    {
        if (driver == Driver::Assign) {
            window->setText(i, codes);
            return;
        }
        QTest::keySequence(box[i], QKeySequence::SelectAll);
        if (codes.empty())
            QTest::keyClick(box[i], Qt::Key_Delete);
        else
            typeCodes(box[i], codes);
    }
};

void addDrivers()
{
    QTest::addColumn<Driver>("driver");
    QTest::newRow("assignment") << Driver::Assign;
    QTest::newRow("key presses") << Driver::Keys;
}

} // namespace

Q_DECLARE_METATYPE(Driver)

class SyncTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QCOMPARE(ModCodeur::EnCours, std::int16_t{0}); }

    void shouldStartWithItsInitialTextsUnprocessed()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QCoreApplication::processEvents();
        QCOMPARE(w.text(0), std::string("Tesk"));
        QCOMPARE(w.text(1), std::string("Saisie"));
        QCOMPARE(w.text(2), std::string("Code"));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(w.count(i), QString());
            QCOMPARE(w.copie[i]->text(), QStringLiteral("Copy"));
        }
        QVERIFY(w.buttonsDisabled());
        // The code box holds a word, no code text: nothing to copy for a message either.
        QGuiApplication::clipboard()->setText(QStringLiteral("avant"));
        QTest::keyClick(w.box[1], Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("avant"));
    }

    void shouldReachTheWindowThroughItsInstance()
    {
        {
            Window w;
            QCOMPARE(KorMain::instance(), w.window.get());
            // Coder shows the plain length on the instance's ctr1.
            const std::string code = ModCodeur::Coder("abcdefg", "key");
            QCOMPARE(w.count(1), QStringLiteral("7"));
            QCOMPARE(ModCodeur::Decoder(code, "key"), std::string("abcdefg"));
        }
        // With no window left, the accessor builds one.
        std::unique_ptr<KorMain> created(KorMain::instance());
        QVERIFY(created);
        QCOMPARE(KorMain::instance(), created.get());
        QCOMPARE(created->text(KorMain::Plain), std::string("Saisie"));
    }

    // The boxes' behaviour is tested on its own; here, that the window reports each box's
    // edits to it and shows what it says, nested changes included.
    void shouldShowWhatTheBoxesDo_data() { addDrivers(); }
    void shouldShowWhatTheBoxesDo()
    {
        QFETCH(Driver, driver);
        Window w;
        std::array<std::vector<int>, 3> busyInChange;
        for (int i = 0; i < 3; ++i)
            connect(w.codeBox(i)->changes(), &BoxChanges::changed, this,
                    [&busyInChange, i] { busyInChange[i].push_back(ModCodeur::EnCours); });
        w.set(driver, KorMain::Key, "clef");
        QVERIFY(w.buttonsEnabled());
        QCOMPARE(w.counts(), (std::array<QString, 3>{"4", "6", QString::number(w.text(2).size())}));
        QCOMPARE(ModCodeur::Decoder(w.text(2), "clef"), std::string("Saisie"));
        QCOMPARE(busyInChange[2].back(), 1); // written inside the key's encoding

        w.set(driver, KorMain::Plain, "Un \xE9t\xE9\r\n\xE0 Paris \x80");
        QCOMPARE(ModCodeur::Decoder(w.text(2), "clef"), w.text(1));
        QCOMPARE(w.count(1), QStringLiteral("17"));
        QCOMPARE(busyInChange[2].back(), 2);

        const std::string carried = ModCodeur::Coder("salut \xFF\x01", "clef");
        w.set(driver, KorMain::Code, carried);
        QCOMPARE(w.text(1), std::string("salut \xFF\x01"));
        QCOMPARE(w.count(1), QStringLiteral("8"));

        w.set(driver, KorMain::Code, "");
        QCOMPARE(w.text(1), std::string()); // its change not held back
        QCOMPARE(busyInChange[1].back(), 0);
        w.set(driver, KorMain::Key, "c");
        QVERIFY(w.buttonsDisabled());
        QCOMPARE(w.window->findChild<QAction *>(QStringLiteral("copy-armored"))->isEnabled(),
                 false);
        QCOMPARE(ModCodeur::EnCours, std::int16_t{0});
    }

    void shouldCopyEachBoxAsRawText()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            QSKIP("this platform has no clipboard");
        Window w;
        w.set(Driver::Keys, KorMain::Key, "ab");
        // A final plain code 255 with a two-code key ends the code text in an escape whose
        // re-chosen position is code 0.
        w.set(Driver::Keys, KorMain::Plain,
              "\xC7"
              "a va\r\nmerci \x01\xA0\xFF");
        QCOMPARE(w.text(2).back(), '\0');
        for (int i = 0; i < 3; ++i) {
            const std::array<std::string, 3> texts = {w.text(0), w.text(1), w.text(2)};
            const auto counts = w.counts();
            QTest::mouseClick(w.copie[i], Qt::LeftButton);
            QCOMPARE(clipboard->text(), rawReference(texts[i]));
            QCOMPARE((std::array<std::string, 3>{w.text(0), w.text(1), w.text(2)}), texts);
            QCOMPARE(w.counts(), counts);
            QVERIFY(w.buttonsEnabled());
        }
    }

    void shouldCarryACodeTextToAnotherWindow()
    {
        if (!QGuiApplication::clipboard())
            QSKIP("this platform has no clipboard");
        std::mt19937 rng(5);
        std::uniform_int_distribution<int> code(1, 255);
        for (const std::string key : {"ab", "abc", "cl\xE9", "une clef"}) {
            std::string plain(40, ' ');
            for (char &c : plain)
                c = static_cast<char>(code(rng));
            {
                Window sender;
                sender.set(Driver::Assign, KorMain::Key, key);
                sender.set(Driver::Assign, KorMain::Plain, plain);
                QTest::mouseClick(sender.copie[2], Qt::LeftButton);
            }
            Window receiver;
            receiver.set(Driver::Assign, KorMain::Key, key);
            receiver.set(Driver::Keys, KorMain::Code, "");
            QTest::keySequence(receiver.box[2], QKeySequence::Paste);
            QVERIFY2(receiver.text(1) == plain, printable(plain).constData());
        }
    }

    void shouldCopyAnEmptyBoxAsEmptyText()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            QSKIP("this platform has no clipboard");
        Window w;
        w.set(Driver::Keys, KorMain::Plain, "");
        clipboard->setText(QStringLiteral("something"));
        QTest::mouseClick(w.copie[1], Qt::LeftButton);
        QCOMPARE(clipboard->text(), QString());
    }

    // Kept last: it runs and ends the application's event loop.
    void shouldEndTheProgramWhenItsWindowCloses()
    {
        QPointer<KorMain> window = KorMain::instance();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
        QTimer::singleShot(0, window.data(), [window] { window->close(); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); }); // not ended
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(window.isNull()); // the instance is deleted as the event loop ends
    }
};

QTEST_MAIN(SyncTest)
#include "window_sync_test.moc"
