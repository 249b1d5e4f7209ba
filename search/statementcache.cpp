// SPDX-License-Identifier: GPL-3.0-or-later
#include "statementcache.h"

#include "sqliterows.h"

#include <QSqlError>

namespace {

bool run(QSqlQuery& query, const QString& sql, const QVariantList& values, bool bPrepare)
{
    if (bPrepare) {
        query.setForwardOnly(true);
        if (!query.prepare(sql))
            return false;
    }
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    return query.exec();
}

} // namespace

StatementCache::StatementCache() = default;

StatementCache::~StatementCache() = default;

void StatementCache::setDatabase(const QSqlDatabase& db, sqlite3* handle)
{
    clear();
    m_DataBase = db;
    m_pHandle = handle;
}

void StatementCache::clear()
{
    // The queries go before the connection may be removed.
    m_Queries.clear();
    m_Rows.clear();
    m_pHandle = nullptr;
    m_DataBase = QSqlDatabase();
}

std::shared_ptr<SqliteRows> StatementCache::rows(const QString& sql, QSqlError* error)
{
    if (!m_pHandle)
        return nullptr;
    auto it = m_Rows.find(sql);
    if (it != m_Rows.end())
        return *it;
    if (m_Rows.size() >= MaxStatements)
        m_Rows.clear();
    auto rows = std::make_shared<SqliteRows>(m_pHandle);
    if (!rows->prepare(sql)) {
        *error = rows->lastError();
        return nullptr;
    }
    m_Rows.insert(sql, rows);
    return rows;
}

QSqlQuery* StatementCache::exec(const QString& sql, const QVariantList& values, QSqlError* error)
{
    auto it = m_Queries.find(sql);
    const bool bNew = it == m_Queries.end();
    if (bNew) {
        if (m_Queries.size() >= MaxStatements)
            m_Queries.clear();
        it = m_Queries.insert(sql, QSqlQuery(m_DataBase));
    }
    if (!run(*it, sql, values, bNew)) {
        *error = it->lastError();
        // Prepared again next time: a failure may come from a file that changed under it.
        m_Queries.erase(it);
        return nullptr;
    }
    return &*it;
}

bool StatementCache::execute(const QString& sql)
{
    QSqlError error;
    const std::shared_ptr<SqliteRows> statement = rows(sql, &error);
    if (!statement || !statement->exec()) {
        // Prepared again next time: a failure may come from a file that changed under it.
        m_Rows.remove(sql);
        return false;
    }
    statement->finish();
    return true;
}

QSqlQuery* execStatement(
    StatementCache* cache, QSqlQuery& query, const QString& sql, const QVariantList& values, QSqlError* error)
{
    if (cache)
        return cache->exec(sql, values, error);
    if (!run(query, sql, values, true)) {
        *error = query.lastError();
        return nullptr;
    }
    return &query;
}
