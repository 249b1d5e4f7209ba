// SPDX-License-Identifier: GPL-3.0-or-later
#include "indexsearch.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <iterator>

namespace {

bool exec(QSqlQuery& query, const IndexQuery::Statement& statement)
{
    query.setForwardOnly(true);
    if (!query.prepare(statement.sql))
        return false;
    for (int i = 0; i < statement.values.size(); ++i)
        query.bindValue(i, statement.values.at(i));
    return query.exec();
}

QVector<IndexQuery::Office> readOffices(QSqlQuery& query)
{
    QVector<IndexQuery::Office> offices;
    while (query.next()) {
        IndexQuery::Office office;
        for (int f = 0; f < IndexQuery::OfficeFieldCount; ++f)
            office << query.value(f).toString();
        offices << office;
    }
    return offices;
}

// The lines about the office; empty without the post's reference or when it cannot be read.
QStringList officeLines(const QSqlDatabase& db, const QString& index)
{
    QSqlQuery query(db);
    if (!exec(query, IndexQuery::hasOffices()) || !query.next() || query.value(0).toInt() == 0)
        return {};
    if (!exec(query, IndexQuery::offices(index)))
        return {};
    const QVector<IndexQuery::Office> offices = readOffices(query);
    if (!exec(query, IndexQuery::successors(index)))
        return {};
    return IndexQuery::officeLines(index, offices, readOffices(query));
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
    QSqlDatabase db = context.db;
    result->statement = m_Statement.sql;
    result->executed = QStringList { m_Statement.sql };
    result->officeLines = officeLines(db, m_Input.index);
    context.busy();

    QSqlQuery query(db);
    if (!exec(query, m_Statement)) {
        *error = query.lastError().text();
        return false;
    }
    result->columns = query.record();
    result->total = 0;
    while (query.next()) {
        if (context.interrupted()) {
            error->clear();
            return false;
        }
        const QSqlRecord record = query.record();
        result->total = record.value(IndexQuery::Total).toInt();
        result->rows << record;
    }
    if (query.lastError().isValid()) {
        *error = query.lastError().text();
        return false;
    }
    result->truncated = result->total > result->rows.size();
    result->columnMap = columnMap();
    result->address.streetFromRow = true;
    return true;
}
