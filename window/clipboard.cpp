#include "clipboard.h"

#include "boxtext.h"

#include <QGuiApplication>
#include <QMimeData>

namespace Clipboard {

void putCodes(std::string_view codes, QClipboard::Mode mode) {
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard || (mode == QClipboard::Selection && !clipboard->supportsSelection()))
        return;
    clipboard->setText(BoxText::toRaw(codes), mode);
}

std::optional<std::string> codes(QClipboard::Mode mode) {
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return std::nullopt;
    return codes(clipboard->mimeData(mode));
}

QMimeData *mimeData(std::string_view codes) {
    auto *data = new QMimeData;
    data->setText(BoxText::toRaw(codes));
    return data;
}

std::optional<std::string> codes(const QMimeData *source) {
    if (!source || !source->hasText())
        return std::nullopt;
    return BoxText::fromRaw(source->text());
}

} // namespace Clipboard
