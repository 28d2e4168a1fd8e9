// SPDX-License-Identifier: GPL-3.0-or-later
// Writes each control mark as the window's code box draws it, one image a mark, for
// bench/mark_ocr.sh to read with an OCR engine.
//
//   mark_images DIR
//
// For every code shown as a mark, and for the same two hex digits typed as text, the code
// box of the real window (KorMain) is given that text alone and its viewport grabbed; the
// image is cut to the text's cells and the line's height, with a margin of background
// around it. Files: DIR/mark-XX.png and DIR/text-XX.png, XX the code in hex. Run it on
// the platform to measure (xcb under Xvfb at 96 dpi): the images are what a person sees.

#include "boxtext.h"
#include "kormain.h"
#include "textbox.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>
#include <QTextCursor>

#include <cstdio>
#include <string>

namespace {

constexpr int Margin = 3;

std::string markedCodes()
{
    std::string codes;
    for (int code = 0; code < 256; ++code)
        if (BoxText::isMark(static_cast<unsigned char>(code)))
            codes.push_back(static_cast<char>(code));
    return codes;
}

// BOX showing CODES alone, cut to its cells.
QImage shownAlone(TextBox *box, const std::string &codes)
{
    box->setCodes(codes);
    box->setExtraSelections({});
    QTextCursor cursor(box->document());
    const QRect start = box->cursorRect(cursor);
    cursor.movePosition(QTextCursor::End);
    const QRect end = box->cursorRect(cursor);
    QApplication::processEvents();
    const QImage viewport = box->viewport()->grab().toImage();
    const QRect cells(start.left(), start.top(), end.left() - start.left(), start.height());
    return viewport.copy(cells.adjusted(-Margin, -Margin, Margin, Margin));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: mark_images DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "mark_images: cannot create %s\n", argv[1]);
        return 1;
    }

    KorMain window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    auto *box = window.findChild<TextBox *>(QStringLiteral("txt2"));
    box->setCursorWidth(0);

    for (const char code : markedCodes()) {
        const QString hex = QStringLiteral("%1")
                                .arg(static_cast<unsigned char>(code), 2, 16, QLatin1Char('0'))
                                .toUpper();
        const bool saved =
            shownAlone(box, std::string(1, code)).save(dir.filePath("mark-" + hex + ".png")) &&
            shownAlone(box, hex.toStdString()).save(dir.filePath("text-" + hex + ".png"));
        if (!saved) {
            std::fprintf(stderr, "mark_images: cannot write into %s\n", argv[1]);
            return 1;
        }
    }
    return 0;
}
