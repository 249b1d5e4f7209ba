// SPDX-License-Identifier: GPL-3.0-or-later
#include "threaddatabaseupdate.h"

#include "databaselock.h"
#include "paths.h"
#include "workerhost.h"

#include <QSqlDatabase>

// Forwards every report and answers the stop question with the thread's interruption request.
class ThreadDatabaseUpdate::Host : public WorkerHost {
public:
    Host(WorkerHost* target, const QThread* thread)
        : m_pTarget(target)
        , m_pThread(thread)
    {
    }
    void addState(const QString& text, bool bEncode) override { m_pTarget->addState(text, bEncode); }
    void updateText(const QString& text) override { m_pTarget->updateText(text); }
    void updateProgress(int nValue, int nMax) override { m_pTarget->updateProgress(nValue, nMax); }
    void setVisible(bool bVisible) override { m_pTarget->setVisible(bVisible); }
    bool stopRequested() const override { return m_pThread->isInterruptionRequested(); }

private:
    WorkerHost* m_pTarget;
    const QThread* m_pThread;
};

ThreadDatabaseUpdate::ThreadDatabaseUpdate(QObject* parent)
    : QThread(parent)
    , m_nLockTimeout(DatabaseLock::DefaultTimeout)
{
}

ThreadDatabaseUpdate::~ThreadDatabaseUpdate() = default;

void ThreadDatabaseUpdate::setDirectories(const QString& appDir, const QString& localDbDir)
{
    m_AppDir = appDir;
    m_LocalDbDir = localDbDir;
}

void ThreadDatabaseUpdate::run()
{
    if (!m_pHost)
        return;
    Host host(m_pHost, this);
    // A connection of this thread's own: the window's belongs to the GUI thread.
    const QString connectionName = QStringLiteral("velmora-update-%1").arg(quintptr(this), 0, 16);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(Paths::databaseFile(m_LocalDbDir));
        DatabaseUpdate update(&host, m_AppDir, m_LocalDbDir, connectionName);
        update.setLockTimeout(m_nLockTimeout);
        update.setChunkHook(m_ChunkHook);
        m_Outcome = update.checkDatabaseVersion();
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    if (!isInterruptionRequested())
        emit signalDatabaseChecked(m_Outcome == DatabaseUpdate::Outcome::Installed);
}
