// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard on a real X server (an Xvfb of the test's own): texts another program (xclip)
// owns reach the boxes exactly by every way of pasting, down to a final code 0; the program's
// own copies reach other programs exactly; pasting with nothing on the clipboard does nothing.
// The key and the plain text leave every way marked for clipboard managers, and closing the
// window takes the key it left off the clipboard.

#include "armor.h"
#include "clipboard.h"
#include "codepage.h"
#include "failuretext.h"
#include "keybox.h"
#include "kormain.h"
#include "textbox.h"
#include "utf8_testing.h"
#include "window_testing.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int WaitMs = 5000;

// Xvfb on a display number it picks itself, for as long as the object lives.
class XServer {
public:
    XServer()
    {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return;
        const std::string fd = std::to_string(pipeFds[1]);
        std::string args[] = {"Xvfb",       "-displayfd", fd,    "-screen", "0",
                              "800x600x24", "-nolisten",  "tcp", "-noreset"};
        char *argv[std::size(args) + 1] = {};
        for (std::size_t i = 0; i < std::size(args); ++i)
            argv[i] = args[i].data();
        const int spawned = ::posix_spawnp(&m_pid, "Xvfb", nullptr, nullptr, argv, environ);
        ::close(pipeFds[1]);
        if (spawned != 0) {
            m_pid = -1;
            ::close(pipeFds[0]);
            return;
        }
        // Xvfb writes the display number once it accepts connections.
        std::string number;
        char c = 0;
        while (::read(pipeFds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(pipeFds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~XServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    [[nodiscard]] const std::string &display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// Runs PROCESS to its end while the event loop keeps running, so that this program can answer
// the selection requests it makes.
bool finish(QProcess &process)
{
    const QDeadlineTimer deadline(WaitMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        process.waitForFinished(10);
    }
    return process.state() == QProcess::NotRunning;
}

// What another program reads from SELECTION as TARGET, or nothing when it gets no text.
std::optional<QByteArray> readBack(const QString &selection, const QString &target)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), selection,
                                          QStringLiteral("-t"), target, QStringLiteral("-o")});
    if (!finish(xclip) || xclip.exitStatus() != QProcess::NormalExit || xclip.exitCode() != 0)
        return std::nullopt;
    return xclip.readAllStandardOutput();
}

// Waits until Qt reads TEXT as the clipboard's plain text.
bool clipboardReads(const QByteArray &text)
{
    const QDeadlineTimer deadline(WaitMs);
    while (QGuiApplication::clipboard()->text() != QString::fromUtf8(text) &&
           !deadline.hasExpired())
        QCoreApplication::processEvents();
    return QGuiApplication::clipboard()->text() == QString::fromUtf8(text);
}

// Another program (xclip) holding DATA as TARGET on SELECTION while the object lives.
class ForeignOwner {
public:
    ForeignOwner(const QByteArray &data, const QString &selection,
                 const QString &target = QStringLiteral("UTF8_STRING"))
        : m_selection(selection)
    {
        m_xclip.setStandardOutputFile(QProcess::nullDevice());
        m_xclip.start(QStringLiteral("xclip"),
                      {QStringLiteral("-quiet"), QStringLiteral("-loops"), QStringLiteral("0"),
                       QStringLiteral("-selection"), selection, QStringLiteral("-t"), target});
        if (!m_xclip.waitForStarted(WaitMs))
            return;
        m_xclip.write(data);
        while (m_xclip.bytesToWrite() > 0 && m_xclip.waitForBytesWritten(WaitMs)) {
        }
        m_xclip.closeWriteChannel();
        const QDeadlineTimer deadline(WaitMs);
        while (!m_owns && !deadline.hasExpired())
            m_owns = readBack(selection, target) == data;
    }
    ~ForeignOwner() { release(); }
    ForeignOwner(const ForeignOwner &) = delete;
    ForeignOwner &operator=(const ForeignOwner &) = delete;

    [[nodiscard]] bool owns() const { return m_owns; }

