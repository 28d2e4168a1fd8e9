// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop theme's icons against the window's own 32 x 32 icon: each size is the same
// picture, every source pixel a sharp square block, with no colour added on the way.

#include <QImage>
#include <QTest>

#include <set>

class IconTest : public QObject {
    Q_OBJECT
private slots:
    void shouldEnlargeThePictureBlockByBlock_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {32, 64, 128, 256})
            QTest::newRow(qPrintable(QString::number(size))) << size;
    }

    void shouldEnlargeThePictureBlockByBlock()
    {
        QFETCH(int, size);
        const QImage source =
            QImage(QStringLiteral(CODETARVO_ICON_SOURCE)).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!source.isNull());
        QCOMPARE(source.size(), QSize(32, 32));
        const QString path =
            QStringLiteral(CODETARVO_ICON_DIR "/%1x%1/" CODETARVO_APP_ID ".png").arg(size);
        const QImage icon = QImage(path).convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!icon.isNull(), qPrintable(path));
        QCOMPARE(icon.size(), QSize(size, size));
        const int block = size / source.width();
        std::set<QRgb> colours;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QRgb expected = source.pixel(x / block, y / block);
                const QRgb actual = icon.pixel(x, y);
                // A fully transparent pixel has no colour worth comparing.
                if (qAlpha(expected) == 0 && qAlpha(actual) == 0)
                    continue;
                QVERIFY2(actual == expected,
                         qPrintable(QStringLiteral("%1 at %2,%3: %4, expected %5")
                                        .arg(size)
                                        .arg(x)
                                        .arg(y)
                                        .arg(actual, 8, 16, QLatin1Char('0'))
                                        .arg(expected, 8, 16, QLatin1Char('0'))));
                colours.insert(actual);
            }
        }
        QVERIFY2(colours.size() <= 16, qPrintable(QString::number(colours.size())));
    }
};

QTEST_GUILESS_MAIN(IconTest)
#include "icon_test.moc"
