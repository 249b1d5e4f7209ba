// SPDX-License-Identifier: GPL-3.0-or-later
#include "indexsearch.h"

#include "distinctrowfetcher.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <iterator>

namespace {

// The statement run on the worker's kept statement of that text, or prepared afresh without one.
QSqlQuery* exec(
    const SearchContext& context, QSqlQuery& query, const IndexQuery::Statement& statement, QSqlError* error)
{
    return execStatement(context.statements, query, statement.sql, statement.values, error);
}

// The offices of one statement; false when it cannot be run or read.
bool readOffices(const SearchContext& context, const IndexQuery::Statement& statement,
    QVector<IndexQuery::Office>* offices)
{
    QSqlQuery fresh(context.db);
    QSqlError error;
    QSqlQuery* query = exec(context, fresh, statement, &error);
    if (!query)
        return false;
    while (query->next()) {
        IndexQuery::Office office;
        for (int f = 0; f < IndexQuery::OfficeFieldCount; ++f)
            office << query->value(f).toString();
        *offices << office;
    }
    const bool bRead = !query->lastError().isValid();
    query->finish();
    return bRead;
}

// The lines about the office; empty without the post's reference or when it cannot be read.
QStringList officeLines(const SearchContext& context, const QString& index)
{
    QSqlQuery fresh(context.db);
    QSqlError error;
    QSqlQuery* query = exec(context, fresh, IndexQuery::hasOffices(), &error);
    const bool hasOffices = query && query->next() && query->value(0).toInt() != 0;
    if (query)
        query->finish();
    if (!hasOffices)
        return {};
    QVector<IndexQuery::Office> offices;
    QVector<IndexQuery::Office> successors;
    if (!readOffices(context, IndexQuery::offices(index), &offices)
        || !readOffices(context, IndexQuery::successors(index), &successors))
        return {};
    return IndexQuery::officeLines(index, offices, successors);
}

// The columns of the name search by both levels, under their keys, then the hidden ones.
QHash<QString, ResultColumn> columnMap()
{
    const std::pair<const char*, const char*> columns[] = {
        { "index", "Индекс" },
        { "city", "Населенный пункт" },
        { "city_t", "Тип пункта" },
        { "city_t_", "_city_type" },
        { "city_code", "_city_code" },
        { "city_code_ss", "_city_code_ss" },
        { "city_code_rrr", "_city_code_rrr" },
        { "city_code_ggg", "_city_code_ggg" },
        { "street", "Улица" },
        { "street_t", "Тип объекта" },
        { "street_t_", "_street_type" },
        { "home", "Номера домов (Н-нечетные, Ч-четные, --- все)" },
        { "street_code", "_street_code" },
        { "total", "_total" },
    };
    static_assert(std::size(columns) == IndexQuery::ColumnCount, "one entry per column");
    QHash<QString, ResultColumn> map;
    int column = 0;
    for (const auto& [key, header] : columns) {
        ResultColumn entry;
        entry.header = QString::fromUtf8(header);
        entry.column = column++;
        map.insert(QLatin1String(key), entry);
    }
    return map;
}

} // namespace

IndexSearch::IndexSearch(const QString& typed, const LevelFilter& locality, const LevelFilter& street)
    : m_Input(IndexQuery::read(typed))
    , m_Statement(IndexQuery::rows(m_Input.index, locality, street))
{
}

bool IndexSearch::run(const SearchContext& context, SearchResult* result, QString* error)
{
    result->statement = m_Statement.sql;
    result->executed = QStringList { IndexQuery::written(m_Statement) };
    result->officeLines = officeLines(context, m_Input.index);
    context.busy();

    // Up to a thousand rows: read through SQLite directly where the worker can.
    DistinctRowFetcher fetcher(
        context.db, IndexQuery::RowLimit, DistinctRowFetcher::AllRows, context.handle, context.statements);
    if (!fetcher.prepare(result->executed) || !fetcher.fetch(context.interrupted)) {
        *error = fetcher.lastError().isValid() ? fetcher.lastError().text() : QString();
        return false;
    }
    result->columns = fetcher.columns();
    result->rows = fetcher.rows();
    // Every row carries the count before the cut.
    result->total = result->rows.isEmpty() ? 0 : result->rows.constLast().value(IndexQuery::Total).toInt();
    result->truncated = result->total > result->rows.size();
    result->columnMap = columnMap();
    result->address.streetFromRow = true;
    return true;
}
