// SPDX-License-Identifier: GPL-3.0-or-later
#include "statementcache.h"

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

void StatementCache::setDatabase(const QSqlDatabase& db)
{
    clear();
    m_DataBase = db;
}

void StatementCache::clear()
{
    // The queries go before the connection may be removed.
    m_Queries.clear();
    m_DataBase = QSqlDatabase();
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
