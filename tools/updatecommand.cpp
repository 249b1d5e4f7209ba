// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "consolehost.h"
#include "databaseupdate.h"
#include "paths.h"
#include "updatepublisher.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>

#include <cstdio>

namespace {

// Parses; returns -1 to go on, otherwise the exit status (help shown, or bad arguments).
int parse(QCommandLineParser& parser, const QStringList& arguments, const char* command, int nMaxPositional)
{
    parser.addHelpOption();
    if (!parser.parse(arguments)) {
        std::fprintf(
            stderr, "%s: %s\n%s", command, qPrintable(parser.errorText()), qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.positionalArguments().size() > nMaxPositional) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }
    return -1;
}

} // namespace

int runUpdateCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Installs the database offered at the update location into DIR exactly as the window's start-up "
        "check does, and prints the same status lines. Exit status 0: the local database is current or "
        "was installed; 1: it was not (the last line says why)."));
    parser.addPositionalArgument(QStringLiteral("DIR"),
        QStringLiteral("Local database directory (default: the one Velmora.ini beside the program names)."),
        QStringLiteral("[DIR]"));
    const QCommandLineOption appDirOption(QStringLiteral("app-dir"),
        QStringLiteral("Directory whose Velmora.ini names the update location (default: the program's)."),
        QStringLiteral("PATH"));
    parser.addOption(appDirOption);
    const int status = parse(parser, arguments, "update", 1);
    if (status >= 0)
        return status;

    const QStringList positional = parser.positionalArguments();
    const QString localDbDir
        = QDir::cleanPath(positional.isEmpty() ? localDbDirFromSettings() : positional.first());
    const QString appDir = parser.isSet(appDirOption) ? QDir::cleanPath(parser.value(appDirOption))
                                                      : QCoreApplication::applicationDirPath();

    ConsoleHost host(stdout);
    const QString connectionName = QStringLiteral("velmora-tool-update");
    DatabaseUpdate::Outcome outcome;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(Paths::databaseFile(localDbDir));
        outcome = DatabaseUpdate(&host, appDir, localDbDir, connectionName).checkDatabaseVersion();
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return outcome == DatabaseUpdate::Outcome::Current || outcome == DatabaseUpdate::Outcome::Installed ? 0
                                                                                                        : 1;
}

int runPublishCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Offers the complete database DIR/KLADR.sqlite at UPDATE_DIR: the database (plain, or zipped with "
        "--zip) and then update.info naming it, each put in place only when complete. A damaged or "
        "partial database is refused (exit status 1); publishing the version already offered does nothing."));
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("Directory holding KLADR.sqlite."));
    parser.addPositionalArgument(QStringLiteral("UPDATE_DIR"),
        QStringLiteral("The update location (UpdatePath of the desktops' Velmora.ini)."));
    const QCommandLineOption zipOption(QStringLiteral("zip"),
        QStringLiteral("Offer the database as a ZIP archive holding it as its only entry."));
    const QCommandLineOption versionOption(QStringLiteral("version"),
        QStringLiteral("Stamp the published copy with V instead of the database's own version (the source "
                       "stays as it is)."),
        QStringLiteral("V"));
    parser.addOption(zipOption);
    parser.addOption(versionOption);
    const int status = parse(parser, arguments, "publish", 2);
    if (status >= 0)
        return status;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2 || (parser.isSet(versionOption) && parser.value(versionOption).isEmpty())) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }

    ConsoleHost host(stdout);
    UpdatePublisher publisher(&host);
    return publisher.publish(QDir::cleanPath(positional.at(0)), QDir::cleanPath(positional.at(1)),
               parser.isSet(zipOption), parser.value(versionOption))
        ? 0
        : 1;
}
