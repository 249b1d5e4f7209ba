// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Joining a directory and a file name, for every path the program builds.
namespace Paths {

// dir and name with exactly one separator between them, whether either side brings one or not;
// a backslash counts as a separator (a Velmora.ini written on Windows). An empty side gives the
// other unchanged, so "" + "/update.info" stays "/update.info".
QString join(const QString& dir, const QString& name);

// The local database file, KLADR.sqlite, in a local database directory.
QString databaseFile(const QString& localDbDir);

// The lock every writer of that database takes first (the import, an install, a publication).
QString lockFile(const QString& databaseFile);

} // namespace Paths
