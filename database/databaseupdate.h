// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSqlDatabase>
#include <QString>

class QIODevice;
class WorkerHost;

// The start-up check of the local database against the update descriptor, and the install of
// the database offered at the update location (a plain file, or a ZIP archive whose first entry
// is the database). Runs in the GUI thread without widgets: log lines, the progress caption,
// the bar and the progress frame all go through the host.
//
// The local database file is replaced only by an atomic rename of a completely written
// temporary file beside it, so a failed copy or unpack leaves it exactly as it was.
class DatabaseUpdate {
public:
    static constexpr qint64 ChunkSize = 100000;

    // host: not owned, must outlive this object. connectionName: the registered "QSQLITE"
    // connection whose database name is localDbDir + "/KLADR.sqlite"; it is opened, closed
    // around the replacement of the file, and reopened.
    DatabaseUpdate(WorkerHost* host, const QString& appDir, const QString& localDbDir,
        const QString& connectionName = QLatin1String(QSqlDatabase::defaultConnection));

    // Compares the local version with the descriptor's and installs the offered database
    // when they differ or the local one is missing, unreadable or has no version.
    void checkDatabaseVersion();

    // True only when the offered file was installed completely (and, for an archive, its first
    // entry unpacked). False when nothing was installed: the offered file is unreadable or
    // is the local database itself, or the copy or unpack failed; the local database file is
    // then unchanged.
    bool installUpdate(const QString& offeredFile, bool bZip);

    static bool isZipType(const QString& fileType);

    // Copies in chunks of ChunkSize bytes: chunk i sets the bar value to i, then pending events
    // are processed. Stops after the first chunk shorter than ChunkSize, so a source whose size
    // is a multiple of ChunkSize ends with an empty chunk. Returns the number of bytes copied,
    // or -1 when reading or writing fails or the host asks to stop.
    qint64 copyInChunks(QIODevice& source, QIODevice& destination);

    QString localDatabaseFile() const;

private:
    enum class Outcome { Installed, Failed, Skipped };

    Outcome install(const QString& offeredFile, bool bZip);
    void ensureLocalDirectory();
    bool commonFile(const QString& offeredFile, const QString& copyTarget, bool bZip);
    bool unpack(const QString& archivePath, const QString& target);
    void log(const QString& text);

    WorkerHost* m_pHost;
    QString m_AppDir;
    QString m_LocalDbDir;
    QString m_ConnectionName;
    bool m_bStopped = false; // the host asked to stop during a copy
};
