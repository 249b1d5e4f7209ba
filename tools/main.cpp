// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"
#include "settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

QString localDbDirFromSettings()
{
    // applicationDirPath() is that of the executable itself, not of the link it was started by.
    return Settings::readLocalDbDir(QCoreApplication::applicationDirPath());
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-tool"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Velmora without a window."));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("command"), QStringLiteral("sample, import, search or resolve"));
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
    if (command == QLatin1String("resolve"))
        return runResolveCommand(arguments);
    std::fprintf(
        stderr, "velmora-tool: unknown command '%s'\n%s", qPrintable(command), qPrintable(parser.helpText()));
    return 2;
}
