#pragma once

#include <QStringList>

// Each command takes its own arguments (the command name first, as QCommandLineParser expects
// argv[0]) and returns the process exit status.
int runSampleCommand(const QStringList& arguments);
int runImportCommand(const QStringList& arguments);
int runSearchCommand(QStringList arguments);
