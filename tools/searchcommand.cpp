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
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextCodec>
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

// One search to run: its levels, and for a batch the line of the file that asked for it
// (0 for the search of the command line).
struct Search {
    int line = 0;
    SearchParams params;
};

// The label of a search's lines on standard error: "search" alone for the command line's search,
// so scripts that read its time keep reading it, "search N" with the batch line otherwise.
QByteArray label(const Search& search)
{
    return search.line == 0 ? QByteArray("search") : "search " + QByteArray::number(search.line);
}

// Runs the searches one after another on one search thread and one set of address names, as the
// window runs its user's searches: the thread keeps its connection from one search to the next.
int runSearches(const QString& databaseFile, QList<Search>& searches)
{
    // Status-log lines go to standard error, the table to standard output.
    ConsoleHost host(stderr);
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(databaseFile);

    // As in the window, the rows reach this thread queued, and the table is filled as soon as
    // they arrive, while the search thread ends.
    QObject receiver;

    // Opened before the clock starts, as the window's connection is open when a search begins.
    const QString lookupConnection = QStringLiteral("velmora-tool-lookup");
    int status = 0;
    {
        QSqlDatabase lookupDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), lookupConnection);
        lookupDb.setDatabaseName(databaseFile);
        lookupDb.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!lookupDb.open()) {
            std::fprintf(stderr, "search: cannot open %s: %s\n", qPrintable(databaseFile),
                qPrintable(lookupDb.lastError().text()));
            status = 1;
        } else {
            // Read once per database, as the window reads them before its first result; timed
            // on its own.
            QElapsedTimer namesClock;
            namesClock.start();
            AddressNameCache names;
            names.refresh(lookupDb);
            std::fprintf(stderr, "search: address names read in %.3f ms\n", namesClock.nsecsElapsed() / 1e6);

            const bool bBatch = !searches.isEmpty() && searches.first().line != 0;
            QElapsedTimer clock;
            for (Search& search : searches) {
                thread.setSearchParams(search.params);
                bool bFound = false;
                TableModel model;
                double ms = 0;
                QEventLoop loop;
                // Filled on arrival, as the window's slot fills its table; the thread's own end
                // is not waited for on the clock.
                const QMetaObject::Connection fill = QObject::connect(
                    &thread, &ThreadDataBaseFind::signalFind, &receiver,
                    [&](const SearchResult& result) {
                        bFound = true;
                        // The window checks at every result that the names are still those of
                        // the database (a stamp compared, nothing read while the file stays the
                        // same); the single search has read them just before its clock started.
                        if (bBatch)
                            names.refresh(lookupDb);
                        ResultFiller(search.params, names).fill(result, model);
                        ms = clock.nsecsElapsed() / 1e6;
                    },
                    Qt::QueuedConnection);
                QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
                clock.start();
                thread.start();
                loop.exec();
                thread.wait();
                QObject::disconnect(fill);
                if (!bFound) {
                    // The thread has logged why; a batch stops, its later figures would not be
                    // those of the session asked for.
                    if (bBatch)
                        std::fprintf(
                            stderr, "%s: not run; the batch stops here\n", label(search).constData());
                    status = 1;
                    break;
                }
                printTable(model);
                // An empty line ends each table of a batch; a table holds none (its header is
                // always there).
                if (bBatch) {
                    std::fputc('\n', stdout);
                    std::fflush(stdout);
                }
                std::fprintf(
                    stderr, "%s: %d rows in %.3f ms\n", label(search).constData(), model.rowCount(), ms);
            }
            lookupDb.close();
        }
    }
    QSqlDatabase::removeDatabase(lookupConnection);
    return status;
}

