// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// Each command takes its own arguments (the command name first, as QCommandLineParser expects
// argv[0]) and returns the process exit status.
int runSampleCommand(const QStringList& arguments);
int runImportCommand(const QStringList& arguments);
int runSearchCommand(QStringList arguments);
int runUpdateCommand(const QStringList& arguments);
int runPublishCommand(const QStringList& arguments);

// What the tool says when DIR holds neither a database nor the classifier files to build one:
// where to put them, or that an update location is configured and velmora-tool update installs
// its database.
QString noDatabaseHint(const QString& localDbDir);
int runResolveCommand(const QStringList& arguments);

// The local database directory as the window finds it: LocalDB/Path of the Velmora.ini beside
// the program (a link to the program is resolved first), %HOME% expanded.
QString localDbDirFromSettings();
