// SPDX-License-Identifier: GPL-3.0-or-later
// The text boxes: every code 0-255 kept exactly through assignment, typing, copy and paste.

#include "codebox.h"
#include "codepage.h"
#include "window_testing.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <random>
#include <string>

namespace {

std::string allCodesFrom(int first)
{
    std::string codes(256, '\0');
    for (int i = 0; i < 256; ++i)
        codes[static_cast<std::size_t>(i)] = static_cast<char>((first + i) % 256);
    return codes;
}

// Texts rich in what widgets like to change: breaks, lone CR and LF, NUL, no-break space,
// soft hyphen, DEL and the undefined positions.
std::string randomTricky(std::mt19937 &rng)
{
    static const std::string alphabet = {'\r',   '\n',   '\r',   '\n',   '\0',   '\t',   ' ',
                                         '\xA0', '\x7F', '\x81', '\x8D', '\x9D', '\x80', '\xAD',
                                         'a',    'Z',    '\xE9', '\xFF', '\x01', '\x1F', '?'};
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string text(static_cast<std::size_t>(length(rng)), '\0');
    for (char &c : text)
        c = alphabet[pick(rng)];
    return text;
}

// Tricky texts around lines longer than a box's rows.
std::string longTricky(std::mt19937 &rng)
{
    std::string text;
    for (int piece = 0; piece < 4; ++piece)
        text += randomTricky(rng) + std::string(3000 + rng() % 3000, 'w');
    return text;
}

} // namespace

class BoxTest : public QObject {
    Q_OBJECT
private slots:
    void shouldKeepEveryCodeInEveryPosition_data() { addKinds(); }
    void shouldKeepEveryCodeInEveryPosition()
    {
        QFETCH(Kind, kind);
        Shown shown(kind);
        for (int first = 0; first < 256; ++first) {
            const std::string codes = allCodesFrom(first);
            shown.box->setCodes(codes);
            QVERIFY2(shown.box->codes() == codes, printable(codes).constData());
        }
    }

    void shouldKeepRandomTextsRichInControlCodes_data() { addKinds(); }
    void shouldKeepRandomTextsRichInControlCodes()
    {
        QFETCH(Kind, kind);
        Shown shown(kind);
        std::mt19937 rng(20261207); // fixed seed, so a failure reproduces
        for (int i = 0; i < 3000; ++i) {
            const std::string codes = i % 100 ? randomTricky(rng) : longTricky(rng);
            shown.box->setCodes(codes);
            QVERIFY2(shown.box->codes() == codes, printable(codes).constData());
        }
    }

    void shouldShowControlCodesAsPictures()
    {
        Shown key(Kind::Key);
        Shown text(Kind::Text);
        key.box->setCodes(std::string("\0\r\n\x1F\x7F", 5));
        QCOMPARE(key.shownText(), QString::fromUtf8("\u2400\u240D\u240A\u241F\u2421"));
        // In a multi-line box only the pair CR LF is a line break.
        text.box->setCodes(std::string("a\r\nb\n\rc\0\x7F", 9));
        QCOMPARE(text.shownText(), QString::fromUtf8("a\u2029b\u240A\u240Dc\u2400\u2421"));
        text.box->setCodes("\r\r\n\n");
        QCOMPARE(text.shownText(), QString::fromUtf8("\u240D\u2029\u240A"));
    }

    void shouldHoldKeysLongerThanALineEditsDefaultLimit()
    {
        Shown key(Kind::Key);
        const std::string codes(100000, 'k');
        key.box->setCodes(codes);
        QCOMPARE(key.box->codes().size(), codes.size());
        QTest::keyClick(key.widget.get(), Qt::Key_End);
        QTest::keyClick(key.widget.get(), 'x');
        QCOMPARE(key.box->codes().size(), codes.size() + 1);
    }

