// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"
#include "searchresult.h"

#include <QMetaType>
#include <QStringList>
#include <QThread>

class QSqlDatabase;

// What a search by postal index found: the rows (at most IndexQuery::RowLimit), how many there
// are, and the lines about the index's post office (none when the database has no reference).
struct IndexSearchResult {
    bool ok = false;
    QString error; // SQLite's text when the search failed
    SearchResult result;
    int total = 0;
    QStringList officeLines;
    QString statement; // the rows statement as executed
};
Q_DECLARE_METATYPE(IndexSearchResult)

// The search by postal index on an open connection of the calling thread. index: six digits, as
// IndexQuery::read accepted them; locality and street: the ticked name texts (empty: not ticked).
IndexSearchResult runIndexSearch(
    QSqlDatabase& db, const QString& index, const LevelFilter& locality, const LevelFilter& street);

// Runs one search by postal index at a time on a connection of its own to the database file,
// opened and removed by each run, and reports the result queued.
class IndexSearchThread : public QThread {
    Q_OBJECT
public:
    explicit IndexSearchThread(QObject* parent = nullptr);
    ~IndexSearchThread() override;

    void setDatabaseFile(const QString& fileName) { m_DatabaseFile = fileName; }
    // Read by the next run; set while the thread is not running.
    void setRequest(const QString& index, const LevelFilter& locality, const LevelFilter& street);

signals:
    void signalIndexFound(const IndexSearchResult& result);

protected:
    void run() override;

private:
    QString m_DatabaseFile;
    QString m_Index;
    LevelFilter m_Locality;
    LevelFilter m_Street;
};
