#pragma once

#include "searchparams.h"

#include <QSqlQuery>
#include <QThread>

class ThreadTimer;
class WorkerHost;

// Builds the search statement from the two level texts, runs it on its own connection and hands
// the result to the window.
class ThreadDataBaseFind : public QThread {
    Q_OBJECT
public:
    explicit ThreadDataBaseFind(QObject* parent = nullptr);
    ~ThreadDataBaseFind() override;

    void setHost(WorkerHost* host) { m_pHost = host; }
    void setTimer(ThreadTimer* timer) { m_pTimer = timer; }
    void setDatabaseFile(const QString& fileName) { m_DatabaseFile = fileName; }
    // Set by the window before every start, while the thread is not running.
    void setSearchParams(SearchParams* params) { m_pSearchParams = params; }

signals:
    void signalUpdateText(QString s);
    void signalUpdateProgress(int nValue, int nMax = -1);
    void signalVisible(bool);
    void signalFind(QSqlQuery*);

protected:
    void run() override;

private:
    WorkerHost* m_pHost = nullptr;
    ThreadTimer* m_pTimer = nullptr;
    SearchParams* m_pSearchParams = nullptr;
    QString m_DatabaseFile;
    QSqlQuery m_Query;
};
