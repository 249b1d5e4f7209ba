#pragma once

#include "searchparams.h"
#include "searchresult.h"

#include <QThread>

class QSqlDatabase;
class ThreadTimer;
class WorkerHost;

// Builds the search statement from the two level texts, runs it on its own connection and hands
// the fetched rows to the window.
class ThreadDataBaseFind : public QThread {
    Q_OBJECT
public:
    explicit ThreadDataBaseFind(QObject* parent = nullptr);
    ~ThreadDataBaseFind() override;

    // Set once by whoever owns the thread; not owned. The timer may be left unset (headless).
    void setHost(WorkerHost* host) { m_pHost = host; }
    void setTimer(ThreadTimer* timer) { m_pTimer = timer; }
    // Set before every start, while the thread is not running.
    void setDatabaseFile(const QString& fileName) { m_DatabaseFile = fileName; }
    void setSearchParams(SearchParams* params) { m_pSearchParams = params; }

    // The SQL string literal of text: apostrophes doubled, so no text can end the literal.
    static QString sqlLiteral(const QString& text);

signals:
    void signalUpdateText(QString s);
    void signalUpdateProgress(int nValue, int nMax = -1);
    void signalVisible(bool);
    // Emitted once the statement has run and its rows are fetched; an empty result included.
    void signalFind(const SearchResult& result);

protected:
    void run() override;

private:
    static QString makeCondition(const LevelFilter& level);
    QString buildStatement(const LevelFilter& locality, const LevelFilter& street);
    void search(QSqlDatabase& db, const QString& statement);
    void reportError(const QString& text);
    // The search for one house on the streets found (housesearch.h); its own statement and rows.
    void searchHouse(const LevelFilter& locality, const LevelFilter& street, const QString& house);

    WorkerHost* m_pHost = nullptr;
    ThreadTimer* m_pTimer = nullptr;
    SearchParams* m_pSearchParams = nullptr;
    QString m_DatabaseFile;
    const QString m_ConnectionName;
};
