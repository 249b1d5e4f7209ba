// SPDX-License-Identifier: GPL-3.0-or-later
#include "distinctrowfetcher.h"

#include "searchstatement.h"
#include "sqliterows.h"
#include "statementcache.h"

#include <algorithm>

#include <QVariant>

DistinctRowFetcher::DistinctRowFetcher(
    const QSqlDatabase& db, int limit, Rows rows, sqlite3* handle, StatementCache* cache)
    : m_DataBase(db)
    , m_pHandle(handle)
    , m_pCache(handle ? cache : nullptr)
    , m_nLimit(limit)
    , m_RowsKept(rows)
{
}

DistinctRowFetcher::~DistinctRowFetcher() = default;

bool DistinctRowFetcher::prepare(const QStringList& statements)
{
    m_Queries.clear();
    m_Direct.clear();
    m_Values.clear();
    if (m_pHandle) {
        for (const QString& statement : statements) {
            std::shared_ptr<SqliteRows> kept;
            QStringList values;
            if (m_pCache) {
                SearchStatement::Bound bound = SearchStatement::bound(statement);
                kept = m_pCache->rows(bound.text, &m_Error);
                if (!kept) {
                    m_Direct.clear();
                    return false;
                }
                values = bound.values;
            }
            // A statement twice in the list would be read by two loops at once.
            if (!kept || std::find(m_Direct.cbegin(), m_Direct.cend(), kept) != m_Direct.cend()) {
                kept = std::make_shared<SqliteRows>(m_pHandle);
                if (!kept->prepare(statement)) {
                    m_Error = kept->lastError();
                    m_Direct.clear();
                    return false;
                }
                values.clear();
            }
            m_Direct.push_back(kept);
            m_Values.push_back(values);
        }
        return true;
    }
    for (const QString& statement : statements) {
        QSqlQuery query(m_DataBase);
        query.setForwardOnly(true);
        if (!query.prepare(statement)) {
            m_Error = query.lastError();
            m_Queries.clear();
            return false;
        }
        m_Queries.append(query);
    }
    return true;
}

bool DistinctRowFetcher::fetch(const std::function<bool()>& interrupted)
{
    m_Rows.clear();
    m_Seen.clear();
    m_SeenBytes.clear();
    m_Columns = QSqlRecord();
    m_bMore = false;
    if (m_pHandle)
        return fetchDirect(interrupted);
    for (int i = 0; i < m_Queries.size(); ++i) {
        QSqlQuery& query = m_Queries[i];
        if (interrupted())
            return false;
        if (!query.exec()) {
            m_Error = query.lastError();
            return false;
        }
        if (i == 0)
            m_Columns = query.record();
        // One row beyond the limit tells that there are more.
        while (!m_bMore) {
            if (interrupted())
                return false;
            if (!query.next())
                break;
            if (addRow(query) && m_Rows.size() > m_nLimit) {
                m_Rows.removeLast();
                m_bMore = true;
            }
        }
        // A step can fail after the first rows (a locked or damaged file).
        if (query.lastError().isValid()) {
            m_Error = query.lastError();
            return false;
        }
        // Ends the statement now rather than when the fetcher goes.
        query.finish();
        if (m_bMore)
            break;
    }
    return true;
}

bool DistinctRowFetcher::fetchDirect(const std::function<bool()>& interrupted)
{
    for (size_t i = 0; i < m_Direct.size(); ++i) {
        SqliteRows& rows = *m_Direct[i];
        if (interrupted())
            return false;
        if (!rows.exec(m_Values[i])) {
            m_Error = rows.lastError();
            return false;
        }
        if (i == 0)
            m_Columns = rows.record();
        while (!m_bMore) {
            if (interrupted()) {
                rows.finish();
                return false;
            }
            if (!rows.next())
                break;
            if (addRow(rows) && m_Rows.size() > m_nLimit) {
                m_Rows.removeLast();
                m_bMore = true;
            }
        }
        if (rows.lastError().isValid()) {
            m_Error = rows.lastError();
            return false;
        }
        rows.finish();
        if (m_bMore)
            break;
    }
    return true;
}

bool DistinctRowFetcher::addRow(const SqliteRows& rows)
{
    // The values as the statement gave them, each behind its type and length.
    const int count = qMin(m_Columns.count(), rows.columnCount());
    QSqlRecord row = m_Columns;
    QByteArray key;
    if (m_RowsKept == DistinctRows)
        key.reserve(count * 32);
    for (int column = 0; column < count; ++column) {
        row.setValue(column, rows.value(column));
        if (m_RowsKept == DistinctRows)
            rows.appendKey(column, &key);
    }
    if (m_RowsKept == DistinctRows) {
        if (m_SeenBytes.contains(key))
            return false;
        m_SeenBytes.insert(key);
    }
    m_Rows.append(row);
    return true;
}

bool DistinctRowFetcher::addRow(const QSqlQuery& query)
{
    // One text per row: each value behind its length in two UTF-16 units, so that no two rows
    // give the same key; NULL and the empty text are different rows to SQL, and NULL has a length
    // no text can have.
    const int count = m_Columns.count();
    const bool bDistinct = m_RowsKept == DistinctRows;
    QSqlRecord row = m_Columns;
    QString key;
    if (bDistinct)
        key.reserve(count * 24);
    for (int column = 0; column < count; ++column) {
        const QVariant value = query.value(column);
        row.setValue(column, value);
        // Every row kept: no key needed to tell it from the others.
        if (!bDistinct)
            continue;
        if (value.isNull()) {
            key += QChar(0xFFFF);
            key += QChar(0xFFFF);
        } else {
            const QString text = value.toString();
            key += QChar(ushort(quint32(text.size()) >> 16));
            key += QChar(ushort(text.size() & 0xFFFF));
            key += text;
        }
    }
    if (bDistinct) {
        if (m_Seen.contains(key))
            return false;
        m_Seen.insert(key);
    }
    m_Rows.append(row);
    return true;
}
