// SPDX-License-Identifier: GPL-3.0-or-later
#include "indexsearch.h"

#include "indexquery.h"

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
QStringList officeLines(QSqlDatabase& db, const QString& index)
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

IndexSearchResult runIndexSearch(
    QSqlDatabase& db, const QString& index, const LevelFilter& locality, const LevelFilter& street)
{
    IndexSearchResult found;
    found.officeLines = officeLines(db, index);

    const IndexQuery::Statement statement = IndexQuery::rows(index, locality, street);
    found.statement = statement.sql;
    QSqlQuery query(db);
    if (!exec(query, statement)) {
        found.error = query.lastError().text();
        return found;
    }
    found.result.columns = query.record();
    while (query.next()) {
        const QSqlRecord record = query.record();
        found.total = record.value(IndexQuery::Total).toInt();
        found.result.rows << record;
    }
    if (query.lastError().isValid()) {
        found.error = query.lastError().text();
        return found;
    }
    found.result.columnMap = columnMap();
    found.result.streetFromRow = true;
    found.ok = true;
    return found;
}

IndexSearchThread::IndexSearchThread(QObject* parent)
    : QThread(parent)
{
    qRegisterMetaType<IndexSearchResult>();
}

IndexSearchThread::~IndexSearchThread()
{
    wait();
}

void IndexSearchThread::setRequest(
    const QString& index, const LevelFilter& locality, const LevelFilter& street)
{
    m_Index = index;
    m_Locality = locality;
    m_Street = street;
}

void IndexSearchThread::run()
{
    const QString name = QStringLiteral("velmora-index-search-%1").arg(quintptr(this), 0, 16);
    IndexSearchResult found;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_DatabaseFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open())
            found = runIndexSearch(db, m_Index, m_Locality, m_Street);
        else
            found.error = db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    emit signalIndexFound(found);
}
