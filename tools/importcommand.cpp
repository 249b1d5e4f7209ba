// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "consolehost.h"
#include "threaddatabasecreate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
        "Runs the window's check-and-create run of the local database in DIR (which holds BASE/)."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("DIR"),
        QStringLiteral("Local database directory (default: the one Velmora.ini beside the program names)."),
        QStringLiteral("[DIR]"));
    const QCommandLineOption appDirOption(QStringLiteral("app-dir"),
        QStringLiteral("Where a first build writes Velmora.ini and update.info (default DIR)."),
        QStringLiteral("PATH"));
    parser.addOption(appDirOption);
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
        = parser.isSet(appDirOption) ? QDir::cleanPath(parser.value(appDirOption)) : localDbDir;

    ConsoleHost host(stdout);
    ThreadDataBaseCreate thread;
    thread.setHost(&host);
    thread.setDirectories(appDir, localDbDir);
    QObject::connect(&thread, &QThread::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    QElapsedTimer timer;
    timer.start();
    thread.start();
    QCoreApplication::exec();
    thread.wait();
    const double seconds = timer.elapsed() / 1000.0;

    const ThreadDataBaseCreate::RunReport report = thread.lastRunReport();
    const QString database = localDbDir + QStringLiteral("/KLADR.sqlite");
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
