// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "addressnamecache.h"
#include "indexquery.h"
#include "indexsearch.h"
#include "resultfiller.h"
#include "sqltext.h"
#include "tablemodel.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>

#include <cstdio>

namespace {

void printLine(const QStringList& cells)
{
    std::printf("%s\n", cells.join(QLatin1Char('\t')).toUtf8().constData());
}

LevelFilter level(const QString& text)
{
    return LevelFilter { text, SqlText::isMask(text) };
}

} // namespace

QString refuseIndex(const QString& text)
{
    return IndexQuery::read(text).refusal;
}

int runIndexSearchCommand(
    const QString& databaseFile, const QString& text, const QString& locality, const QString& street)
{
    const IndexQuery::Input input = IndexQuery::read(text);
    const QString connection = QStringLiteral("velmora-tool-index");
    int status = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(databaseFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            std::fprintf(stderr, "search: cannot open %s: %s\n", qPrintable(databaseFile),
                qPrintable(db.lastError().text()));
            status = 1;
        } else {
            AddressNameCache names;
            names.refresh(db);
            QElapsedTimer clock;
            clock.start();
            const IndexSearchResult found = runIndexSearch(db, input.index, level(locality), level(street));
            SearchParams params;
            params.level(SearchParams::LocalityLevel) = level(locality);
            params.level(SearchParams::StreetLevel) = level(street);
            TableModel model;
            if (found.ok)
                ResultFiller(params, names).fill(found.result, model);
            const double ms = clock.nsecsElapsed() / 1e6;
            for (const QString& line : found.officeLines)
                std::fprintf(stderr, "%s\n", line.toUtf8().constData());
            if (!found.ok) {
                std::fprintf(stderr, "search: %s\n", found.error.toUtf8().constData());
                status = 1;
            } else {
                QStringList cells;
                for (int column = 0; column < model.columnCount(); ++column)
                    cells << model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
                printLine(cells);
                for (int row = 0; row < model.rowCount(); ++row) {
                    cells.clear();
                    for (int column = 0; column < model.columnCount(); ++column)
                        cells << model.data(model.index(row, column), Qt::DisplayRole).toString();
                    printLine(cells);
                }
                std::fflush(stdout);
                const QString cut = IndexQuery::cutLine(found.total, model.rowCount());
                if (!cut.isEmpty())
                    std::fprintf(stderr, "%s\n", cut.toUtf8().constData());
                std::fprintf(stderr, "search: %d rows in %.3f ms\n", model.rowCount(), ms);
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return status;
}
