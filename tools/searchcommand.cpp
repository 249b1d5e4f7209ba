// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"
#include "consolehost.h"

#include "addressnamecache.h"
#include "resultfiller.h"
#include "schema.h"
#include "searchparams.h"
#include "sqltext.h"
#include "tablemodel.h"
#include "threaddatabasefind.h"
#include "workerhost.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTime>

#include <cstdio>

namespace {

QtMessageHandler g_PreviousHandler = nullptr;

// The statement and every address line also go to the debug channel; on the command line they
// would only repeat the log and the table. What ran in the statement's place is kept.
void dropDebugMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg && message.startsWith(QLatin1String("Running: ")))
        std::fprintf(stderr, "search: %s\n", qPrintable(message));
    else if (type != QtDebugMsg && g_PreviousHandler)
        g_PreviousHandler(type, context, message);
}

void setLevel(SearchParams& params, int level, const QString& text)
{
    params.level(level).text = text;
    params.level(level).isMask = SqlText::isMask(text);
}

void printTable(const TableModel& model)
{
    QStringList cells;
    for (int column = 0; column < model.columnCount(); ++column)
        cells << model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    std::printf("%s\n", cells.join(QLatin1Char('\t')).toUtf8().constData());
    for (int row = 0; row < model.rowCount(); ++row) {
        cells.clear();
        for (int column = 0; column < model.columnCount(); ++column)
            cells << model.data(model.index(row, column), Qt::DisplayRole).toString();
        std::printf("%s\n", cells.join(QLatin1Char('\t')).toUtf8().constData());
    }
    std::fflush(stdout);
}

int search(const QString& databaseFile, SearchParams& params)
{
    // Status-log lines go to standard error, the table to standard output.
    ConsoleHost host(stderr);
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(databaseFile);
    thread.setSearchParams(params);

    // A direct connection: the rows are copied in the search thread and read here only after
    // the thread has ended.
    bool bFound = false;
    SearchResult result;
    QObject::connect(&thread, &ThreadDataBaseFind::signalFind, [&](const SearchResult& rows) {
        result = rows;
        bFound = true;
    });

    // Opened before the clock starts, as the window's connection is open when a search begins.
    const QString lookupConnection = QStringLiteral("velmora-tool-lookup");
    int status = 1;
    {
        QSqlDatabase lookupDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), lookupConnection);
        lookupDb.setDatabaseName(databaseFile);
        lookupDb.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!lookupDb.open()) {
            std::fprintf(stderr, "search: cannot open %s: %s\n", qPrintable(databaseFile),
                qPrintable(lookupDb.lastError().text()));
        } else {
            // Read once per database, as the window reads them before its first result; timed
            // on its own.
            QElapsedTimer namesClock;
            namesClock.start();
            AddressNameCache names;
            names.refresh(lookupDb);
            std::fprintf(stderr, "search: address names read in %.3f ms\n", namesClock.nsecsElapsed() / 1e6);

            QElapsedTimer clock;
            clock.start();
            thread.start();
            thread.wait();
            if (bFound) {
                TableModel model;
                ResultFiller(params, names).fill(result, model);
                const double ms = clock.nsecsElapsed() / 1e6;
                printTable(model);
                std::fprintf(stderr, "search: %d rows in %.3f ms\n", model.rowCount(), ms);
                status = 0;
            }
            lookupDb.close();
        }
    }
    QSqlDatabase::removeDatabase(lookupConnection);
    return status;
}

} // namespace

int runSearchCommand(QStringList arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Searches DIR/KLADR.sqlite as the window does and prints the result table (tab-separated, "
        "the postal address last) to standard output and the time spent to standard error."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("DIR"),
        QStringLiteral(
            "Directory holding KLADR.sqlite (default: the one Velmora.ini beside the program names)."),
        QStringLiteral("[DIR]"));
    const QCommandLineOption localityOption(QStringLiteral("locality"),
        QStringLiteral("Locality name or mask (% any letters, _ one letter)."), QStringLiteral("TEXT"));
    const QCommandLineOption streetOption(QStringLiteral("street"),
        QStringLiteral("Street name or mask (% any letters, _ one letter)."), QStringLiteral("TEXT"));
    const QCommandLineOption houseOption(QStringLiteral("house"),
        QStringLiteral("House on the street (\"12\", \"12а\", \"12 корп. 1\", \"вл. 3\"); needs --street."),
        QStringLiteral("TEXT"));
    parser.addOption(localityOption);
    parser.addOption(streetOption);
    parser.addOption(houseOption);

    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "search: %s\n%s", qPrintable(parser.errorText()), qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "search: expected one directory\n%s", qPrintable(parser.helpText()));
        return 2;
    }

    const QStringList positional = parser.positionalArguments();
    const QString databaseFile = (positional.isEmpty() ? localDbDirFromSettings() : positional.first())
        + QLatin1Char('/') + QLatin1String(Schema::DatabaseFileName);
    if (!QFileInfo(databaseFile).isFile()) {
        std::fprintf(
            stderr, "search: %s not found; build it with velmora-tool import\n", qPrintable(databaseFile));
        return 2;
    }

    SearchParams params;
    setLevel(params, SearchParams::LocalityLevel, parser.value(localityOption));
    setLevel(params, SearchParams::StreetLevel, parser.value(streetOption));
    params.house = parser.value(houseOption);

    g_PreviousHandler = qInstallMessageHandler(dropDebugMessages);
    const int status = search(databaseFile, params);
    qInstallMessageHandler(g_PreviousHandler);
    return status;
}
