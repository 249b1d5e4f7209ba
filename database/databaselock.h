// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLockFile>
#include <QString>

// The lock every writer of a local database takes before it touches the file: the import, the
// install of an update, a publication reading it. KLADR.sqlite.lock beside the database, made
// with QLockFile (process id, program and host inside).
//
// A lock is taken over when its holder is gone: a process of this host that no longer runs, or
// a lock file nobody can read (empty, cut short) that is older than UnreadableStaleAfter, since
// a live holder fills its file the moment it makes it. A lock written on another host is never
// taken over (its process may well run there); the message names that host.
class DatabaseLock {
public:
    enum class Result {
        Locked,
        Busy, // another process holds it: message() says which
        NotWritable, // the directory takes no files; nobody can write the database there either
        Failed, // the lock file could not be made (disk full): nothing may be written
    };

    static constexpr int DefaultTimeout = 10000;
    static constexpr qint64 UnreadableStaleAfter = 60 * 1000;

    explicit DatabaseLock(const QString& databaseFile);

    // Waits up to nTimeout milliseconds for another holder to end.
    Result acquire(int nTimeout = DefaultTimeout);
    bool isLocked() const { return m_Lock.isLocked(); }
    void unlock() { m_Lock.unlock(); }

    QString databaseFile() const { return m_DatabaseFile; }
    QString lockFile() const;
    // Why acquire() did not lock, as a status-log line; empty after Locked.
    QString message() const { return m_Message; }

private:
    bool takeOverUnreadable();
    QString busyMessage();

    QString m_DatabaseFile;
    QLockFile m_Lock;
    QString m_Message;
};
