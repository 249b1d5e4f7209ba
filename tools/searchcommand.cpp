// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"
#include "consolehost.h"
#include "paths.h"
#include "queuedworkerhost.h"

#include "indexquery.h"
#include "resultfiller.h"
#include "schema.h"
#include "searchparams.h"
#include "searchsummary.h"
#include "sqltext.h"
#include "tablemodel.h"
#include "threaddatabasefind.h"
#include "workerhost.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTextCodec>

#include <cstdio>

namespace {

void setLevel(SearchParams& params, int level, const QString& text)
{
    params.level(level).text = text;
    params.level(level).isMask = SqlText::isMask(text);
}

// The table as text, tab-separated, a line a row after the header line; bEnd adds the empty line
// that ends a table of a batch. Written in one piece: a batch prints thousands of tables.
void printTable(const TableModel& model, bool bEnd)
{
    const int columns = model.columnCount();
    QString text;
    text.reserve((model.rowCount() + 1) * columns * 16);
    for (int column = 0; column < columns; ++column) {
        if (column > 0)
            text += QLatin1Char('\t');
        text += model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    text += QLatin1Char('\n');
    for (int row = 0; row < model.rowCount(); ++row) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0)
                text += QLatin1Char('\t');
            text += model.data(model.index(row, column), Qt::DisplayRole).toString();
        }
        text += QLatin1Char('\n');
    }
    if (bEnd)
        text += QLatin1Char('\n');
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// One search to run: its levels, and for a batch the line of the file that asked for it
// (0 for the search of the command line).
// The texts alone are kept, so that a long batch costs little memory while it runs.
struct Search {
    int line = 0;
    QString locality;
    QString street;
    QString house;
    QString index;

    SearchParams params() const
    {
        SearchParams params;
        setLevel(params, SearchParams::LocalityLevel, locality);
        setLevel(params, SearchParams::StreetLevel, street);
        params.house = house;
        params.index = index;
        return params;
    }
};

// The label of a search's lines on standard error: "search" alone for the command line's search,
// so scripts that read its time keep reading it, "search N" with the batch line otherwise.
QByteArray label(const Search& search)
{
    return search.line == 0 ? QByteArray("search") : "search " + QByteArray::number(search.line);
}

// A search handed to the worker: its table, filled as its result arrives, and its time.
struct Pending {
    TableModel model;
    SearchResult found;
    bool bFound = false;
    double ms = 0;
    QElapsedTimer clock;
};

// Runs the searches one after another on one search worker, as the window runs its user's
// searches: the worker keeps its connection and the address names from one search to the next,
// and follows the database file when another is installed in its place. In a batch the next
// search is handed over as soon as a result arrives, so that the worker runs it while this thread
// fills and prints the table, unless bOneAtATime; the worker's log lines reach this thread queued,
// so every search's lines and table still come out together and in order.
int runSearches(const QString& databaseFile, QList<Search>& searches, bool bOneAtATime)
{
    // Status-log lines go to standard error, the table to standard output.
    ConsoleHost console(stderr);
    QObject receiver;
    QueuedWorkerHost host(&receiver, &console);
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(databaseFile);

    QEventLoop loop;
    // The connection opened and the names read before the clock starts, as the window's worker
    // has them when its user's search begins; timed on its own.
    QElapsedTimer namesClock;
    namesClock.start();
    const QMetaObject::Connection prepared = QObject::connect(
        &thread, &ThreadDataBaseFind::signalSearchDone, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    thread.prepare();
    loop.exec();
    QObject::disconnect(prepared);
    std::fprintf(stderr, "search: address names read in %.3f ms\n", namesClock.nsecsElapsed() / 1e6);

    const bool bBatch = !searches.isEmpty() && searches.first().line != 0;
    const int count = searches.size();
    // At most two searches are under way: the one printed here and the next on the worker.
    Pending pending[2];
    int handed = 0;
    int done = 0;
    int status = 0;
    const auto handOver = [&] {
        Pending& next = pending[handed % 2];
        next.model.setTable({}, {});
        next.found = SearchResult();
        next.bFound = false;
        next.ms = 0;
        next.clock.start();
        thread.find(searches.at(handed).params());
        ++handed;
    };
    // As in the window, the rows reach this thread queued, and the table is filled as soon as
    // they arrive.
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalFind, &receiver,
        [&](const SearchResult& result) {
            Pending& current = pending[done % 2];
            current.bFound = true;
            current.found = result;
            if (bBatch && !bOneAtATime && handed == done + 1 && handed < count)
                handOver();
            ResultFiller::fill(result, current.model);
            current.ms = current.clock.nsecsElapsed() / 1e6;
        },
        Qt::QueuedConnection);
    // Every search ends with this signal, after its result and its log lines.
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalSearchDone, &receiver,
        [&] {
            const Search& search = searches.at(done);
            const Pending& current = pending[done % 2];
            ++done;
            if (!current.bFound) {
                // The worker has logged why; a batch stops, its later figures would not be those
                // of the session asked for.
                if (bBatch)
                    std::fprintf(stderr, "%s: not run; the batch stops here\n", label(search).constData());
                status = 1;
                loop.quit();
                return;
            }
            // The index's post office, as the window logs it before the result.
            for (const QString& line : qAsConst(current.found.officeLines))
                std::fprintf(stderr, "%s\n", qPrintable(line));
            // What ran in the logged statement's place.
            for (const QString& executed : qAsConst(current.found.executed))
                std::fprintf(stderr, "search: Running: \"%s\"\n", qPrintable(executed));
            // An empty line ends each table of a batch; a table holds none (its header is always
            // there).
            printTable(current.model, bBatch);
            // The line the window logs after the result, then the time.
            std::fprintf(stderr, "%s\n", qPrintable(searchSummary(current.found)));
            std::fprintf(stderr, "%s: %d rows in %.3f ms\n", label(search).constData(),
                current.model.rowCount(), current.ms);
            if (handed == done && handed < count)
                handOver();
            else if (done == count)
                loop.quit();
        },
        Qt::QueuedConnection);
    if (count > 0) {
        handOver();
        loop.exec();
    }
    return status;
}

