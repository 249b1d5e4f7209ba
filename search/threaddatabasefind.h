// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"
#include "searchresult.h"

#include <QThread>

class QSqlDatabase;
class ThreadTimer;
class WorkerHost;

// Builds the search statement from the two level texts, runs it on its own connection (kept open
// from one search to the next) and hands the fetched rows to the window.
class ThreadDataBaseFind : public QThread {
    Q_OBJECT
public:
    explicit ThreadDataBaseFind(QObject* parent = nullptr);
    ~ThreadDataBaseFind() override;

    // Set once by whoever owns the thread; not owned. The timer may be left unset (headless).
    void setHost(WorkerHost* host) { m_pHost = host; }
    void setTimer(ThreadTimer* timer) { m_pTimer = timer; }
    // Set before every start, while the thread is not running. The parameters are copied: the
    // run reads only its own copy and hands the column map back with the result.
    void setDatabaseFile(const QString& fileName) { m_DatabaseFile = fileName; }
    void setSearchParams(const SearchParams& params) { m_SearchParams = params; }

    // The SQL string literal of text: apostrophes doubled, so no text can end the literal.
    static QString sqlLiteral(const QString& text);

    // "= 'TEXT' " or "LIKE 'MASK' " for a level, its text upper-cased and quoted.
    static QString makeCondition(const LevelFilter& level);
    // The result columns of a search by these levels, by key: header and column number.
    static QHash<QString, ResultColumn> columnMap(bool bLocality, bool bStreet);

signals:
    void signalUpdateText(QString s);
    void signalUpdateProgress(int nValue, int nMax = -1);
    void signalVisible(bool);
    // Emitted once the statement has run and its rows are fetched; an empty result included.
    // Not emitted when the search was interrupted.
    void signalFind(const SearchResult& result);

protected:
    void run() override;

private:
    // The statement as it is logged, and the statements run in its place: the halves of a
    // two-level search one after another (or one SELECT of their rows, twolevelplan.h), masks
    // that begin with a wildcard matched against the distinct names, no LIMIT (the fetch stops
    // at 100 distinct rows).
    struct Statements {
        QString logged;
        QStringList executed;
    };

    // nameTables: the distinct-name tables the database holds.
    static Statements buildStatements(
        const LevelFilter& locality, const LevelFilter& street, const QStringList& nameTables);
    // False when a statement failed (an interrupted fetch is no failure).
    bool search(QSqlDatabase& db, const Statements& statements, SearchResult& result);
    // Announces the search and logs its statement, then opens the connection into db; false, with
    // the error reported, when it cannot be opened.
    bool begin(const QString& logged, QSqlDatabase& db);
    void reportError(const QString& text);
    // The search for one house on the streets found (housesearch.h); its own statement and rows.
    void searchHouse(const LevelFilter& locality, const LevelFilter& street, const QString& house);

    // The read-only connection of this thread's searches, kept open from one search to the next
    // while the database file stays the same file: opening it, reading the schema and warming
    // its pages again would cost more than a short search itself. A file installed in its place
    // (a new file renamed over it) is opened anew; changes written into the same file SQLite
    // notices on its own. False, with the error in text, when it cannot be opened.
    bool openConnection(QSqlDatabase& db, QString* text);
    // Closes the kept connection; the next search opens one.
    void closeConnection();

    WorkerHost* m_pHost = nullptr;
    ThreadTimer* m_pTimer = nullptr;
    SearchParams m_SearchParams;
    QString m_DatabaseFile;
    const QString m_ConnectionName;
    // The file the kept connection reads, as it was when opened; empty while none is open.
    QString m_OpenedFile;
    QByteArray m_OpenedIdentity;
};
