// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard on Qt's Windows platform, against the Windows clipboard as another program
// (Notepad) reads and writes it: CF_UNICODETEXT with its CR LF line breaks and its end at the
// first code 0, and the program's own format, registered under its MIME type's name. A key or
// a plain text carries the formats that keep it out of the clipboard history and the cloud
// clipboard, and closing the window takes a key it copied away.

#include "clipboard.h"
#include "window_testing.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QTest>

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

namespace {

// Opens the clipboard, which another program may hold for a moment.
bool openClipboard()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (OpenClipboard(nullptr))
            return true;
        Sleep(20);
    }
    return false;
}

// Replaces the clipboard with TEXT as CF_UNICODETEXT alone, as Notepad puts it there.
bool putUnicodeText(const std::wstring &text)
{
    if (!openClipboard())
        return false;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(block), text.c_str(), bytes);
    GlobalUnlock(block);
    const bool placed = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    return placed;
}

// The clipboard's block in FORMAT, whole, or nothing when it has none.
std::optional<QByteArray> block(UINT format)
{
    if (!openClipboard())
        return std::nullopt;
    std::optional<QByteArray> data;
    if (HANDLE handle = GetClipboardData(format)) {
        const auto *bytes = static_cast<const char *>(GlobalLock(handle));
        data = QByteArray(bytes, static_cast<qsizetype>(GlobalSize(handle)));
        GlobalUnlock(handle);
    }
    CloseClipboard();
    return data;
}

// The CF_UNICODETEXT text as a reader of NUL-terminated text sees it.
QString unicodeText()
{
    const auto data = block(CF_UNICODETEXT);
    return data ? QString::fromWCharArray(reinterpret_cast<const wchar_t *>(data->constData()))
                : QString();
}

const QString SecretFormats[] = {QStringLiteral("ExcludeClipboardContentFromMonitorProcessing"),
                                 QStringLiteral("CanIncludeInClipboardHistory"),
                                 QStringLiteral("CanUploadToCloudClipboard")};

} // namespace

class WindowClipboardWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != u"windows")
            QSKIP("needs Qt's windows platform (QT_QPA_PLATFORM=windows)");
    }

    void plainTextOfOtherProgramsKeepsItsLineBreaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("codes");
        QTest::newRow("CR LF") << QStringLiteral("ligne\r\nfin") << QByteArray("ligne\r\nfin");
        QTest::newRow("CR LF twice, at the end")
            << QStringLiteral("a\r\n\r\nb\r\n") << QByteArray("a\r\n\r\nb\r\n");
        QTest::newRow("lone CR, CR before CR LF")
            << QStringLiteral("a\rb\r\r\nc") << QByteArray("a\rb\r\r\nc");
        QTest::newRow("accents") << QStringLiteral("Caf\u00e9\r\n\u20ac")
                                 << QByteArray("Caf\xe9\r\n\x80");
    }
    void plainTextOfOtherProgramsKeepsItsLineBreaks()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, codes);
        QVERIFY(putUnicodeText(text.toStdWString()));
        QTRY_COMPARE(QByteArray::fromStdString(Clipboard::codes().value_or("(none)")), codes);
    }

    void copiedCodesReachTheWindowsClipboard_data()
    {
        QTest::addColumn<QByteArray>("codes");
        QTest::addColumn<QString>("plain");
        QTest::newRow("line breaks") << QByteArray("un\r\ndeux") << QStringLiteral("un\r\ndeux");
        // Lone LF and lone CR: Qt writes the LF as CR LF, only the own format keeps it.
        QTest::newRow("lone LF and CR") << QByteArray("a\nb\rc") << QStringLiteral("a\r\nb\rc");
        // CF_UNICODETEXT ends at the first code 0: other programs see the text before it.
        QTest::newRow("code 0 inside and at the end") << QByteArray("\x02"
                                                                    "ab\0cd\0",
                                                                    7)
                                                      << QStringLiteral("\u0002ab");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void copiedCodesReachTheWindowsClipboard()
    {
        QFETCH(QByteArray, codes);
        QFETCH(QString, plain);
        Clipboard::putCodes(codes.toStdString());
        QTRY_COMPARE(unicodeText(), plain);
        const UINT own = RegisterClipboardFormatW(
            reinterpret_cast<const wchar_t *>(QString::fromLatin1(Clipboard::CodesFormat).utf16()));
        const auto ownBlock = block(own);
        if (codes.isEmpty()) {
            // An empty block would come back with a stray byte: the empty text has none.
            QVERIFY(!ownBlock);
            QCOMPARE(Clipboard::codes().value_or("(none)"), std::string());
            return;
        }
        QVERIFY(ownBlock);
        // The block holds the codes exactly, not one byte more.
        QCOMPARE(ownBlock->toHex(' '), codes.toHex(' '));
    }

    // A key or a plain text adds the three formats under exactly their names, each a DWORD 0,
    // and keeps its text and own format. Closing the window takes away the key it copied, and
    // leaves the plain text.
    void secretsCarryTheirFormatsAndTheKeyLeavesWithTheWindow_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<bool>("secret");
        QTest::addColumn<bool>("forgotten");
        QTest::newRow("key") << 0 << true << true;
        QTest::newRow("plain text") << 1 << true << false;
        QTest::newRow("code text") << 2 << false << false;
    }
    void secretsCarryTheirFormatsAndTheKeyLeavesWithTheWindow()
    {
        QFETCH(int, box);
        QFETCH(bool, secret);
        QFETCH(bool, forgotten);
        KorMain window;
        window.show();
        window.setText(KorMain::Key, "Cl\xE9");
        window.setText(KorMain::Plain, "ligne\r\nfin");
        window.findChild<QPushButton *>(QStringLiteral("Copie%1").arg(box))->click();
        const UINT own = RegisterClipboardFormatW(
            QString::fromLatin1(Clipboard::CodesFormat).toStdWString().c_str());
        QTRY_COMPARE(block(own).value_or("(none)"), QByteArray::fromStdString(window.text(box)));
        for (const QString &name : SecretFormats) {
            const auto data = block(RegisterClipboardFormatW(name.toStdWString().c_str()));
            QCOMPARE(data.value_or("(none)").toHex(' '),
                     QByteArray(secret ? "\0\0\0\0" : "(none)", secret ? 4 : 6).toHex(' '));
        }
        window.close();
        QCOMPARE(block(own).has_value(), !forgotten);
        QCOMPARE(unicodeText().isEmpty(), forgotten);
    }
};

QTEST_MAIN(WindowClipboardWindowsTest)
#include "window_clipboard_windows_test.moc"
