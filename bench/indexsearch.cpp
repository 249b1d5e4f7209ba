// SPDX-License-Identifier: GPL-3.0-or-later
// Searches by postal index as the window runs them (bench/index-search): each search handed to
// the one search worker, its rows and their addresses filled into the result table.
// velmora-indexsearch DATABASE PASSES CASE...; a case is "name|index|locality|street".
// Prints one line per case: name, rows, total, median ms, worst ms.

#include "resultfiller.h"
#include "sqltext.h"
#include "tablemodel.h"
#include "threaddatabasefind.h"
#include "workerhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>

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

// The log lines of a failed search on standard error; the others are not needed here.
class ErrorHost : public WorkerHost {
public:
    void addState(const QString& text, bool) override
    {
        if (text.startsWith(QStringLiteral("Ошибка")) || text.startsWith(QStringLiteral("Поиск не")))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The address lines also go to the search's debug output.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.search.debug=false"));
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

    ErrorHost host;
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(database);
    QEventLoop idle;
    const QMetaObject::Connection prepared = QObject::connect(
        &thread, &ThreadDataBaseFind::signalSearchDone, &idle, &QEventLoop::quit, Qt::QueuedConnection);
    // The connection open and the address names read before the first search, as in the window.
    thread.prepare();
    idle.exec();
    QObject::disconnect(prepared);
    QObject receiver;
    // One untimed pass, then the timed ones, the cases interleaved.
    for (int pass = 0; pass <= passes; ++pass) {
        for (Case& c : cases) {
            QElapsedTimer clock;
            QEventLoop loop;
            TableModel model;
            double ms = 0;
            const QMetaObject::Connection fill = QObject::connect(
                &thread, &ThreadDataBaseFind::signalFind, &receiver,
                [&](const SearchResult& found) {
                    ResultFiller::fill(found, model);
                    ms = clock.nsecsElapsed() / 1e6;
                    c.rows = model.rowCount();
                    c.total = found.total;
                },
                Qt::QueuedConnection);
            const QMetaObject::Connection done = QObject::connect(&thread,
                &ThreadDataBaseFind::signalSearchDone, &loop, &QEventLoop::quit, Qt::QueuedConnection);
            SearchParams params;
            params.index = c.index;
            params.level(SearchParams::LocalityLevel) = c.locality;
            params.level(SearchParams::StreetLevel) = c.street;
            clock.start();
            thread.find(params);
            loop.exec();
            QObject::disconnect(fill);
            QObject::disconnect(done);
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
    return 0;
}