    void shouldRaiseOneChangePerRealAssignment_data() { addKinds(); }
    void shouldRaiseOneChangePerRealAssignment()
    {
        QFETCH(Kind, kind);
        Shown shown(kind);
        QSignalSpy spy = shown.spy();
        shown.box->setCodes("one\r\ntwo");
        QCOMPARE(spy.count(), 1);
        shown.box->setCodes("one\r\ntwo");
        QCOMPARE(spy.count(), 1); // the same text again changes nothing
        shown.box->setCodes("");
        QCOMPARE(spy.count(), 2);
        shown.box->setCodes(std::string(3, '\0'));
        QCOMPARE(spy.count(), 3);
    }

    void shouldRaiseOneChangePerKeystroke()
    {
        Shown text(Kind::Text);
        text.box->setCodes("");
        QSignalSpy spy = text.spy();
        QTest::keyClicks(text.widget.get(), "ab");
        QCOMPARE(spy.count(), 2);
        QTest::keyClick(text.widget.get(), Qt::Key_Return);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(text.box->codes(), std::string("ab\r\n")); // Enter counts 2
        QTest::keyClick(text.widget.get(), Qt::Key_Backspace);
        QCOMPARE(spy.count(), 4);
        QCOMPARE(text.box->codes(), std::string("ab"));

        Shown key(Kind::Key);
        key.box->setCodes("");
        QSignalSpy keySpy = key.spy();
        QTest::keyClicks(key.widget.get(), "xyz");
        QCOMPARE(keySpy.count(), 3);
        QTest::keyClick(key.widget.get(), Qt::Key_Return);
        QCOMPARE(keySpy.count(), 3);
        QCOMPARE(key.box->codes(), std::string("xyz"));
    }

    void shouldTypeUnrepresentableCharactersAsQuestionMarks_data() { addKinds(); }
    void shouldTypeUnrepresentableCharactersAsQuestionMarks()
    {
        QFETCH(Kind, kind);
        Shown shown(kind);
        shown.box->setCodes("<>");
        QTest::keyClick(shown.widget.get(), Qt::Key_Home);
        QTest::keyClick(shown.widget.get(), Qt::Key_Right);
        QSignalSpy spy = shown.spy();
        const std::u32string typed = U"\u0151\u0141\U0001F600\u4E2D\u20AC\u00E9";
        for (const char32_t c : typed)
            typeCharacter(shown.widget.get(), c);
        QCOMPARE(spy.count(), static_cast<int>(typed.size()));
        const std::string expected = "<????\x80\xE9>";
        QVERIFY2(shown.box->codes() == expected, printable(shown.box->codes()).constData());
        // The box shows what is encoded, and the cursor stayed after the typed text.
        QCOMPARE(shown.shownText(), QString::fromUtf8("<????\u20AC\u00E9>"));
        typeCharacter(shown.widget.get(), U'!');
        QCOMPARE(shown.box->codes(), std::string("<????\x80\xE9!>"));
    }

    void shouldTypePicturesAsTheirCodes_data() { addKinds(); }
    void shouldTypePicturesAsTheirCodes()
    {
        QFETCH(Kind, kind);
        Shown shown(kind);
        shown.box->setCodes("");
        for (const char32_t c : std::u32string(U"\u2400\u240D\u2421\u240D\u240A\u2420"))
            typeCharacter(shown.widget.get(), c);
        // U+2420 (symbol for space) is no picture of a code: the code page lacks it.
        QCOMPARE(shown.box->codes(), std::string("\0\r\x7F\r\n?", 6));
        // Typed pictures stay as typed, even a CR picture before an LF picture.
        QCOMPARE(shown.shownText(), QString::fromUtf8("\u2400\u240D\u2421\u240D\u240A?"));
    }

    void shouldTakeInputMethodTextAsTyped_data() { addKinds(); }
    void shouldTakeInputMethodTextAsTyped()
    {
        QFETCH(Kind, kind);
        Shown shown(kind);
        shown.box->setCodes("");
        QSignalSpy spy = shown.spy();
        QInputMethodEvent compose(QStringLiteral("\u0151"), {});
        QApplication::sendEvent(shown.widget.get(), &compose);
        QCOMPARE(spy.count(), 0); // text being composed is not in the box yet
        QInputMethodEvent commit;
        commit.setCommitString(QString::fromUtf8("\u0151\U0001F600\u00E9\t"));
        QApplication::sendEvent(shown.widget.get(), &commit);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(shown.box->codes(), std::string("??\xE9\t"));
        QCOMPARE(shown.shownText(), QString::fromUtf8("??\u00E9\u2409"));
    }