    // Ends the program: nothing owns the selection any more.
    void release()
    {
        if (m_xclip.state() == QProcess::NotRunning)
            return;
        m_xclip.terminate();
        m_xclip.waitForFinished(WaitMs);
        const QDeadlineTimer deadline(WaitMs);
        while (readBack(m_selection, QStringLiteral("TARGETS")) && !deadline.hasExpired()) {
        }
    }

private:
    QProcess m_xclip;
    QString m_selection;
    bool m_owns = false;
};

QString selectionName(QClipboard::Mode mode)
{
    return mode == QClipboard::Selection ? QStringLiteral("primary") : QStringLiteral("clipboard");
}

// Whether every code of CODES is a Latin-1 character, so that STRING can carry it.
bool fitsLatin1(const std::string &codes)
{
    for (const char code : codes)
        if (CodePage::toUnicode(static_cast<unsigned char>(code)) > 0xFF)
            return false;
    return true;
}

QByteArray bytes(const std::string &text)
{
    return QByteArray::fromStdString(text);
}

// Reads the clipboard MODE until it gives WANTED, for a while: Qt learns of a new owner a
// moment after it has taken the selection.
std::optional<std::string> settledCodes(QClipboard::Mode mode, const std::string &wanted)
{
    std::optional<std::string> read;
    const QDeadlineTimer deadline(WaitMs);
    do {
        QCoreApplication::processEvents();
        read = Clipboard::codes(mode);
    } while (read != wanted && !deadline.hasExpired());
    return read;
}

enum class Way { CtrlV, Menu, MiddleClick };

// The ways a text leaves a box.
enum class Out { CopyButton, CtrlC, CtrlX, MenuCopy, Select, Armored };

const QString Hint = QStringLiteral("x-kde-passwordManagerHint");

// The targets the owner of SELECTION offers, sorted; empty when nothing owns it.
QStringList targets(const QString &selection)
{
    const auto read = readBack(selection, QStringLiteral("TARGETS"));
    QStringList names =
        read ? QString::fromLatin1(*read).split(u'\n', Qt::SkipEmptyParts) : QStringList();
    names.sort();
    return names;
}

// Data columns "kind" and "way": a row for each kind of box with each of WAYS.
void addKindsAndWays(std::initializer_list<Way> ways)
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Way>("way");
    for (const Kind kind : {Kind::Key, Kind::Text})
        for (const Way way : ways)
            QTest::addRow("%s, %s", kindName(kind),
                          way == Way::CtrlV  ? "Ctrl+V"
                          : way == Way::Menu ? "context menu"
                                             : "middle click")
                << kind << way;
}

} // namespace