// Reads a batch: one search a line, the locality, street, house and postal index separated by
// tabs (trailing fields may be left out, an empty field is not searched); empty lines and lines
// starting with "#" are skipped. False, with a message naming the line, when a line cannot be
// searched.
bool readBatch(const QString& fileName, QList<Search>& searches, QString& error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return false;
    }
    QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return false;
    }
    // A byte-order mark is dropped at the very start of the file only; anywhere else it is
    // text, and searched for as typed.
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const QList<QByteArray> lines = text.split('\n');
    QTextCodec* utf8 = QTextCodec::codecForName("UTF-8");
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNumber = i + 1;
        const QString where = QStringLiteral("%1 line %2: ").arg(fileName).arg(lineNumber);
        QByteArray bytes = lines.at(i);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        const QString line = utf8->toUnicode(bytes.constData(), bytes.size(), &state);
        if (state.invalidChars > 0) {
            error = where + QStringLiteral("not UTF-8 text");
            return false;
        }
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        // SQL text would end at it, and the line search something else than it says.
        if (line.contains(QChar(0))) {
            error = where + QStringLiteral("holds a NUL character; it cannot be searched");
            return false;
        }
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() > 4) {
            error = where
                + QStringLiteral("%1 fields; a line holds at most the locality, the street, the "
                                 "house and the postal index, separated by tabs")
                      .arg(fields.size());
            return false;
        }
        Search search;
        search.line = lineNumber;
        search.locality = fields.value(0);
        search.street = fields.value(1);
        search.house = fields.value(2);
        search.index = fields.value(3);
        if (search.locality.isEmpty() && search.street.isEmpty() && search.house.isEmpty()
            && search.index.isEmpty()) {
            error = where + QStringLiteral("no locality, street, house or postal index to search for");
            return false;
        }
        // As on the command line: an index is searched with a locality or a street, not with a
        // house, and is six digits.
        if (!search.index.isEmpty()) {
            if (!search.house.isEmpty()) {
                error = where + QStringLiteral("a postal index cannot be searched with a house");
                return false;
            }
            const QString refusal = IndexQuery::read(search.index).refusal;
            if (!refusal.isEmpty()) {
                error = where + refusal;
                return false;
            }
        }
        // The window searches a house only on a street; left out silently, the line would
        // search something else than it says.
        if (!search.house.isEmpty() && search.street.isEmpty()) {
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
                       "runs its user's searches: one search a line, locality, street, house and postal "
                       "index separated by tabs (an empty field is not searched; empty lines and lines "
                       "starting with # are skipped). Each table ends with an empty line; each time is "
                       "labelled with its line."),
        QStringLiteral("FILE"));
    parser.addOption(localityOption);
    parser.addOption(streetOption);
    parser.addOption(houseOption);
    parser.addOption(batchOption);
    // The next search runs while a table is printed, and both threads share the machine: what a
    // search of the window takes is measured one search at a time.
    const QCommandLineOption oneAtATimeOption(QStringLiteral("one-at-a-time"),
        QStringLiteral("With --batch: hands each search to the search worker only once the table before "
                       "it is printed, as the window runs them, so that each time is what the window's "
                       "user waits for; slower for a long batch."));
    parser.addOption(oneAtATimeOption);
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
        const QString refusal = IndexQuery::read(parser.value(indexOption)).refusal;
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
        // The window searches a house only on a street; left out silently, the search would
        // be another than asked for.
        if (parser.isSet(houseOption) && parser.value(streetOption).isEmpty()) {
            std::fprintf(stderr, "search: --house needs --street\n");
            return 2;
        }
        Search search;
        search.locality = parser.value(localityOption);
        search.street = parser.value(streetOption);
        search.house = parser.value(houseOption);
        search.index = parser.value(indexOption);
        searches << search;
    }

    const QStringList positional = parser.positionalArguments();
    const QString localDbDir = positional.isEmpty() ? localDbDirFromSettings() : positional.first();
    const QString databaseFile = Paths::databaseFile(localDbDir);
    if (!QFileInfo(databaseFile).isFile()) {
        if (QFileInfo(Paths::join(localDbDir, QStringLiteral("BASE"))).isDir())
            std::fprintf(stderr, "search: %s not found; build it with velmora-tool import\n",
                qPrintable(databaseFile));
        else
            std::fprintf(stderr, "search: %s not found; %s\n", qPrintable(databaseFile),
                qPrintable(noDatabaseHint(localDbDir)));
        return 2;
    }

    // The statements and every address line also go to the search's debug output; on the
    // command line they would only repeat the log and the table.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.search.debug=false"));
    return runSearches(databaseFile, searches, parser.isSet(oneAtATimeOption));
}
