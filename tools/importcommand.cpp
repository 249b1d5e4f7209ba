// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "consolehost.h"
#include "paths.h"
#include "threaddatabasecreate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTime>
#include <QVariant>

#include <cstdio>

namespace {

// VmHWM: the process's peak resident set, in kB.
qint64 peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString countRows(const QString& databasePath, const char* table)
{
    const QString name = QStringLiteral("velmora-tool-count");
    QString result = QStringLiteral("-");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + QLatin1String(table)) && query.next())
                result = query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

} // namespace

int runImportCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the window's check-and-create run of the local database in DIR (which holds BASE/), or "
        "with --from builds it afresh from the classifier's archive."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("DIR"),
        QStringLiteral("Local database directory (default: the one Velmora.ini beside the program names)."),
        QStringLiteral("[DIR]"));
    const QCommandLineOption appDirOption(QStringLiteral("app-dir"),
        QStringLiteral("Where a first build writes Velmora.ini and update.info, as the window does beside "
                       "the program (default: nowhere; DIR receives only the database)."),
        QStringLiteral("PATH"));
    parser.addOption(appDirOption);
    const QCommandLineOption fromOption(QStringLiteral("from"),
        QStringLiteral("Build the database afresh from this classifier archive (base.7z, or a .zip) or "
                       "directory, the DBF files at its top or one folder down, in any letter case. The "
                       "existing database is replaced only when the new one is complete."),
        QStringLiteral("FILE"));
    parser.addOption(fromOption);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "import: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.positionalArguments().size() > 1) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }
    // The window passes its directories without a trailing separator.
    const QStringList positional = parser.positionalArguments();
    QString localDbDir
        = QDir::cleanPath(positional.isEmpty() ? localDbDirFromSettings() : positional.first());
    const QString appDir
        = parser.isSet(appDirOption) ? QDir::cleanPath(parser.value(appDirOption)) : QString();

    // Nothing to build from: say where a database comes from instead of leaving an empty file.
    const QFileInfo existing(Paths::databaseFile(localDbDir));
    if (!parser.isSet(fromOption) && (!existing.isFile() || existing.size() == 0)
        && !QFileInfo(Paths::join(localDbDir, QStringLiteral("BASE"))).isDir()) {
        std::fprintf(stderr,
            "import: %s holds neither KLADR.sqlite nor BASE/ with the classifier files; %s\n",
            qPrintable(localDbDir), qPrintable(noDatabaseHint(localDbDir)));
        return 1;
    }

    ConsoleHost host(stdout);
    ThreadDataBaseCreate thread;
    thread.setHost(&host);
    thread.setDirectories(appDir, localDbDir);
    if (parser.isSet(fromOption)) {
        const QString from = parser.value(fromOption);
        if (!QFileInfo::exists(from)) {
            std::fprintf(stderr, "import: %s does not exist\n", qPrintable(from));
            return 1;
        }
        thread.setSource(QFileInfo(from).absoluteFilePath());
    }
    QObject::connect(&thread, &QThread::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    QElapsedTimer timer;
    timer.start();
    thread.start();
    QCoreApplication::exec();
    thread.wait();
    const double seconds = timer.elapsed() / 1000.0;

    const ThreadDataBaseCreate::RunReport report = thread.lastRunReport();
    const QString database = Paths::databaseFile(localDbDir);
    std::printf("\nsummary: %s\n", report.success ? "success" : "FAILED");
    const std::pair<const char*, ThreadDataBaseCreate::TableReport> tables[] = { { "KLADR", report.kladr },
        { "STREET", report.street }, { "DOMA", report.doma }, { "POST_OFFICES", report.postOffices } };
    for (const auto& [name, table] : tables) {
        std::printf("  %-12s %10s rows in the table, %lld committed in this run in %d blocks%s\n", name,
            qPrintable(countRows(database, name)), table.rows, table.blocks,
            table.unreadable ? qPrintable(QStringLiteral(", %1 unreadable").arg(table.unreadable)) : "");
    }
    std::printf("  seconds: %.2f\n  peak RSS: %.1f MB\n", seconds, peakRssKb() / 1024.0);
    return report.success ? 0 : 1;
}