// Reads a batch: one search a line, the locality, street and house separated by tabs (trailing
// fields may be left out, an empty field is a level not searched); empty lines and lines starting
// with "#" are skipped. False, with a message naming the line, when a line cannot be searched.
bool readBatch(const QString& fileName, QList<Search>& searches, QString& error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return false;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return false;
    }
    QTextCodec* utf8 = QTextCodec::codecForName("UTF-8");
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNumber = i + 1;
        const QString where = QStringLiteral("%1 line %2: ").arg(fileName).arg(lineNumber);
        QByteArray bytes = lines.at(i);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        QTextCodec::ConverterState state;
        const QString line = utf8->toUnicode(bytes.constData(), bytes.size(), &state);
        if (state.invalidChars > 0) {
            error = where + QStringLiteral("not UTF-8 text");
            return false;
        }
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() > 3) {
            error = where
                + QStringLiteral("%1 fields; a line holds at most the locality, the street and the "
                                 "house, separated by tabs")
                      .arg(fields.size());
            return false;
        }
        Search search;
        search.line = lineNumber;
        setLevel(search.params, SearchParams::LocalityLevel, fields.value(0));
        setLevel(search.params, SearchParams::StreetLevel, fields.value(1));
        search.params.house = fields.value(2);
        if (fields.value(0).isEmpty() && fields.value(1).isEmpty() && search.params.house.isEmpty()) {
            error = where + QStringLiteral("no locality, street or house to search for");
            return false;
        }
        // The window searches a house only on a street; left out silently, the line would
        // search something else than it says.
        if (!search.params.house.isEmpty() && fields.value(1).isEmpty()) {
            error = where
                + QStringLiteral("a house needs a street (locality, street and house are "
                                 "separated by tabs)");
            return false;
        }
        searches << search;
    }
    if (searches.isEmpty()) {
        error = QStringLiteral("%1 holds no search").arg(fileName);
        return false;
    }
    return true;
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
    const QCommandLineOption batchOption(QStringLiteral("batch"),
        QStringLiteral("Runs the searches of FILE one after another in this one process, as the window "
                       "runs its user's searches: one search a line, locality, street and house separated "
                       "by tabs (an empty field is not searched; empty lines and lines starting with # are "
                       "skipped). Each table ends with an empty line; each time is labelled with its line."),
        QStringLiteral("FILE"));
    parser.addOption(localityOption);
    parser.addOption(streetOption);
    parser.addOption(houseOption);
    parser.addOption(batchOption);
    const QCommandLineOption indexOption(QStringLiteral("index"),
        QStringLiteral("Postal index (six digits): the localities, streets and house groups it serves, "
                       "with --locality or --street only those that also match them; its post office on "
                       "standard error when the database holds the post's reference."),
        QStringLiteral("NNNNNN"));
    parser.addOption(indexOption);

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
    const bool bBatch = parser.isSet(batchOption);
    if (bBatch && (parser.isSet(localityOption) || parser.isSet(streetOption) || parser.isSet(houseOption))) {
        std::fprintf(stderr,
            "search: --batch takes the searches from its file; it cannot be combined with "
            "--locality, --street or --house\n");
        return 2;
    }

    if (parser.isSet(indexOption)) {
        if (bBatch || parser.isSet(houseOption)) {
            std::fprintf(stderr, "search: --index cannot be combined with --batch or --house\n");
            return 2;
        }
        const QString refusal = refuseIndex(parser.value(indexOption));
        if (!refusal.isEmpty()) {
            std::fprintf(stderr, "search: %s\n", refusal.toUtf8().constData());
            return 2;
        }
    }

    QList<Search> searches;
    if (bBatch) {
        QString error;
        if (!readBatch(parser.value(batchOption), searches, error)) {
            std::fprintf(stderr, "search: %s\n", qPrintable(error));
            return 2;
        }
    } else {
        Search search;
        setLevel(search.params, SearchParams::LocalityLevel, parser.value(localityOption));
        setLevel(search.params, SearchParams::StreetLevel, parser.value(streetOption));
        search.params.house = parser.value(houseOption);
        searches << search;
    }

    const QStringList positional = parser.positionalArguments();
    const QString databaseFile = (positional.isEmpty() ? localDbDirFromSettings() : positional.first())
        + QLatin1Char('/') + QLatin1String(Schema::DatabaseFileName);
    if (!QFileInfo(databaseFile).isFile()) {
        std::fprintf(
            stderr, "search: %s not found; build it with velmora-tool import\n", qPrintable(databaseFile));
        return 2;
    }

    if (parser.isSet(indexOption)) {
        g_PreviousHandler = qInstallMessageHandler(dropDebugMessages);
        const int status = runIndexSearchCommand(databaseFile, parser.value(indexOption),
            parser.value(localityOption), parser.value(streetOption));
        qInstallMessageHandler(g_PreviousHandler);
        return status;
    }
    g_PreviousHandler = qInstallMessageHandler(dropDebugMessages);
    const int status = runSearches(databaseFile, searches);
    qInstallMessageHandler(g_PreviousHandler);
    return status;
}
