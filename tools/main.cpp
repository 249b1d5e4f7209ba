// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"
#include "settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

QString localDbDirFromSettings()
{
    // applicationDirPath() is that of the executable itself, not of the link it was started by.
    return Settings::readLocalDbDir(QCoreApplication::applicationDirPath());
}

QString noDatabaseHint(const QString& localDbDir)
{
    const Settings::UpdateLocation location
        = Settings::readUpdateLocation(QCoreApplication::applicationDirPath(), localDbDir);
    if (location.configured || QFileInfo::exists(location.descriptorPath))
        return QStringLiteral("an update location is configured (%1): install its database with "
                              "velmora-tool update")
            .arg(location.descriptorPath);
    return QStringLiteral("put the classifier's DBF files into %1/BASE and run velmora-tool import, or "
                          "name an update location (UpdatePath in Velmora.ini) and run velmora-tool update")
        .arg(localDbDir);
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-tool"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Velmora without a window."));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("command"), QStringLiteral("sample, import, search, resolve, update or publish"));
    // Options belong to the command; the dispatcher only looks at the first word.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.parse(app.arguments());

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        if (parser.isSet(QStringLiteral("help")))
            parser.showHelp(0);
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }
    const QString command = positional.first();
    const QStringList arguments
        = QStringList { app.arguments().first() + QLatin1Char(' ') + command } + positional.mid(1);
    if (command == QLatin1String("sample"))
        return runSampleCommand(arguments);
    if (command == QLatin1String("import"))
        return runImportCommand(arguments);
    if (command == QLatin1String("search"))
        return runSearchCommand(arguments);
    if (command == QLatin1String("update"))
        return runUpdateCommand(arguments);
    if (command == QLatin1String("publish"))
        return runPublishCommand(arguments);
    if (command == QLatin1String("resolve"))
        return runResolveCommand(arguments);
    std::fprintf(
        stderr, "velmora-tool: unknown command '%s'\n%s", qPrintable(command), qPrintable(parser.helpText()));
    return 2;
}
