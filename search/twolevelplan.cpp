// SPDX-License-Identifier: GPL-3.0-or-later
#include "twolevelplan.h"

#include "schema.h"
#include "sqltext.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

// Above this many records a level is not counted further: a search that has to try that many
// is left to SQLite.
constexpr qint64 MaxCount = 20000;

bool isWildcard(QChar c)
{
    return c == QLatin1Char('%') || c == QLatin1Char('_');
}

QString inList(const QStringList& names)
{
    QStringList literals;
    literals.reserve(names.size());
    for (const QString& name : names)
        literals << SqlText::literal(name);
    return QLatin1Char('(') + literals.join(QLatin1String(", ")) + QLatin1Char(')');
}

// How many records of table bear one of names, counted up to cap; -1 when they cannot be counted.
qint64 countRecords(const QSqlDatabase& db, const char* table, const QStringList& names, qint64 cap)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString statement
        = QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM %1 WHERE name_upper IN %2 LIMIT %3)")
              .arg(QLatin1String(table), inList(names))
              .arg(cap);
    if (!query.exec(statement) || !query.next()) {
        qDebug() << query.lastError();
        return -1;
    }
    return query.value(0).toLongLong();
}

// The statement's rows over these pairs in one SELECT, so that the pairs are found once: every
// pair is taken twice (h), first for each of its street's house groups, then for the street
// itself when it has an index of its own. None for none.
QStringList selects(const TwoLevelPlan::Pairs& pairs)
{
    if (pairs.isEmpty())
        return {};
    return { QLatin1String(
                 "SELECT CASE h.half WHEN 0 THEN d.index_ ELSE s.index_ END AS index_ , k.name, k.socr, "
                 "k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg , s.name, s.socr, s.scname , "
                 "CASE h.half WHEN 0 THEN d.name ELSE '---' END AS name FROM ")
        + pairs.from
        + QLatin1String(
            " CROSS JOIN (SELECT 0 AS half UNION ALL SELECT 1) h "
            "LEFT JOIN doma d INDEXED BY index_doma_index ON h.half = 0 AND d.code_street = s.code "
            "WHERE ")
        + pairs.where
        + QLatin1String(" AND ((h.half = 0 AND d.rowid IS NOT NULL) OR (h.half = 1 AND s.index_ != ''))") };
}

} // namespace

TwoLevelPlan::NameTables TwoLevelPlan::nameTablesOf(const QSqlDatabase& db)
{
    // Asked of sqlite_master directly: the driver's list of every table costs more than the rest
    // of a short search's set-up. Tables of earlier versions hold the names alone.
    NameTables found;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(
            QStringLiteral("SELECT name, sql LIKE '%records%' FROM sqlite_master WHERE type = 'table' "
                           "AND name IN ('%1', '%2')")
                .arg(QLatin1String(Schema::KladrNames), QLatin1String(Schema::StreetNames)))) {
        qDebug() << query.lastError();
        return found;
    }
    while (query.next()) {
        found.tables << query.value(0).toString();
        if (query.value(1).toBool())
            found.counted << query.value(0).toString();
    }
    return found;
}

bool TwoLevelPlan::names(const QSqlDatabase& db, const char* table, const char* namesTable,
    const LevelFilter& level, const NameTables& nameTables, LevelNames* found)
{
    *found = LevelNames();
    const QString names = QLatin1String(namesTable);
    const bool counted = nameTables.counted.contains(names, Qt::CaseInsensitive);
    // name_upper was built with the same Unicode upper-casing as the statement's conditions.
    const QString text = level.text.toUpper();
    QString statement;
    if (!level.isMask) {
        found->names << text;
        if (!counted)
            return true;
        statement = QStringLiteral("SELECT name_upper, records FROM %1 WHERE name_upper = %2")
                        .arg(names, SqlText::literal(text));
    } else if (std::all_of(text.cbegin(), text.cend(), isWildcard)) {
        // A mask of wildcards alone matches (nearly) every name.
        return false;
    } else if (counted) {
        // The names with their counts; a mask's prefix is a range of the names' key.
        statement = QStringLiteral("SELECT name_upper, records FROM %1 WHERE name_upper LIKE %2 LIMIT %3")
                        .arg(names, SqlText::literal(text))
                        .arg(MaxNames + 1);
    } else if (!isWildcard(text.front())) {
        // The name index is read in order, one entry per name, within the mask's prefix.
        statement = QStringLiteral("SELECT DISTINCT name_upper FROM %1 WHERE name_upper LIKE %2 LIMIT %3")
                        .arg(QLatin1String(table), SqlText::literal(text))
                        .arg(MaxNames + 1);
    } else if (nameTables.tables.contains(names, Qt::CaseInsensitive)) {
        statement = QStringLiteral("SELECT name_upper FROM %1 WHERE name_upper LIKE %2 LIMIT %3")
                        .arg(names, SqlText::literal(text))
                        .arg(MaxNames + 1);
    } else {
        return false;
    }

    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(statement)) {
        qDebug() << query.lastError();
        return false;
    }
    if (counted)
        found->records = 0;
    while (query.next()) {
        if (counted)
            found->records += query.value(1).toLongLong();
        if (!level.isMask)
            continue;
        const QString name = query.value(0).toString();
        // SQL text ends at a NUL: such a name cannot be written into a statement.
        if (name.contains(QChar(0)))
            return false;
        found->names << name;
    }
    if (query.lastError().isValid()) {
        qDebug() << query.lastError();
        return false;
    }
    return true;
}

