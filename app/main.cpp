// SPDX-License-Identifier: GPL-3.0-or-later
#include "codetarvo_version.h"
#include "kormain.h"
#include "translation.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Code Tarvo"));
    QApplication::setApplicationVersion(QStringLiteral(CODETARVO_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Kor"));
    // Lets Wayland compositors pair the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(CODETARVO_APP_ID));
    const auto qtTexts = Translation::qtTexts(QLocale::system());
    if (qtTexts)
        QCoreApplication::installTranslator(qtTexts.get());
    KorMain::instance()->show();
    return QApplication::exec();
}
