// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// Each command takes its own arguments (the command name first, as QCommandLineParser expects
// argv[0]) and returns the process exit status.
int runSampleCommand(const QStringList& arguments);
int runImportCommand(const QStringList& arguments);
int runSearchCommand(QStringList arguments);

// The search by postal index of velmora-tool search --index: the office lines and the cut line
// on standard error, the table on standard output. refuseIndex gives the reason a text is no
// index, or nothing.
QString refuseIndex(const QString& text);
int runIndexSearchCommand(
    const QString& databaseFile, const QString& text, const QString& locality, const QString& street);

// The local database directory as the window finds it: LocalDB/Path of the Velmora.ini beside
// the program (a link to the program is resolved first), %HOME% expanded.
QString localDbDirFromSettings();
