// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

class SqliteRows;
class StatementCache;
struct sqlite3;

// The first distinct rows of one or more statements run one after another, as a UNION of them
// would return them, without computing the rest: SQLite's UNION builds the whole result before a
// LIMIT applies, while stepping the parts stops as soon as enough distinct rows are in hand. With
// AllRows, the first rows as they come, as a statement with a LIMIT returns them.
class DistinctRowFetcher {
public:
    enum Rows { DistinctRows, AllRows };

    // With handle (db's own, see SqliteHandle), the rows are read through SQLite directly; with
    // cache as well, each statement is kept there with its literals as parameters, so that a
    // statement that differs from an earlier one only in the names it searches is not compiled
    // again.
    DistinctRowFetcher(const QSqlDatabase& db, int limit, Rows rows = DistinctRows, sqlite3* handle = nullptr,
        StatementCache* cache = nullptr);
    ~DistinctRowFetcher();

    // Prepares every statement; false, with lastError(), when one fails.
    bool prepare(const QStringList& statements);

    // Runs the prepared statements in order, keeping rows not seen yet, until the limit is reached
    // or the statements are exhausted. interrupted is asked before every row; when it answers true
    // the fetch stops and returns false with no error. False with lastError() when a statement
    // fails to execute or to step.
    bool fetch(const std::function<bool()>& interrupted);

    // The first statement's columns, names only; every row carries these names.
    const QSqlRecord& columns() const { return m_Columns; }
    const QVector<QSqlRecord>& rows() const { return m_Rows; }
    const QSqlError& lastError() const { return m_Error; }
    // After a fetch: the statements hold at least one row (distinct, with DistinctRows) beyond
    // the limit.
    bool hasMore() const { return m_bMore; }

private:
    bool addRow(const QSqlQuery& query);
    bool addRow(const SqliteRows& rows);
    bool fetchDirect(const std::function<bool()>& interrupted);

    QSqlDatabase m_DataBase;
    sqlite3* m_pHandle;
    StatementCache* m_pCache;
    // The statements read directly (shared with the cache that keeps them), with the values
    // bound to each.
    std::vector<std::shared_ptr<SqliteRows>> m_Direct;
    std::vector<QStringList> m_Values;
    int m_nLimit;
    Rows m_RowsKept;
    bool m_bMore = false;
    QList<QSqlQuery> m_Queries;
    QSqlRecord m_Columns;
    QVector<QSqlRecord> m_Rows;
    QSet<QString> m_Seen;
    QSet<QByteArray> m_SeenBytes;
    QSqlError m_Error;
};
