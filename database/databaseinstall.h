// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Puts a complete database file in place of the local database, under the import lock the
// caller holds: SQLite's files of the old database that would otherwise be applied to the new
// one (a hot journal, a write-ahead log) are resolved by SQLite first or the install is
// refused, then the new file is synced and renamed over the old one in one step. False, with a
// line for the status log in *error, leaves the old database as it was.
bool installDatabaseFile(const QString& builtPath, const QString& targetPath, QString* error);

// Removes a database file and SQLite's files beside it; false when one of them stays.
bool removeDatabaseFiles(const QString& path);
