// SPDX-License-Identifier: GPL-3.0-or-later
// The window's event loop during an import: opens MainWindow offscreen on a local database
// directory, asks for a search (which starts the import), and measures the largest gap between
// the ticks of a 10 ms timer until the import reports. Usage: velmora-importstall DIR
// (DIR holds BASE/ and no KLADR.sqlite yet).

#include "mainwindow.h"
#include "threaddatabasecreate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 2) {
        std::fputs("usage: velmora-importstall DIR\n", stderr);
        return 2;
    }
    QTemporaryDir appDir;
    {
        QFile ini(appDir.filePath(QStringLiteral("Velmora.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write("[ThisFile]\nCodePage=Windows-1251\n\n[LocalDB]\nPath=");
        ini.write(QDir(arguments.at(1)).absolutePath().toUtf8());
        ini.write("\n");
    }
    g_AppDir = appDir.path();
    g_LocalDbDir = g_AppDir;

    MainWindow window;
    window.show();

    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 worstGap = 0;
    qint64 worstAt = 0;
    int progressSignals = 0;
    bool success = false;
    double seconds = 0;

    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (now - lastTick > worstGap) {
            worstGap = now - lastTick;
            worstAt = now;
        }
        lastTick = now;
    });
    // Context objects in the GUI thread: the thread's signals are queued here as in the window.
    ThreadDataBaseCreate* thread = window.importThread();
    QObject::connect(thread, &ThreadDataBaseCreate::signalUpdateProgress, &tick, [&] { ++progressSignals; });
    QObject::connect(thread, &ThreadDataBaseCreate::signalDataBaseCreated, &tick, [&](bool bSuccess) {
        // The gap up to this very moment counts too.
        const qint64 now = clock.elapsed();
        worstGap = qMax(worstGap, now - lastTick);
        success = bSuccess;
        seconds = now / 1000.0;
        tick.stop();
        app.quit();
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        tick.start();
        window.startFind();
    });
    app.exec();
    thread->wait();

    std::printf("success: %s\nseconds: %.2f\nprogress signals: %d\nlongest stall: %lld ms (at %.1f s)\n",
        success ? "yes" : "no", seconds, progressSignals, worstGap, worstAt / 1000.0);
    return success ? 0 : 1;
}
