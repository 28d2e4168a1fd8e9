// SPDX-License-Identifier: GPL-3.0-or-later
#include "clipboard.h"

#include "boxtext.h"
#include "x11selection.h"

#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>

namespace Clipboard {

namespace {

const QString &codesFormat()
{
    static const QString format = QString::fromLatin1(CodesFormat);
    return format;
}

// The property that singles out the mime data of a copy forgetSecrets() takes away.
constexpr char ForgottenProperty[] = "codetarvo-forgotten";

// Adds to DATA the marks of a secret. Qt's Windows platform (6.4) registers a format it does
// not know under the name given, as the system's readers of these marks look it up.
void markSecret(QMimeData *data)
{
    if (QGuiApplication::platformName() == u"windows") {
        const QByteArray dwordZero(4, '\0');
        for (const char *format : {"ExcludeClipboardContentFromMonitorProcessing",
                                   "CanIncludeInClipboardHistory", "CanUploadToCloudClipboard"})
            data->setData(QString::fromLatin1(format), dwordZero);
    } else {
        data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    }
}

std::optional<std::string> ownCodes(const QMimeData *source)
{
    if (!source || !source->hasFormat(codesFormat()))
        return std::nullopt;
    const QByteArray bytes = source->data(codesFormat());
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// NATIVE when it is TEXT with the final U+0000 that Qt's reading dropped.
bool restoresFinalZero(const std::optional<QString> &native, const QString &text)
{
    return native && native->size() == text.size() + 1 && native->back() == QChar(u'\0') &&
           native->startsWith(text);
}

// TEXT as Qt read it from the clipboard or selection MODE, with the final U+0000 that Qt
// (6.4) drops from the UTF8_STRING and STRING forms of another program's text put back. Qt's own
// copy is exact when this program owns MODE; otherwise the owner is asked again directly,
// and its answer is taken only when it is TEXT with one U+0000 more at the end, the one
// difference that reading causes.
QString untrimmed(QString text, QClipboard::Mode mode)
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (mode == QClipboard::FindBuffer || !X11Selection::available())
        return text;
    const bool owned =
        mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection();
    if (owned)
        return text;
    const auto native =
        X11Selection::text(mode == QClipboard::Clipboard ? X11Selection::Name::Clipboard
                                                         : X11Selection::Name::Primary);
    return restoresFinalZero(native, text) ? *native : text;
}

// The plain text of SOURCE, which lacks the own format, with the line breaks another program
// gave: Qt's Windows platform (Qt 6.4) reads each CR LF of the system's plain text as a lone
// LF (and writes each lone LF as CR LF), so there every LF it read was a CR LF, which a box
// keeps as its two codes. Every mime data this program makes holds the own format, but for
// the empty text, which has no line break to restore.
QString plainText(const QMimeData *source)
{
    QString text = source->text();
    if (QGuiApplication::platformName() == u"windows")
        text.replace(QChar(u'\n'), QStringLiteral("\r\n"));
    return text;
}

std::optional<std::string> codesOf(const QMimeData *source, std::optional<QClipboard::Mode> mode)
{
    if (auto codes = ownCodes(source))
        return codes;
    if (!source || !source->hasText())
        return std::nullopt;
    QString text = plainText(source);
    if (mode)
        text = untrimmed(std::move(text), *mode);
    return BoxText::fromRaw(text);
}

} // namespace

void putCodes(std::string_view codes, Secret secret, QClipboard::Mode mode)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard || (mode == QClipboard::Selection && !clipboard->supportsSelection()))
        return;
    clipboard->setMimeData(mimeData(codes, secret), mode);
}

void forgetSecrets()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    for (const QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
        if (mode == QClipboard::Selection && !clipboard->supportsSelection())
            continue;
        const bool owned =
            mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection();
        // While this program owns MODE, Qt hands back the very mime data it was given; a later
        // copy replaced (and deleted) it, and another program's copy ended the ownership.
        const QMimeData *data = owned ? clipboard->mimeData(mode) : nullptr;
        if (data && data->property(ForgottenProperty).toBool())
            clipboard->clear(mode);
    }
}

void putPlainText(std::string_view text)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::optional<std::string> codes(QClipboard::Mode mode)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard || (mode == QClipboard::Selection && !clipboard->supportsSelection()))
        return std::nullopt;
    return codesOf(clipboard->mimeData(mode), mode);
}

bool hasText(QClipboard::Mode mode)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard || (mode == QClipboard::Selection && !clipboard->supportsSelection()))
        return false;
    return carriesText(clipboard->mimeData(mode));
}

QMimeData *mimeData(std::string_view codes, Secret secret)
{
    auto *data = new QMimeData;
    data->setText(BoxText::toRaw(codes));
    // Windows hands an empty block back with a stray byte in it (Qt 6.4): the empty text goes
    // as plain text alone there, which reads back as the same empty codes.
    if (!codes.empty() || QGuiApplication::platformName() != u"windows")
        data->setData(codesFormat(),
                      QByteArray(codes.data(), static_cast<qsizetype>(codes.size())));
    if (secret != Secret::No)
        markSecret(data);
    if (secret == Secret::Forgotten)
        data->setProperty(ForgottenProperty, true);
    return data;
}

bool carriesText(const QMimeData *source)
{
    return source && (source->hasText() || source->hasFormat(codesFormat()));
}

void watchDrops()
{
    X11Selection::watchDrops();
}

std::unique_ptr<QMimeData> exactDrop(const QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (const auto codes = ownCodes(data)) {
        if (data->hasText() && data->text() == BoxText::toRaw(*codes))
            return nullptr;
        return std::unique_ptr<QMimeData>(mimeData(*codes));
    }
    // A drag from this program carries its own exact mime data; the drag's owner is asked
    // only while it is another program.
    if (event->source() || !data || !data->hasText() || !X11Selection::available())
        return nullptr;
    const QString text = data->text();
    const auto native = X11Selection::text(X11Selection::Name::Drag);
    if (!restoresFinalZero(native, text))
        return nullptr;
    auto exact = std::make_unique<QMimeData>();
    exact->setText(*native);
    return exact;
}

std::optional<std::string> codes(const QMimeData *source)
{
    // A box inserts the clipboard's or the selection's own mime data on some paths (Qt 6.4's
    // QPlainTextEdit pastes, from its menu or by a middle click, by handing
    // insertFromMimeData() that very object); those get the same exact reading as codes(mode).
    // Should Qt hand a copy, the plain text is read as Qt read it.
    std::optional<QClipboard::Mode> mode;
    if (const QClipboard *clipboard = QGuiApplication::clipboard(); clipboard && source) {
        if (source == clipboard->mimeData(QClipboard::Clipboard))
            mode = QClipboard::Clipboard;
        else if (clipboard->supportsSelection() &&
                 source == clipboard->mimeData(QClipboard::Selection))
            mode = QClipboard::Selection;
    }
    return codesOf(source, mode);
}

} // namespace Clipboard
