// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include <QApplication>
#include <QTextCodec>
#include <QTimer>

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
    // The check starts on its worker as the event loop's first job; a window closed during its
    // copy ends the loop, and the window's destructor stops the copy.
    QTimer::singleShot(0, &window, &MainWindow::checkDatabaseVersion);

    return app.exec();
}
