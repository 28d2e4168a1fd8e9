// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's only access to the system clipboard. Texts go there twice: in raw form (real
// control characters, CR LF line breaks; see boxtext.h) as plain text for other programs, and
// as the codes themselves in the program's own format. They come back as codes, from the own
// format when it is there, otherwise from the plain text. A key or a plain text goes marked
// as a secret, which clipboard managers keep out of their histories (see Secret).

#include <QClipboard>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QDropEvent;
class QMimeData;

namespace Clipboard {

// The program's own format: one byte per code, nothing added or converted. Instances hand
// each other code texts exactly through it where a platform's text conversion is lossy (a
// final code 0, lone line feeds). Named after the application id by the build.
inline constexpr char CodesFormat[] = CODETARVO_CODES_FORMAT;

// How a copy is offered to the programs that watch the clipboard. A secret carries, beside
// its text, the marks that ask clipboard managers to keep it out of their histories and off
// other devices: on Windows the formats "ExcludeClipboardContentFromMonitorProcessing",
// "CanIncludeInClipboardHistory" and "CanUploadToCloudClipboard", each holding a DWORD 0,
// elsewhere "x-kde-passwordManagerHint" holding "secret". A manager that ignores them keeps
// the text all the same.
enum class Secret {
    // Made to be shared: no mark.
    No,
    // Marked, and left on the clipboard for as long as the system keeps it.
    Kept,
    // Marked, and taken off the clipboard by forgetSecrets() while it is still there.
    Forgotten,
};

// Places CODES on the clipboard (or the X11 selection, where there is one) as plain text and
// in the own format, marked as SECRET says, replacing what was there; the empty text is
// placed too.
void putCodes(std::string_view codes, Secret secret = Secret::No,
              QClipboard::Mode mode = QClipboard::Clipboard);
// Places TEXT (UTF-8) on the clipboard as plain text alone, for other programs.
void putPlainText(std::string_view text);

// The codes on the clipboard, or nothing when it holds neither format. On X11 a plain text
// another program owns is read exactly, down to a final code 0; on Windows with its CR LF
// line breaks.
[[nodiscard]] std::optional<std::string> codes(QClipboard::Mode mode = QClipboard::Clipboard);
// Whether the clipboard holds codes or plain text, without reading them.
[[nodiscard]] bool hasText(QClipboard::Mode mode = QClipboard::Clipboard);

// Mime data carrying CODES in both formats, marked as SECRET says, for copying and dragging
// out of a box.
[[nodiscard]] QMimeData *mimeData(std::string_view codes, Secret secret = Secret::No);
// Empties the clipboard and the selection where they still hold, the very same, a copy made
// here as Secret::Forgotten. Whatever was copied after it, here or in another program, stays.
void forgetSecrets();
// Whether SOURCE carries codes or plain text.
[[nodiscard]] bool carriesText(const QMimeData *source);
// The codes SOURCE carries, or nothing when it is null or holds neither format. When SOURCE
// is the clipboard's or the selection's own data, it is read as codes(mode) reads it.
[[nodiscard]] std::optional<std::string> codes(const QMimeData *source);

// Prepares exactDrop(); a box that takes drops calls it when it is made.
void watchDrops();
// Mime data whose plain text holds the dropped codes exactly, for a widget that reads only
// the plain text: the own format's codes (kept in the own format too), or for text dragged
// from another program the final code 0 that Qt's reading lost. Null when the drop's plain
// text is exact already.
[[nodiscard]] std::unique_ptr<QMimeData> exactDrop(const QDropEvent *event);

} // namespace Clipboard
