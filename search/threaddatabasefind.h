// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"
#include "searchresult.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class ThreadTimer;
class WorkerHost;

// The one search worker of the window or of velmora-tool: a thread started with the first search
// and kept alive, with its connection, until the object goes. Each search is handed to it with
// find(); it chooses the kind of query (searchquery.h), runs it on the kept connection, composes
// the addresses of the rows and reports through the signals.
class ThreadDataBaseFind : public QThread {
    Q_OBJECT
public:
    explicit ThreadDataBaseFind(QObject* parent = nullptr);
    // Ends the search under way, and the thread.
    ~ThreadDataBaseFind() override;

    // Set once by whoever owns the thread; not owned. The timer may be left unset (headless).
    void setHost(WorkerHost* host) { m_pHost = host; }
    void setTimer(ThreadTimer* timer) { m_pTimer = timer; }
    // The database searched from the next search on.
    void setDatabaseFile(const QString& fileName);

    // Hands a search to the worker (starting it the first time); the parameters are copied. A
    // search handed over while another runs follows it; one not yet begun is replaced.
    void find(const SearchParams& params);
    // Opens the connection and reads the address names, as a first search would, without a
    // search: so that the first search the user waits for finds them ready.
    void prepare();
    // True from find() or prepare() until the job has reported signalSearchDone().
    bool isBusy() const { return m_bBusy; }
    // Stops the search under way at its next row; it reports no result. The worker stays.
    void cancel();
    // Waits until no job is waiting or running; false when msecs ran out first.
    bool waitIdle(unsigned long msecs = ULONG_MAX);

signals:
    void signalUpdateText(QString s);
    void signalUpdateProgress(int nValue, int nMax = -1);
    void signalVisible(bool);
    // Emitted once the statement has run and its rows are fetched; an empty result included.
    // Not emitted when the search was refused, failed or was stopped.
    void signalFind(const SearchResult& result);
    // Every job handed over ends with this one, after its other signals.
    void signalSearchDone();

protected:
    void run() override;

private:
    struct Job {
        bool bSearch = false;
        SearchParams params;
        QString databaseFile;
    };

    void runJob(class SearchConnection& connection, const Job& job);
    void post(const Job& job);
    bool interrupted() const;

    WorkerHost* m_pHost = nullptr;
    ThreadTimer* m_pTimer = nullptr;
    const QString m_ConnectionName;

    mutable QMutex m_Mutex;
    QWaitCondition m_Wake;
    QWaitCondition m_Idle;
    QString m_DatabaseFile;
    QList<Job> m_Jobs;
    bool m_bRunning = false;
    bool m_bStop = false;
    std::atomic_bool m_bBusy { false };
    std::atomic_bool m_bCancel { false };
};
