// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's only access to the system clipboard. Texts go there in raw form (real
// control characters, CR LF line breaks; see boxtext.h) as plain text, and come back as
// codes.

#include <QClipboard>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QDropEvent;
class QMimeData;

namespace Clipboard {

// Places CODES on the clipboard (or the X11 selection, where there is one) as plain text,
// replacing what was there; the empty text is placed too.
void putCodes(std::string_view codes, QClipboard::Mode mode = QClipboard::Clipboard);

// The codes of the plain text on the clipboard, or nothing when it holds no text. On X11 a
// text another program owns is read exactly, down to a final code 0.
[[nodiscard]] std::optional<std::string> codes(QClipboard::Mode mode = QClipboard::Clipboard);
// Whether the clipboard holds plain text, without reading it.
[[nodiscard]] bool hasText(QClipboard::Mode mode = QClipboard::Clipboard);

// Mime data carrying CODES as plain text, for copying and dragging out of a box.
[[nodiscard]] QMimeData *mimeData(std::string_view codes);
// The codes of the plain text in SOURCE, or nothing when it is null or holds no text. When
// SOURCE is the clipboard's or the selection's own data, it is read as codes(mode) reads it.
[[nodiscard]] std::optional<std::string> codes(const QMimeData *source);

// Prepares exactDrop(); a box that takes drops calls it when it is made.
void watchDrops();
// For a drop of text dragged from another program: mime data carrying that text exactly,
// when Qt's own reading of it lacks the final code 0 the other program gave; otherwise null.
[[nodiscard]] std::unique_ptr<QMimeData> exactDrop(const QDropEvent *event);

} // namespace Clipboard
