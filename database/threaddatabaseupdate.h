// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "databaseupdate.h"

#include <QThread>

#include <functional>

class WorkerHost;

// The start-up check and update on a worker, so the window stays responsive through a long copy.
// The run has a connection of its own to the local database; its reports reach the host (the
// window's queued host) in the order made. An interruption request (the window closing) stops
// the copy and leaves the local database as it was.
class ThreadDatabaseUpdate : public QThread {
    Q_OBJECT
public:
    explicit ThreadDatabaseUpdate(QObject* parent = nullptr);
    ~ThreadDatabaseUpdate() override;

    // Not owned; callable from this thread. Set before the start; run() does nothing without it.
    void setHost(WorkerHost* host) { m_pHost = host; }
    void setDirectories(const QString& appDir, const QString& localDbDir);
    void setLockTimeout(int nMilliseconds) { m_nLockTimeout = nMilliseconds; }
    // Test seam: see DatabaseUpdate::setChunkHook.
    void setChunkHook(std::function<void(int)> hook) { m_ChunkHook = std::move(hook); }

    // The last finished run; read it only after the thread has finished.
    DatabaseUpdate::Outcome lastOutcome() const { return m_Outcome; }

signals:
    // The check has ended; bInstalled: the local database file was replaced.
    void signalDatabaseChecked(bool bInstalled);

protected:
    void run() override;

private:
    class Host;

    WorkerHost* m_pHost = nullptr;
    QString m_AppDir;
    QString m_LocalDbDir;
    int m_nLockTimeout;
    std::function<void(int)> m_ChunkHook;
    DatabaseUpdate::Outcome m_Outcome = DatabaseUpdate::Outcome::Skipped;
};
