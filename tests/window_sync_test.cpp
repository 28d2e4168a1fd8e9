// SPDX-License-Identifier: GPL-3.0-or-later
// KorMain's live synchronisation, driven through the real widgets by key presses and by
// assignment, checked against the cipher called directly.

#include "codepage.h"
#include "kormain.h"
#include "modcodeur.h"
#include "textbox.h"
#include "window_testing.h"

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

    void shouldOnlyToggleButtonsWhileTheKeyIsShort_data() { addDrivers(); }
    void shouldOnlyToggleButtonsWhileTheKeyIsShort()
    {
        QFETCH(Driver, driver);
        Window w;
        w.set(driver, KorMain::Key, "clef");
        QVERIFY(w.buttonsEnabled());
        const auto counts = w.counts();
        const std::string code = w.text(2);
        w.set(driver, KorMain::Key, "c");
        QVERIFY(w.buttonsDisabled());
        QCOMPARE(w.counts(), counts); // ctr0 keeps the previous count
        QCOMPARE(w.text(2), code);
        w.set(driver, KorMain::Plain, "autre");
        w.set(driver, KorMain::Code, "");
        QCOMPARE(w.text(1), std::string("autre"));
        QCOMPARE(w.counts(), counts);
        QVERIFY(w.buttonsDisabled());
        w.set(driver, KorMain::Key, "");
        QVERIFY(w.buttonsDisabled());
        QCOMPARE(w.counts(), counts);
    }

    void shouldEncodeWhenTheKeyChanges_data() { addDrivers(); }
    void shouldEncodeWhenTheKeyChanges()
    {
        QFETCH(Driver, driver);
        Window w;
        std::vector<int> busyInNestedChange;
        connect(w.codeBox(2)->changes(), &BoxChanges::changed, this,
                [&] { busyInNestedChange.push_back(ModCodeur::EnCours); });
        w.set(driver, KorMain::Key, "clef");
        QVERIFY(w.buttonsEnabled());
        QCOMPARE(w.count(0), QStringLiteral("4"));
        QCOMPARE(w.count(1), QStringLiteral("6"));
        QCOMPARE(w.count(2), QString::number(w.text(2).size()));
        QCOMPARE(ModCodeur::Decoder(w.text(2), "clef"), std::string("Saisie"));
        QCOMPARE(w.text(1), std::string("Saisie"));
        // The code box's change ran inside the assignment, while the key encoding was busy.
        QVERIFY(!busyInNestedChange.empty());
        QCOMPARE(busyInNestedChange.back(), 1);
    }

    // Key-driven decoding needs the whole key in one edit: typed one character at a time,
    // a key of two characters or more would already decode with its first two. A user gets
    // there by completing a two-character key, or by pasting the key.
    void shouldDecodeIntoAnEmptyPlainBoxWhenTheKeyChanges_data() { addDrivers(); }
    void shouldDecodeIntoAnEmptyPlainBoxWhenTheKeyChanges()
    {
        QFETCH(Driver, driver);
        const std::string carried = ModCodeur::Coder("bonjour\r\n\xE0 toi", "cl");
        Window w;
        w.set(driver, KorMain::Key, "c"); // too short: nothing converts while we set up
        w.set(driver, KorMain::Plain, "");
        w.set(Driver::Assign, KorMain::Code, carried);
        w.completeKey(driver, "l");
        QCOMPARE(w.text(1), std::string("bonjour\r\n\xE0 toi"));
        // The decoded text was encoded again into the code box, with fresh offsets.
        QCOMPARE(ModCodeur::Decoder(w.text(2), "cl"), w.text(1));
        QCOMPARE(w.count(0), QStringLiteral("2"));
        QCOMPARE(w.count(1), QStringLiteral("14"));
        QCOMPARE(w.count(2), QString::number(w.text(2).size()));
    }

    void shouldShowErreurWhenTheKeyDoesNotFitAnEmptyPlainBox_data() { addDrivers(); }
    void shouldShowErreurWhenTheKeyDoesNotFitAnEmptyPlainBox()
    {
        QFETCH(Driver, driver);
        Window w;
        w.set(driver, KorMain::Key, "c");
        w.set(driver, KorMain::Plain, "");
        w.set(driver, KorMain::Code, "\x02zz"); // start offset outside a 2-code key
        const auto counts = w.counts();
        w.completeKey(driver, "l");
        QCOMPARE(w.text(1), std::string("Erreur"));
        QCOMPARE(w.text(2), std::string("\x02zz")); // left as it was
        QCOMPARE(w.count(0), QStringLiteral("2"));
        QCOMPARE(w.count(1), counts[1]);
        QCOMPARE(w.count(2), counts[2]);

        // Both boxes empty: decoding the empty code text fails too.
        w.set(driver, KorMain::Key, "c");
        w.set(driver, KorMain::Plain, "");
        w.set(driver, KorMain::Code, "");
        w.completeKey(driver, "l");
        QCOMPARE(w.text(1), std::string("Erreur"));
        QCOMPARE(w.text(2), std::string());
    }

    void shouldNeverEncodeErreur_data() { addDrivers(); }
    void shouldNeverEncodeErreur()
    {
        QFETCH(Driver, driver);
        Window w;
        w.set(driver, KorMain::Key, "clef");
        w.set(driver, KorMain::Code, "\x01\x05"); // an escape cut short
        QCOMPARE(w.text(1), std::string("Erreur"));
        QCOMPARE(w.count(1), QStringLiteral("6"));
        QCOMPARE(w.text(2), std::string("\x01\x05"));
        const auto counts = w.counts();

        // Editing the key with "Erreur" shown only updates the buttons and ctr0.
        w.set(driver, KorMain::Key, "c");
        QVERIFY(w.buttonsDisabled());
        w.set(driver, KorMain::Key, "autre clef");
        QVERIFY(w.buttonsEnabled());
        QCOMPARE(w.text(1), std::string("Erreur"));
        QCOMPARE(w.text(2), std::string("\x01\x05"));
        QCOMPARE(w.count(0), QStringLiteral("10"));
        QCOMPARE(w.count(1), counts[1]);
        QCOMPARE(w.count(2), counts[2]);

        // Once the user edits "Erreur" into something else, encoding resumes.
        QTest::keyClick(w.box[1], Qt::Key_End);
        QTest::keyClick(w.box[1], 's');
        QCOMPARE(w.text(1), std::string("Erreurs"));
        QCOMPARE(ModCodeur::Decoder(w.text(2), "autre clef"), std::string("Erreurs"));
        QCOMPARE(w.count(1), QStringLiteral("7"));
    }

    void shouldKeepTheCodeWhileErreurIsTyped()
    {
        Window w;
        w.set(Driver::Keys, KorMain::Key, "clef");
        w.set(Driver::Keys, KorMain::Plain, "Erreu");
        const std::string code = w.text(2);
        QCOMPARE(ModCodeur::Decoder(code, "clef"), std::string("Erreu"));
        QTest::keyClick(w.box[1], 'r');
        QCOMPARE(w.text(1), std::string("Erreur"));
        QCOMPARE(w.text(2), code);
        QCOMPARE(w.count(1), QStringLiteral("5"));
    }

    void shouldEncodeThePlainText_data() { addDrivers(); }
    void shouldEncodeThePlainText()
    {
        QFETCH(Driver, driver);
        Window w;
        std::vector<int> busyInNestedChange;
        connect(w.codeBox(2)->changes(), &BoxChanges::changed, this,
                [&] { busyInNestedChange.push_back(ModCodeur::EnCours); });
        w.set(driver, KorMain::Plain, "Un \xE9t\xE9\r\n\xE0 Paris \x80");
        QVERIFY(w.buttonsEnabled());
        QCOMPARE(w.count(0), QString()); // the key was never edited
        QCOMPARE(w.count(1), QStringLiteral("17"));
        QCOMPARE(w.count(2), QString::number(w.text(2).size()));
        QCOMPARE(ModCodeur::Decoder(w.text(2), "Tesk"),
                 std::string("Un \xE9t\xE9\r\n\xE0 Paris \x80"));
        QCOMPARE(busyInNestedChange.back(), 2);
    }

    void shouldEmptyTheCodeWithThePlainText_data() { addDrivers(); }
    void shouldEmptyTheCodeWithThePlainText()
    {
        QFETCH(Driver, driver);
        Window w;
        w.set(driver, KorMain::Plain, "abc");
        const auto counts = w.counts();
        w.set(driver, KorMain::Plain, "");
        QCOMPARE(w.text(2), std::string());
        QCOMPARE(w.counts(), counts);
    }

    void shouldDecodeTheCodeText_data() { addDrivers(); }
    void shouldDecodeTheCodeText()
    {
        QFETCH(Driver, driver);
        const std::string carried = ModCodeur::Coder("salut \xFF\x01", "clef");
        Window w;
        w.set(driver, KorMain::Key, "clef");
        const auto before = w.counts();
        std::vector<int> busyInNestedChange;
        connect(w.codeBox(1)->changes(), &BoxChanges::changed, this,
                [&] { busyInNestedChange.push_back(ModCodeur::EnCours); });
        w.set(driver, KorMain::Code, carried);
        QCOMPARE(w.text(2), carried);
        QCOMPARE(w.text(1), std::string("salut \xFF\x01"));
        QCOMPARE(w.count(1), QStringLiteral("8"));
        QCOMPARE(w.count(0), before[0]);
        QCOMPARE(w.count(2), before[2]);
        QCOMPARE(busyInNestedChange.back(), 2);
    }

    void shouldEmptyThePlainTextWithTheCode_data() { addDrivers(); }
    void shouldEmptyThePlainTextWithTheCode()
    {
        QFETCH(Driver, driver);
        Window w;
        w.set(driver, KorMain::Plain, "abc");
        const auto counts = w.counts();
        // The guard is already down when the plain box is emptied: its change runs once.
        std::vector<int> busyInNestedChange;
        connect(w.codeBox(1)->changes(), &BoxChanges::changed, this,
                [&] { busyInNestedChange.push_back(ModCodeur::EnCours); });
        w.set(driver, KorMain::Code, "");
        QCOMPARE(w.text(1), std::string());
        QCOMPARE(w.counts(), counts);
        QCOMPARE(busyInNestedChange, std::vector<int>{0});
    }

    void shouldKeepTheCodeDecodingToThePlainTextWhileTyping()
    {
        std::mt19937 rng(4242); // fixed seed, so a failure reproduces
        const std::u32string alphabet =
            U"abcdefghijklmnopqrstuvwxyz ABCXYZ0123456789.,'éèàçÿ€œ«»\u00A0\n";
        std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
        std::uniform_int_distribution<int> keyLength(2, 7);
        std::uniform_int_distribution<int> keyCode(0x21, 0x7E);
        for (int round = 0; round < 12; ++round) {
            Window w;
            std::string key(static_cast<std::size_t>(keyLength(rng)), ' ');
            for (char &c : key)
                c = static_cast<char>(keyCode(rng));
            w.set(Driver::Assign, KorMain::Key, key);
            w.set(Driver::Keys, KorMain::Plain, "");
            std::string typed;
            for (int stroke = 0; stroke < 60; ++stroke) {
                const char32_t c = alphabet[pick(rng)];
                if (c == U'\n') {
                    QTest::keyClick(w.box[1], Qt::Key_Return);
                    typed += "\r\n";
                } else {
                    typeCharacter(w.box[1], c);
                    typed += static_cast<char>(*CodePage::fromUnicode(c));
                }
                const QByteArray context = "key " + printable(key) + " typed " + printable(typed);
                QVERIFY2(w.text(1) == typed, context.constData());
                QVERIFY2(ModCodeur::Decoder(w.text(2), key) == typed, context.constData());
                QVERIFY2(w.count(1) == QString::number(typed.size()), context.constData());
                QVERIFY2(w.count(2) == QString::number(w.text(2).size()), context.constData());
            }
        }
    }

    void shouldKeepThePlainTextTheDecodingOfTypedCode()
    {
        std::mt19937 rng(99);
        std::uniform_int_distribution<int> code(0, 255);
        for (int round = 0; round < 10; ++round) {
            Window w;
            w.set(Driver::Assign, KorMain::Key, "ab");
            w.set(Driver::Keys, KorMain::Code, "");
            std::string typed;
            for (int stroke = 0; stroke < 30; ++stroke) {
                // Mostly units the key fits, sometimes escapes and positions.
                int unit = stroke == 0 ? 1 : code(rng);
                // CR LF would type as a line break; the five undefined positions are
                // controls no keyboard types (they arrive by pasting).
                const char32_t shown = CodePage::toUnicode(static_cast<unsigned char>(unit));
                if (unit == '\r' || unit == '\n' || (shown >= 0x80 && shown < 0xA0))
                    unit = 'x';
                typed += static_cast<char>(unit);
                typeCodes(w.box[2], std::string(1, static_cast<char>(unit)));
                const QByteArray context = "typed " + printable(typed);
                QVERIFY2(w.text(2) == typed, context.constData());
                QVERIFY2(w.text(1) == ModCodeur::Decoder(typed, "ab"), context.constData());
                QVERIFY2(w.count(1) == QString::number(w.text(1).size()), context.constData());
            }
        }
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
