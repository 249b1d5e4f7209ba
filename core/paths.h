// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
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

// Which file a path names now: device and inode, so that a file renamed over the path reads as
// another file. Empty when the file is missing, or where there are no inodes to tell files apart.
QByteArray fileIdentity(const QString& fileName);

// The same, with the file's size and the time of its last write, so that a file written anew in
// place reads as changed too. Empty as fileIdentity is.
QByteArray fileStamp(const QString& fileName);

} // namespace Paths
