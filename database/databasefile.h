// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class DatabaseLock;

// What a database file must be before it is put in place of the local database or offered to
// other installations: this program's complete database.
struct DatabaseFileCheck {
    bool ok = false;
    QString version; // the stamp in its info table; empty when there is none
    QString problem; // what is wrong, as the end of a status-log line; empty when ok
};

// Opens path read-only (nothing is written, no journal made) and checks that it is an SQLite
// database, that PRAGMA quick_check finds it sound, that KLADR, STREET and DOMA exist under their
// own names (so complete) with the columns the import makes, that the seven indexes exist, and
// that it carries a version. Callable from any thread.
DatabaseFileCheck checkDatabaseFile(const QString& path);

// Puts a complete database file in place of the local database while the caller holds its lock
// (lock.databaseFile() is the target). newFile lies beside the target, on the same file system.
// In order: newFile is flushed to disk; the target's -journal, -wal and -shm are removed (they
// belong to the file being replaced, and SQLite, which finds them by name, would roll them into
// the new one); newFile is renamed over the target; the directory is flushed. A -journal that
// cannot be removed refuses the replacement. On failure the target is untouched, newFile is left
// to the caller and error holds the status-log line.
bool replaceDatabaseFile(const DatabaseLock& lock, const QString& newFile, QString& error);

// Removes a database file and SQLite's files beside it (-journal, -wal, -shm); false when one
// of them stays.
bool removeDatabaseFiles(const QString& path);

// Flushes a written file, or a directory after a rename in it, to disk; false when it cannot be.
bool syncFile(const QString& path);
