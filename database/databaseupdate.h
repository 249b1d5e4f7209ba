// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>

class QIODevice;
class WorkerHost;

// The start-up check of the local database against the update descriptor, and the install of
// the database offered at the update location (a plain file, or a ZIP archive holding the
// database as its only entry). Runs on whichever thread calls it (the window's update worker,
// velmora-tool update), without widgets: log lines, the progress caption, the bar and the
// progress frame all go through the host, and the host's stopRequested() ends a copy.
//
// An install holds the database's lock (the import's, KLADR.sqlite.lock) from the copy to the
// rename. The offered file is copied (an archive copied, then unpacked from the local copy, so
// the share is read once) into a new file beside the local database, which is checked (an SQLite
// database, quick_check ok, the three tables with their columns, the seven indexes, the version
// the descriptor announces) and only then put in place; anything else leaves the local database
// byte-identical.
class DatabaseUpdate {
public:
    static constexpr qint64 ChunkSize = 100000;

    enum class Outcome {
        Current, // the local database has the offered version
        Installed,
        NotConfigured, // no update location named and no update.info beside the database
        NoDescriptor, // the descriptor cannot be read
        NothingOffered, // the descriptor offers no version
        VersionUnreadable, // the local version cannot be read; the import's check sees to it
        Failed, // the offered file could not be read or written here
        Refused, // the offered file is not a sound database of the announced version
        Busy, // an import or another install holds the database
        Skipped, // the offered file is the local database itself, or the host asked to stop
    };

    // host: not owned, must outlive this object. connectionName: a "QSQLITE" connection of the
    // calling thread whose database name is the local database file; it is opened, closed around
    // the replacement of the file, and reopened.
    DatabaseUpdate(WorkerHost* host, const QString& appDir, const QString& localDbDir,
        const QString& connectionName = QLatin1String(QSqlDatabase::defaultConnection));

    // Compares the local version with the descriptor's and installs the offered database
    // when they differ or the local one is missing, unreadable or has no version.
    Outcome checkDatabaseVersion();

    // Installs offeredFile when it is a sound database stamped with version.
    Outcome install(const QString& offeredFile, bool bZip, const QString& version);

    // How long an install waits for an import of the same database to end.
    void setLockTimeout(int nMilliseconds) { m_nLockTimeout = nMilliseconds; }
    // Test seam: called after each chunk of a copy with the chunk's number, on the copying thread.
    void setChunkHook(std::function<void(int)> hook) { m_ChunkHook = std::move(hook); }

    // Copies in chunks of ChunkSize bytes: chunk i sets the bar value to i. Stops after the
    // first chunk shorter than ChunkSize, so a source whose size is a multiple of ChunkSize ends
    // with an empty chunk. Returns the number of bytes copied, or -1 when reading or writing
    // fails or the host asks to stop.
    qint64 copyInChunks(QIODevice& source, QIODevice& destination);

    QString localDatabaseFile() const;
    // The new file an install writes beside the local database before it is checked.
    QString newDatabaseFile() const;

private:
    Outcome check();
    void ensureLocalDirectory();
    bool commonFile(const QString& offeredFile, const QString& copyTarget, bool bZip);
    Outcome copyAndCheck(QIODevice& source, bool bZip, const QString& version);
    void showCopyProgress(qint64 size);
    bool copyPlain(QIODevice& source);
    bool copyArchive(QIODevice& source, const QString& archiveCopy);
    bool unpack(const QString& archivePath, const QString& target);
    bool checkNewFile(const QString& version);
    void log(const QString& text);

    WorkerHost* m_pHost;
    QString m_AppDir;
    QString m_LocalDbDir;
    QString m_ConnectionName;
    int m_nLockTimeout;
    std::function<void(int)> m_ChunkHook;
    QString m_OfferedFile; // of the install in progress, for its messages
    bool m_bStopped = false; // the host asked to stop during a copy
    bool m_bLeaveClosed = false; // the copy target could not be opened
    bool m_bRefused = false; // the archive holds other than one entry
};
