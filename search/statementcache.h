// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <memory>

class SqliteRows;
struct sqlite3;

// The statements a kept connection runs at every search, prepared once: a statement whose text
// does not change from one search to the next (its values bound) is parsed and planned once
// instead of at every search. Used by the thread that owns the connection only; emptied before
// the connection closes.
class StatementCache {
public:
    StatementCache();
    ~StatementCache();
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // The connection the statements are prepared on, and its SQLite handle when rows may be
    // read through SQLite directly; the ones kept for another are dropped.
    void setDatabase(const QSqlDatabase& db, sqlite3* handle = nullptr);
    void clear();

    // Runs sql with values bound, on the statement kept for that text (prepared the first time).
    // The query is forward only; whoever reads it calls finish() once done, so that no statement
    // holds the file's read lock between searches. Null when it cannot be prepared or run, the
    // error in *error.
    QSqlQuery* exec(const QString& sql, const QVariantList& values, QSqlError* error);

    // The statement kept for sql on the handle, read through SQLite directly (prepared the first
    // time); null without a handle, or when it cannot be prepared, the error in *error. Whoever
    // reads it finishes it before the search ends.
    std::shared_ptr<SqliteRows> rows(const QString& sql, QSqlError* error);

    // Runs sql, a statement without rows (BEGIN, COMMIT), on its kept statement read directly;
    // false when there is no handle or it fails.
    bool execute(const QString& sql);

    // How many statements are kept.
    int size() const { return m_Queries.size() + int(m_Rows.size()); }

private:
    // Texts of statements seldom vary (the shape of a search); a bound that keeps a long session
    // from keeping every variant.
    static constexpr int MaxStatements = 64;

    QSqlDatabase m_DataBase;
    sqlite3* m_pHandle = nullptr;
    QHash<QString, QSqlQuery> m_Queries;
    QHash<QString, std::shared_ptr<SqliteRows>> m_Rows;
};

// Runs sql with values bound on cache's kept statement, or on query prepared afresh when there is
// no cache (a kind of query run on a bare connection, as tests run it). The query to read, null on
// failure with the error in *error.
QSqlQuery* execStatement(StatementCache* cache, QSqlQuery& query, const QString& sql,
    const QVariantList& values, QSqlError* error);