    void shouldTakeASoftLineBreakAsALineBreak()
    {
        Shown text(Kind::Text);
        text.box->setCodes("ab");
        QTest::keyClick(text.widget.get(), Qt::Key_End);
        QTest::keyClick(text.widget.get(), Qt::Key_Left);
        QTest::keyClick(text.widget.get(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(text.box->codes(), std::string("a\r\nb"));
        QCOMPARE(text.shownText(), QString::fromUtf8("a\u2029b"));
    }

    void shouldUndoAndRedoTypingOfUnrepresentableCharacters_data() { addKinds(); }
    void shouldUndoAndRedoTypingOfUnrepresentableCharacters()
    {
        QFETCH(Kind, kind);
        Shown shown(kind);
        shown.box->setCodes("ab");
        QTest::keyClick(shown.widget.get(), Qt::Key_End);
        typeCharacter(shown.widget.get(), U'\U0001F600');
        QCOMPARE(shown.box->codes(), std::string("ab?"));
        QSignalSpy spy = shown.spy();
        QTest::keySequence(shown.widget.get(), QKeySequence::Undo);
        QCOMPARE(shown.box->codes(), std::string("ab"));
        QTest::keySequence(shown.widget.get(), QKeySequence::Redo);
        QCOMPARE(shown.box->codes(), std::string("ab?"));
        QCOMPARE(spy.count(), 2);
    }

    void shouldCopyTheRawSelection_data() { addKinds(); }
    void shouldCopyTheRawSelection()
    {
        QFETCH(Kind, kind);
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            QSKIP("this platform has no clipboard");
        Shown shown(kind);
        for (int first = 0; first < 256; ++first) {
            const std::string codes = allCodesFrom(first) + "\r\n";
            shown.box->setCodes(codes);
            QTest::keySequence(shown.widget.get(), QKeySequence::SelectAll);
            QTest::keySequence(shown.widget.get(), QKeySequence::Copy);
            QCOMPARE(clipboard->text(), rawReference(codes));
        }
    }

    void shouldPasteRawTextExactly_data() { addKinds(); }
    void shouldPasteRawTextExactly()
    {
        QFETCH(Kind, kind);
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            QSKIP("this platform has no clipboard");
        Shown shown(kind);
        for (int first = 0; first < 256; ++first) {
            const std::string codes = allCodesFrom(first);
            shown.box->setCodes("");
            clipboard->setText(rawReference(codes));
            QSignalSpy spy = shown.spy();
            QTest::keySequence(shown.widget.get(), QKeySequence::Paste);
            QCOMPARE(spy.count(), 1);
            QVERIFY2(shown.box->codes() == codes, printable(codes).constData());
        }
    }

    void shouldRoundTripThroughCopyAndPaste_data() { addKinds(); }
    void shouldRoundTripThroughCopyAndPaste()
    {
        QFETCH(Kind, kind);
        if (!QGuiApplication::clipboard())
            QSKIP("this platform has no clipboard");
        Shown from(kind);
        Shown to(kind);
        std::mt19937 rng(77);
        for (int i = 0; i < 500; ++i) {
            const std::string codes = i % 50 ? randomTricky(rng) : longTricky(rng);
            from.box->setCodes(codes);
            to.box->setCodes("");
            // Copying an empty selection leaves the clipboard alone; it starts empty here.
            QGuiApplication::clipboard()->clear();
            QTest::keySequence(from.widget.get(), QKeySequence::SelectAll);
            QTest::keySequence(from.widget.get(), QKeySequence::Copy);
            QTest::keySequence(to.widget.get(), QKeySequence::Paste);
            QVERIFY2(to.box->codes() == codes, printable(codes).constData());
        }
    }

    void shouldPastePicturesAndControlCharactersAsCodes()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            QSKIP("this platform has no clipboard");
        Shown text(Kind::Text);
        text.box->setCodes("[]");
        QTest::keyClick(text.widget.get(), Qt::Key_Home);
        QTest::keyClick(text.widget.get(), Qt::Key_Right);
        clipboard->setText(
            QString::fromUtf8("\u2400\t\u2409\r\n\u240D\u240A\n\r\u2028\u2029\U0001F600"));
        QTest::keySequence(text.widget.get(), QKeySequence::Paste);
        QVERIFY2(text.box->codes() == std::string("[\0\t\t\r\n\r\n\n\r\r\n\r\n?]", 16),
                 printable(text.box->codes()).constData());
        // Control characters arrive as pictures; line breaks stay breaks.
        QCOMPARE(text.shownText(),
                 QString::fromUtf8("[\u2400\u2409\u2409\u2029\u2029\u240A\u240D\u2029\u2029?]"));

        Shown key(Kind::Key);
        key.box->setCodes("");
        clipboard->setText(QStringLiteral("a\r\nb\tc"));
        QTest::keySequence(key.widget.get(), QKeySequence::Paste);
        QCOMPARE(key.box->codes(), std::string("a\r\nb\tc"));
        QCOMPARE(key.shownText(), QString::fromUtf8("a\u240D\u240Ab\u2409c"));
    }

    void shouldCutTheRawSelection_data() { addKinds(); }
    void shouldCutTheRawSelection()
    {
        QFETCH(Kind, kind);
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            QSKIP("this platform has no clipboard");
        Shown shown(kind);
        shown.box->setCodes(std::string("\0\r\n\xA0", 4));
        QTest::keySequence(shown.widget.get(), QKeySequence::SelectAll);
        QSignalSpy spy = shown.spy();
        QTest::keySequence(shown.widget.get(), QKeySequence::Cut);
        QCOMPARE(clipboard->text(), QString::fromUtf8("\0\r\n\u00A0", 5));
        QCOMPARE(shown.box->codes(), std::string());
        QCOMPARE(spy.count(), 1);
    }

    void shouldIgnorePastingAnEmptyClipboard_data() { addKinds(); }
    void shouldIgnorePastingAnEmptyClipboard()
    {
        QFETCH(Kind, kind);
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            QSKIP("this platform has no clipboard");
        Shown shown(kind);
        shown.box->setCodes("keep");
        QSignalSpy spy = shown.spy();
        clipboard->clear();
        QTest::keySequence(shown.widget.get(), QKeySequence::Paste);
        auto *image = new QMimeData;
        image->setData(QStringLiteral("image/png"), QByteArray("\x89PNG", 4));
        clipboard->setMimeData(image);
        QTest::keySequence(shown.widget.get(), QKeySequence::Paste);
        QCOMPARE(shown.box->codes(), std::string("keep"));
        QCOMPARE(spy.count(), 0);
    }

    void shouldCopyAndPasteThroughTheContextMenu_data() { addKinds(); }
    void shouldCopyAndPasteThroughTheContextMenu()
    {
        QFETCH(Kind, kind);
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            QSKIP("this platform has no clipboard");
        Shown shown(kind);
        const std::string codes("\x01\x00\x02\r\n", 5);
        shown.box->setCodes(codes);
        QTest::keySequence(shown.widget.get(), QKeySequence::SelectAll);
        clipboard->setText(QStringLiteral("before"));
        QCOMPARE(triggerMenuEntry(shown.widget.get(), "edit-copy"), MenuEntry::Triggered);
        QCOMPARE(clipboard->text(), rawReference(codes));

        shown.box->setCodes("");
        QCOMPARE(triggerMenuEntry(shown.widget.get(), "edit-paste"), MenuEntry::Triggered);
        QVERIFY2(shown.box->codes() == codes, printable(shown.box->codes()).constData());
    }

    void shouldDropRawText()
    {
        Shown text(Kind::Text);
        text.box->setCodes("");
        QMimeData data;
        data.setText(QString::fromUtf8("\0x\r\ny\r", 6));
        text.drop(data);
        QVERIFY2(text.box->codes() == std::string("\0x\r\ny\r", 6),
                 printable(text.box->codes()).constData());
    }
};

QTEST_MAIN(BoxTest)
#include "window_box_test.moc"
