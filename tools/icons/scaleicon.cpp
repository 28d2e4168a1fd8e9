// SPDX-License-Identifier: GPL-3.0-or-later
// scaleicon IN OUT SIZE: writes the image IN as a SIZE x SIZE image file OUT, each source pixel
// becoming a square block of pixels, so a small pixel-art icon stays sharp when enlarged.

#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: scaleicon IN OUT SIZE\n");
        return 2;
    }
    const QString in = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    bool ok = false;
    const int size = QString::fromLocal8Bit(argv[3]).toInt(&ok);
    QImage image(in);
    if (image.isNull()) {
        std::fprintf(stderr, "scaleicon: cannot read '%s'\n", argv[1]);
        return 1;
    }
    if (!ok || size <= 0 || size % image.width() != 0 || size % image.height() != 0) {
        std::fprintf(stderr, "scaleicon: %s is not a whole multiple of %dx%d\n", argv[3],
                     image.width(), image.height());
        return 2;
    }
    // Fast transformation is nearest-neighbour: no blur, no new colours.
    const QImage scaled = image.convertToFormat(QImage::Format_ARGB32)
                              .scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    // The format follows the name: .png for the desktop themes, .ico for Windows.
    if (!scaled.save(out)) {
        std::fprintf(stderr, "scaleicon: cannot write '%s'\n", argv[2]);
        return 1;
    }
    return 0;
}