class ClipboardX11Test : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(QGuiApplication::clipboard()->supportsSelection());
    }

    void shouldReadForeignTextExactly_data()
    {
        QTest::addColumn<QByteArray>("codes");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QClipboard::Mode>("mode");
        std::string every(256, '\0');
        for (int i = 0; i < 256; ++i)
            every[static_cast<std::size_t>(i)] = static_cast<char>((i + 1) % 256);
        std::string everyLatin1;
        for (const char code : every)
            if (fitsLatin1(std::string(1, code)))
                everyLatin1 += code;
        const std::pair<const char *, std::string> texts[] = {
            {"escape ending in code 0", std::string("\x01\xC2\xC9\x01\xE8\x00", 6)},
            {"two final codes 0", std::string("ab\0\0", 4)},
            {"only code 0", std::string(1, '\0')},
            {"code 0 inside", std::string("a\0b", 3)},
            {"line breaks, lone CR and LF", "a\r\nb\rc\nd\r\n"},
            {"no-break space, soft hyphen", "\xA0x\xAD"},
            {"undefined positions", std::string("\x81\x8D\x8F\x90\x9D\0", 6)},
            {"every code, ending in 0", every},
            {"every Latin-1 code, ending in 0", everyLatin1},
        };
        for (const auto &[name, codes] : texts) {
            QTest::addRow("%s, UTF8_STRING", name)
                << bytes(codes) << QStringLiteral("UTF8_STRING") << QClipboard::Clipboard;
            QTest::addRow("%s, PRIMARY", name)
                << bytes(codes) << QStringLiteral("UTF8_STRING") << QClipboard::Selection;
            if (fitsLatin1(codes))
                QTest::addRow("%s, STRING", name)
                    << bytes(codes) << QStringLiteral("STRING") << QClipboard::Clipboard;
        }
    }
    void shouldReadForeignTextExactly()
    {
        QFETCH(QByteArray, codes);
        QFETCH(QString, target);
        QFETCH(QClipboard::Mode, mode);
        const std::string wanted = codes.toStdString();
        // STRING is Latin-1: each code is its own byte.
        const QByteArray data =
            target == QStringLiteral("STRING") ? codes : QByteArray::fromStdString(utf8Of(wanted));
        ForeignOwner owner(data, selectionName(mode), target);
        QVERIFY(owner.owns());
        const auto read = settledCodes(mode, wanted);
        QVERIFY2(read == wanted, printable(read.value_or("(nothing)")).constData());
    }

    void shouldReadRandomForeignTextsExactly()
    {
        std::mt19937 rng(20261207);
        static const std::string alphabet = {'\0', '\0',   '\r',   '\n',   '\x01', '\x1F',
                                             ' ',  '\xA0', '\x81', '\x9D', '\x80', 'a',
                                             'Z',  '\xE9', '\xFF', '\x7F', '\x8D'};
        std::uniform_int_distribution<int> length(1, 30);
        std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
        for (int round = 0; round < 30; ++round) {
            std::string codes(static_cast<std::size_t>(length(rng)), '\0');
            for (char &c : codes)
                c = alphabet[pick(rng)];
            ForeignOwner owner(QByteArray::fromStdString(utf8Of(codes)),
                               QStringLiteral("clipboard"));
            QVERIFY2(owner.owns(), printable(codes).constData());
            const auto read = settledCodes(QClipboard::Clipboard, codes);
            QVERIFY2(read == codes,
                     (printable(codes) + " read as " + printable(read.value_or("(nothing)")))
                         .constData());
        }
    }

    // Large texts travel in parts (INCR); the final code 0 must survive that too.
    void shouldReadAMegabyteForeignTextExactly()
    {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> code(0, 255);
        std::string codes(1'000'000, '\0');
        for (char &c : codes)
            c = static_cast<char>(code(rng));
        codes.back() = '\0';
        ForeignOwner owner(QByteArray::fromStdString(utf8Of(codes)), QStringLiteral("clipboard"));
        QVERIFY(owner.owns());
        const auto read = settledCodes(QClipboard::Clipboard, codes);
        QVERIFY(read.has_value());
        QCOMPARE(read->size(), codes.size());
        QVERIFY(*read == codes);
    }

    void shouldPasteForeignTextExactlyEveryWay_data()
    {
        addKindsAndWays({Way::CtrlV, Way::Menu, Way::MiddleClick});
    }
    void shouldPasteForeignTextExactlyEveryWay()
    {
        QFETCH(Kind, kind);
        QFETCH(Way, way);
        const std::string codes("\x01q\xE8\r\n\xA0\x01\xE8\x00", 9);
        const Shown shown(kind);
        CodeBox *box = shown.box;
        box->setCodes("");
        const QClipboard::Mode mode =
            way == Way::MiddleClick ? QClipboard::Selection : QClipboard::Clipboard;
        ForeignOwner owner(QByteArray::fromStdString(utf8Of(codes)), selectionName(mode));
        QVERIFY(owner.owns());
        QVERIFY(settledCodes(mode, codes) == codes);
        paste(shown.widget.get(), way);
        QVERIFY2(box->codes() == codes, printable(box->codes()).constData());
    }

    void shouldPasteNothingFromAnEmptyClipboard_data()
    {
        addKindsAndWays({Way::CtrlV, Way::Menu, Way::MiddleClick});
    }
    void shouldPasteNothingFromAnEmptyClipboard()
    {
        QFETCH(Kind, kind);
        QFETCH(Way, way);
        const Shown shown(kind);
        CodeBox *box = shown.box;
        box->setCodes("kept");
        for (const QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
            // The owner exits: with no clipboard manager, nothing holds the text any more.
            ForeignOwner owner("gone", selectionName(mode));
            QVERIFY(owner.owns());
            owner.release();
            QVERIFY(!readBack(selectionName(mode), QStringLiteral("TARGETS")));
            QTRY_VERIFY(!Clipboard::codes(mode));
        }
        paste(shown.widget.get(), way);
        QVERIFY2(box->codes() == "kept", printable(box->codes()).constData());
    }

    // An empty text from another program, pasted where nothing is selected, changes nothing.
    void shouldRaiseNothingPastingAnEmptyForeignText_data()
    {
        addKindsAndWays({Way::CtrlV, Way::MiddleClick});
    }
    void shouldRaiseNothingPastingAnEmptyForeignText()
    {
        QFETCH(Kind, kind);
        QFETCH(Way, way);
        const Shown shown(kind);
        CodeBox *box = shown.box;
        box->setCodes("kept");
        const QClipboard::Mode mode =
            way == Way::MiddleClick ? QClipboard::Selection : QClipboard::Clipboard;
        ForeignOwner owner("", selectionName(mode));
        QVERIFY(owner.owns());
        QVERIFY(settledCodes(mode, "") == std::string());
        QSignalSpy changes = shown.spy();
        paste(shown.widget.get(), way);
        QCOMPARE(changes.count(), 0);
        QCOMPARE(box->codes(), std::string("kept"));
    }

    // The program's own copies are exact for other programs too, the last of many in a row
    // wins, and reading its own clipboard back takes Qt's exact copy without asking itself.
    void shouldGiveOwnCopiesExactlyToOtherPrograms()
    {
        std::string last;
        for (int i = 0; i < 50; ++i) {
            last = std::string("\x01") + static_cast<char>('A' + i % 26) + '\x01' + '\xE8' + '\0';
            Clipboard::putCodes(last);
        }
        QVERIFY(QGuiApplication::clipboard()->ownsClipboard());
        const auto read = readBack(QStringLiteral("clipboard"), QStringLiteral("UTF8_STRING"));
        QVERIFY(read.has_value());
        QCOMPARE(*read, QByteArray::fromStdString(utf8Of(last)));
        QCOMPARE(readBack(QStringLiteral("clipboard"), QString::fromLatin1(Clipboard::CodesFormat)),
                 QByteArray::fromStdString(last));
        QVERIFY(Clipboard::codes() == last);
        TextBox box;
        box.show();
        box.setCodes("");
        QTest::keySequence(&box, QKeySequence::Paste);
        QVERIFY2(box.codes() == last, printable(box.codes()).constData());
    }

    // Another instance's copy: the own format wins over whatever plain text there is, and
    // keeps what X11 text would lose.
    void shouldReadAnotherInstancesCodesExactly()
    {
        for (const std::string &codes : {std::string("\x01\xC2\xC9\x01\xE8\x00", 6),
                                         std::string("a\nb\rc\0\0", 7), std::string()}) {
            ForeignOwner owner(QByteArray::fromStdString(codes), QStringLiteral("clipboard"),
                               QString::fromLatin1(Clipboard::CodesFormat));
            QVERIFY(owner.owns());
            const auto read = settledCodes(QClipboard::Clipboard, codes);
            QVERIFY2(read == codes, printable(read.value_or("(nothing)")).constData());
            KeyBox box;
            box.show();
            QTest::keySequence(&box, QKeySequence::Paste);
            QVERIFY2(box.codes() == codes, printable(box.codes()).constData());
        }
    }

    // Ctrl+Shift+C anywhere, or the code box's menu, copies the armored form; quoted in a
    // letter, it pastes back as its code text in one undo step; damaged, it enters nothing,
    // and "Erreur" says where until the code box changes.
    void shouldCarryTheCodeTextArmoredThroughALetter_data()
    {
        QTest::addColumn<QString>("from"); // the control with the focus, or the menu
        QTest::newRow("key box") << "txt0";
        QTest::newRow("plain box") << "txt1";
        QTest::newRow("Copy button") << "Copie2";
        QTest::newRow("code box's menu") << "menu";
    }
    void shouldCarryTheCodeTextArmoredThroughALetter()
    {
        QFETCH(QString, from);
        KorMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // No window manager here to activate the window, which window-wide shortcuts need.
        QApplication::setActiveWindow(&window);
        auto *code = window.findChild<TextBox *>(QStringLiteral("txt2"));
        auto *plain = window.findChild<TextBox *>(QStringLiteral("txt1"));
        const QKeySequence shortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
        QVERIFY(window.findChild<QPushButton *>(QStringLiteral("Copie2"))
                    ->toolTip()
                    .contains(shortcut.toString(QKeySequence::NativeText)));
        window.setText(KorMain::Key, "Cl\xE9-2024");
        const std::string letterText =
            "Pr\xE8s de l'\xE9t\xE9, \x80 100 :\r\n" + std::string(90, 'x');
        window.setText(KorMain::Plain, letterText);
        const std::string sent = window.text(KorMain::Code);
        if (from == u"menu") {
            QCOMPARE(triggerMenuEntry(code, "copy-armored"), MenuEntry::Triggered);
        } else {
            QWidget *focus = window.findChild<QWidget *>(from);
            focus->setFocus();
            QTest::keySequence(focus, shortcut);
        }
        const auto armored = readBack(QStringLiteral("clipboard"), QStringLiteral("UTF8_STRING"));
        QVERIFY(armored);
        QCOMPARE(*armored, QByteArray::fromStdString(Armor::armor(sent)));

        QByteArray letter = "Bonjour,\r\n\r\n";
        for (const QByteArray &line : armored->split('\n'))
            letter += "> " + line + "\r\n";
        letter += "\u00C0 bient\u00F4t\r\n";
        window.setText(KorMain::Plain, "autre");
        const std::string before = window.text(KorMain::Code);
        QByteArray damaged = letter;
        const auto third = damaged.indexOf("> " + armored->split('\n').at(2)) + 12;
        damaged[third] = damaged[third] == 'q' ? 'p' : 'q';
        const Armor::Dearmored reading = Armor::dearmor(damaged.toStdString());
        QCOMPARE(reading.line, std::size_t{3});
        for (const bool isDamaged : {true, false}) {
            const QByteArray &pasted = isDamaged ? damaged : letter;
            ForeignOwner owner(pasted, QStringLiteral("clipboard"));
            QVERIFY(owner.owns() && clipboardReads(pasted));
            code->selectAll();
            QTest::keySequence(code, QKeySequence::Paste);
            if (isDamaged) {
                QVERIFY(window.text(KorMain::Code) == before);
                QCOMPARE(window.text(KorMain::Plain), std::string("Erreur"));
                QCOMPARE(plain->toolTip(),
                         QString::fromStdString(FailureText::armorDamaged(reading.problem, 3)));
                QVERIFY(plain->accessibleDescription().endsWith(plain->toolTip()));
                QMimeData dragged;
                dragged.setText(QString::fromUtf8(damaged));
                // Shift: a move, which would take the text away from its source.
                QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &dragged,
                                      Qt::LeftButton, Qt::ShiftModifier);
                QApplication::sendEvent(code->viewport(), &enter);
                QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &dragged,
                                Qt::LeftButton, Qt::ShiftModifier);
                QApplication::sendEvent(code->viewport(), &drop);
                QVERIFY(drop.isAccepted());
                QCOMPARE(drop.dropAction(), Qt::CopyAction);
                QVERIFY(window.text(KorMain::Code) == before);
            }
        }
        QVERIFY(window.text(KorMain::Code) == sent);
        QVERIFY(window.text(KorMain::Plain) == letterText);
        QCOMPARE(plain->toolTip(), QString());
        QTest::keySequence(code, QKeySequence::Undo);
        QVERIFY(window.text(KorMain::Code) == before);
    }

    // Every way out of the key and the plain box offers, beside the usual targets, the hint
    // that asks clipboard managers to keep the text out of their histories; the code text
    // and its armored form go without it. The text stays exact.
    void shouldMarkKeysAndPlainTextsAsSecrets_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<Out>("out");
        QTest::addColumn<bool>("secret");
        const std::pair<const char *, Out> outs[] = {
            {"Copy button", Out::CopyButton}, {"Ctrl+C", Out::CtrlC},     {"Ctrl+X", Out::CtrlX},
            {"menu's Copy", Out::MenuCopy},   {"selection", Out::Select},
        };
        const std::pair<const char *, const char *> boxes[] = {
            {"key box", "txt0"}, {"plain box", "txt1"}, {"code box", "txt2"}};
        for (const auto &[boxName, box] : boxes)
            for (const auto &[outName, out] : outs)
                QTest::addRow("%s, %s", boxName, outName)
                    << QString::fromLatin1(box) << out << (box != std::string_view("txt2"));
        QTest::newRow("armored code text") << QStringLiteral("txt2") << Out::Armored << false;
    }
    void shouldMarkKeysAndPlainTextsAsSecrets()
    {
        QFETCH(QString, box);
        QFETCH(Out, out);
        QFETCH(bool, secret);
        KorMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
        window.setText(KorMain::Key, "Cl\xE9\x01\x7F");
        window.setText(KorMain::Plain, "Pr\xE8s\r\n\xA0\x80\x01 fin");
        auto *widget = window.findChild<QWidget *>(box);
        const int i = box.back().digitValue();
        const std::string codes =
            out == Out::Armored ? Armor::armor(window.text(KorMain::Code)) : window.text(i);
        const QClipboard::Mode mode =
            out == Out::Select ? QClipboard::Selection : QClipboard::Clipboard;
        const QString selection = selectionName(mode);
        // What an ordinary copy of the same text offers.
        if (out == Out::Armored)
            Clipboard::putPlainText(codes);
        else
            Clipboard::putCodes(codes, Clipboard::Secret::No, mode);
        QStringList wanted = targets(selection);
        QVERIFY(!wanted.isEmpty() && !wanted.contains(Hint));
        if (secret) {
            wanted.append(Hint);
            wanted.sort();
        }
        QGuiApplication::clipboard()->clear(mode);

        // Selecting puts the text in the selection.
        widget->setFocus();
        QTest::keySequence(widget, QKeySequence::SelectAll);
        switch (out) {
        case Out::CopyButton:
            window.findChild<QPushButton *>(QStringLiteral("Copie%1").arg(i))->click();
            break;
        case Out::CtrlC:
            QTest::keySequence(widget, QKeySequence::Copy);
            break;
        case Out::CtrlX:
            QTest::keySequence(widget, QKeySequence::Cut);
            break;
        case Out::MenuCopy:
            QCOMPARE(triggerMenuEntry(widget, "edit-copy"), MenuEntry::Triggered);
            break;
        case Out::Select:
            break;
        case Out::Armored:
            QTest::keySequence(widget, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
            break;
        }
        QCOMPARE(targets(selection), wanted);
        if (secret)
            QCOMPARE(readBack(selection, Hint), QByteArray("secret"));
        QCOMPARE(readBack(selection, QStringLiteral("UTF8_STRING")),
                 QByteArray::fromStdString(out == Out::Armored ? codes : utf8Of(codes)));
        if (out != Out::Armored)
            QCOMPARE(readBack(selection, QString::fromLatin1(Clipboard::CodesFormat)),
                     QByteArray::fromStdString(codes));
    }

    // Closing the window takes off the clipboard and the selection a key it put there and
    // that is still there; whatever was copied since stays, even the same key from another
    // program, and so does a plain text.
    void shouldForgetTheKeyOnClosing_data()
    {
        QTest::addColumn<QStringList>("copies"); // Copy buttons, Ctrl+C in the key box, xclip
        QTest::addColumn<QString>("left");       // the box whose text stays, xclip's, or none
        QTest::newRow("key") << QStringList{"Copie0"} << QString();
        QTest::newRow("key by Ctrl+C") << QStringList{"Ctrl+C"} << QString();
        QTest::newRow("plain text") << QStringList{"Copie1"} << QStringLiteral("txt1");
        QTest::newRow("code text") << QStringList{"Copie2"} << QStringLiteral("txt2");
        QTest::newRow("key, then the plain text")
            << QStringList{"Copie0", "Copie1"} << QStringLiteral("txt1");
        QTest::newRow("key, then the same key from another program")
            << QStringList{"Copie0", "xclip"} << QStringLiteral("xclip");
    }
    void shouldForgetTheKeyOnClosing()
    {
        QFETCH(QStringList, copies);
        QFETCH(QString, left);
        KorMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
        window.setText(KorMain::Key, "Cl\xE9\x01");
        window.setText(KorMain::Plain, "garde\r\nmoi");
        const std::string key = window.text(KorMain::Key);
        auto *keyBox = window.findChild<KeyBox *>(QStringLiteral("txt0"));
        // Selecting the key puts it in the selection too.
        keyBox->setFocus();
        QTest::keySequence(keyBox, QKeySequence::SelectAll);
        QVERIFY(settledCodes(QClipboard::Selection, key) == key);
        std::unique_ptr<ForeignOwner> foreign;
        for (const QString &copy : copies) {
            if (copy == u"xclip") {
                foreign = std::make_unique<ForeignOwner>(QByteArray::fromStdString(utf8Of(key)),
                                                         QStringLiteral("clipboard"));
                QVERIFY(foreign->owns());
            } else if (copy == u"Ctrl+C") {
                QTest::keySequence(keyBox, QKeySequence::Copy);
            } else {
                window.findChild<QPushButton *>(copy)->click();
            }
        }
        window.close();
        QVERIFY(targets(QStringLiteral("primary")).isEmpty());
        if (left.isEmpty()) {
            QVERIFY(targets(QStringLiteral("clipboard")).isEmpty());
            return;
        }
        const std::string kept = left == u"xclip" ? key : window.text(left.back().digitValue());
        QCOMPARE(QGuiApplication::clipboard()->ownsClipboard(), left != u"xclip");
        QCOMPARE(readBack(QStringLiteral("clipboard"), QStringLiteral("UTF8_STRING")),
                 QByteArray::fromStdString(utf8Of(kept)));
    }

private:
    static void paste(QWidget *widget, Way way)
    {
        QWidget *target = widget;
        if (auto *editor = qobject_cast<QAbstractScrollArea *>(widget))
            target = editor->viewport();
        switch (way) {
        case Way::CtrlV:
            QTest::keySequence(widget, QKeySequence::Paste);
            break;
        case Way::Menu:
            QVERIFY(triggerMenuEntry(widget, "edit-paste") != MenuEntry::Missing);
            break;
        case Way::MiddleClick:
            QTest::mouseClick(target, Qt::MiddleButton, Qt::NoModifier, QPoint(5, 5));
            break;
        }
    }
};

int main(int argc, char *argv[])
{
    const XServer server;
    if (server.display().empty()) {
        std::fputs("window_clipboard_x11_test: could not start Xvfb\n", stderr);
        return 1;
    }
    qputenv("DISPLAY", QByteArray::fromStdString(server.display()));
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("XAUTHORITY");
    QApplication app(argc, argv);
    ClipboardX11Test test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_clipboard_x11_test.moc"