QStringList TwoLevelPlan::statements(const QSqlDatabase& db, const LevelFilter& locality,
    const LevelFilter& street, const NameTables& nameTables)
{
    return selects(pairs(db, locality, street, nameTables));
}

TwoLevelPlan::Pairs TwoLevelPlan::pairs(const QSqlDatabase& db, const LevelFilter& locality,
    const LevelFilter& street, const NameTables& nameTables)
{
    LevelNames localityNames;
    LevelNames streetNames;
    if (!names(db, "kladr", Schema::KladrNames, locality, nameTables, &localityNames)
        || localityNames.names.size() > MaxNames)
        return {};
    if (!names(db, "street", Schema::StreetNames, street, nameTables, &streetNames)
        || streetNames.names.size() > MaxNames)
        return {};
    const QStringList& localityList = localityNames.names;
    const QStringList& streetList = streetNames.names;
    // No name, no row: either way finds nothing at once.
    if (localityList.isEmpty() || streetList.isEmpty())
        return pairsFor(LocalityLeads, localityList, streetList);

    // Led by the localities, every locality is probed once per street name; led by the streets,
    // every street once per locality name. Without counts in the names tables the records are
    // counted, the streets only up to where they would cost as much as the localities.
    const qint64 localities = localityNames.records >= 0 ? localityNames.records
                                                         : countRecords(db, "kladr", localityList, MaxCount);
    if (localities < 0)
        return {};
    const qint64 localityProbes = localities * streetList.size();
    const qint64 streetCap = qMin(localityProbes / localityList.size() + 1, MaxCount);
    const qint64 streets
        = streetNames.records >= 0 ? streetNames.records : countRecords(db, "street", streetList, streetCap);
    if (streets < 0)
        return {};
    const qint64 streetProbes = streets * localityList.size();
    // Both beyond counting: neither way is known to be cheaper than the statement.
    if (localities >= MaxCount && streets >= streetCap)
        return {};
    return pairsFor(streetProbes < localityProbes ? StreetLeads : LocalityLeads, localityList, streetList);
}

QStringList TwoLevelPlan::statementsFor(
    Lead lead, const QStringList& localityNames, const QStringList& streetNames)
{
    return selects(pairsFor(lead, localityNames, streetNames));
}

TwoLevelPlan::Pairs TwoLevelPlan::pairsFor(
    Lead lead, const QStringList& localityNames, const QStringList& streetNames)
{
    const QString localityIn = QLatin1String("kn.name_upper IN ") + inList(localityNames);
    // Nearly every record is current: said so, SQLite does not expect the test to spare it work.
    const QString current = QStringLiteral("k.rowid = kn.rowid AND likelihood(k.code_st = '00', 0.9)");

    // kn and sn are the names in their indexes, k and s the records read once a pair matched;
    // CROSS JOIN keeps SQLite to that order.
    Pairs pairs;
    if (lead == LocalityLeads) {
        pairs.from = QStringLiteral("kladr kn CROSS JOIN street s CROSS JOIN kladr k");
        pairs.where = localityIn + QLatin1String(" AND s.name_upper IN ") + inList(streetNames)
            + QLatin1String(" AND s.code_kladr = kn.code AND ") + current;
    } else {
        pairs.from = QStringLiteral("street sn CROSS JOIN kladr kn CROSS JOIN kladr k CROSS JOIN street s");
        pairs.where = QLatin1String("sn.name_upper IN ") + inList(streetNames) + QLatin1String(" AND ")
            + localityIn + QLatin1String(" AND kn.code = sn.code_kladr AND ") + current
            + QLatin1String(" AND s.rowid = sn.rowid");
    }
    return pairs;
}
