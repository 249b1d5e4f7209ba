// SPDX-License-Identifier: GPL-3.0-or-later
// Searches by postal index as the window runs them (bench/index-search): each search on the
// window's index search thread, its rows filled into the result table with their addresses.
// velmora-indexsearch DATABASE PASSES CASE...; a case is "name|index|locality|street".
// Prints one line per case: name, rows, total, median ms, worst ms.

#include "indexsearch.h"
#include "addressnamecache.h"
#include "resultfiller.h"
#include "sqltext.h"
#include "tablemodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSqlDatabase>

#include <algorithm>
#include <cstdio>

namespace {

struct Case {
    QString name;
    QString index;
    LevelFilter locality;
    LevelFilter street;
    QVector<double> times;
    int rows = 0;
    int total = 0;
};

LevelFilter level(const QString& text)
{
    return LevelFilter { text, SqlText::isMask(text) };
}

} // namespace

// The address lines also go to the debug channel; velmora-tool search drops them as well.
void dropDebugMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(dropDebugMessages);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fputs("usage: velmora-indexsearch DATABASE PASSES name|index|locality|street ...\n", stderr);
        return 2;
    }
    const QString database = args.at(1);
    const int passes = args.at(2).toInt();
    QVector<Case> cases;
    for (const QString& arg : args.mid(3)) {
        const QStringList parts = arg.split(QLatin1Char('|'));
        cases.append(
            Case { parts.value(0), parts.value(1), level(parts.value(2)), level(parts.value(3)), {}, 0, 0 });
    }

    // The window's connection, for the address names, open before the first search.
    QSqlDatabase window = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("window"));
    window.setDatabaseName(database);
    if (!window.open()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(database));
        return 1;
    }
    AddressNameCache names;
    names.refresh(window);

    IndexSearchThread thread;
    thread.setDatabaseFile(database);
    QObject receiver;
    // One untimed pass, then the timed ones, the cases interleaved.
    for (int pass = 0; pass <= passes; ++pass) {
        for (Case& c : cases) {
            QElapsedTimer clock;
            QEventLoop loop;
            TableModel model;
            double ms = 0;
            const QMetaObject::Connection fill = QObject::connect(
                &thread, &IndexSearchThread::signalIndexFound, &receiver,
                [&](const IndexSearchResult& found) {
                    names.refresh(window);
                    SearchParams params;
                    params.level(SearchParams::LocalityLevel) = c.locality;
                    params.level(SearchParams::StreetLevel) = c.street;
                    ResultFiller(params, names).fill(found.result, model);
                    ms = clock.nsecsElapsed() / 1e6;
                    c.rows = model.rowCount();
                    c.total = found.total;
                    if (!found.ok)
                        std::fprintf(stderr, "%s: %s\n", qPrintable(c.name), qPrintable(found.error));
                    loop.quit();
                },
                Qt::QueuedConnection);
            thread.setRequest(c.index, c.locality, c.street);
            clock.start();
            thread.start();
            loop.exec();
            thread.wait();
            QObject::disconnect(fill);
            if (pass > 0)
                c.times << ms;
        }
    }
    for (Case& c : cases) {
        std::sort(c.times.begin(), c.times.end());
        const double median = c.times.isEmpty() ? 0
            : c.times.size() % 2                ? c.times.at(c.times.size() / 2)
                                 : (c.times.at(c.times.size() / 2 - 1) + c.times.at(c.times.size() / 2)) / 2;
        std::printf("%s\t%d\t%d\t%.3f\t%.3f\n", c.name.toUtf8().constData(), c.rows, c.total, median,
            c.times.isEmpty() ? 0 : c.times.last());
    }
    window.close();
    return 0;
}
