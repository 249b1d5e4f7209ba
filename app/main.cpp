// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include <QApplication>
#include <QTextCodec>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath());
    g_AppDir = QCoreApplication::applicationDirPath();
    g_LocalDbDir = g_AppDir;

    MainWindow window;
    window.show();
    const QString banner = QLatin1Char('\'') + window.windowTitle() + QLatin1String("' v.1.03.");
    window.slotAddState(QTextCodec::codecForName("Windows-1251")->fromUnicode(banner).constData(), true);
    window.checkDatabaseVersion();

    return app.exec();
}
