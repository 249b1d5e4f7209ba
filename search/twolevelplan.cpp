// SPDX-License-Identifier: GPL-3.0-or-later
#include "twolevelplan.h"

#include "schema.h"
#include "sqltext.h"

#include "kladrcodeset.h"
#include "searchlog.h"
#include "searchstatement.h"
#include "sqliterows.h"
#include "statementcache.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

// Above this many records a level is not counted further: a search that has to try that many
// is left to SQLite.
constexpr qint64 MaxCount = 20000;

// Reading a code from a name's index costs about a tenth of probing another index for one; a set
// read is kept, so a first read that costs up to twice the probes it spares pays off at the
// name's next search.
constexpr qint64 CodesPerProbe = 20;
// A level of more records than this is not read into a set: it would crowd out the sets of the
// common names.
constexpr qint64 MaxSetCodes = 200000;

// Where a level's locality codes are: the table and its column.
struct CodeSource {
    const char* table;
    const char* column;
};
constexpr CodeSource KladrCodes { "kladr", "code" };
constexpr CodeSource StreetCodes { "street", "code_kladr" };

QString codeSetKey(const CodeSource& source, const TwoLevelPlan::LevelNames& names)
{
    return QLatin1String(source.table) + QLatin1Char(' ') + names.condition;
}

// The code set of the names, kept in codeSets; false when it cannot be read. A set with something
// that is no code is kept as read, and is invalid.
bool codeSetOf(const QSqlDatabase& db, const CodeSource& source, const TwoLevelPlan::LevelNames& names,
    KladrCodeSetCache* codeSets, StatementCache* cache, KladrCodeSet* set)
{
    const QString key = codeSetKey(source, names);
    if (const KladrCodeSet* known = codeSets->find(key)) {
        *set = *known;
        return true;
    }
    const SearchStatement::Bound bound = SearchStatement::bound(QLatin1String("SELECT group_concat(")
        + QLatin1String(source.column) + QLatin1String(") FROM ") + QLatin1String(source.table)
        + QLatin1String(" WHERE name_upper ") + names.condition);
    QSqlError error;
    QString list;
    // The list is one long text: read through SQLite directly where the worker can, rather than
    // made UTF-16 inside SQLite.
    if (const std::shared_ptr<SqliteRows> rows = cache ? cache->rows(bound.text, &error) : nullptr) {
        if (!rows->exec(bound.values) || !rows->next()) {
            qCDebug(lcSearch) << rows->lastError();
            return false;
        }
        list = rows->value(0).toString();
        rows->finish();
    } else {
        QSqlQuery fresh(db);
        QSqlQuery* query = execStatement(
            cache, fresh, bound.text, QVariantList(bound.values.cbegin(), bound.values.cend()), &error);
        if (!query || !query->next()) {
            qCDebug(lcSearch) << (query ? query->lastError() : error);
            return false;
        }
        list = query->value(0).toString();
        query->finish();
    }
    *set = KladrCodeSet::fromList(list);
    codeSets->insert(key, *set);
    return true;
}

// The first value of the first row of statement; -1 when it fails.
qint64 valueOf(const QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(statement) || !query.next()) {
        qCDebug(lcSearch) << query.lastError();
        return -1;
    }
    return query.value(0).toLongLong();
}

// The statement's rows over these pairs in one SELECT, so that the pairs are found once: every
// pair is taken twice (h), first for each of its street's house groups, then for the street
// itself when it has an index of its own. The street's own half looks up no house group (NULL
// matches none): tested in the ON clause, SQLite would read them all and drop each. None for none.
QStringList selects(const TwoLevelPlan::Pairs& pairs)
{
    if (pairs.isEmpty())
        return {};
    return { QLatin1String(
                 "SELECT CASE h.half WHEN 0 THEN d.index_ ELSE s.index_ END AS index_ , k.name, k.socr, "
                 "k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg , s.name, s.socr, s.scname , "
                 "CASE h.half WHEN 0 THEN d.name ELSE '---' END AS name FROM ")
        + pairs.from
        + QLatin1String(" CROSS JOIN (SELECT 0 AS half UNION ALL SELECT 1) h LEFT JOIN doma d INDEXED BY "
                        "index_doma_index ON d.code_street = (CASE h.half WHEN 0 THEN s.code END) WHERE ")
        + pairs.where
        + QLatin1String(" AND ((h.half = 0 AND d.rowid IS NOT NULL) OR (h.half = 1 AND s.index_ != ''))") };
}

} // namespace

TwoLevelPlan::NameTables TwoLevelPlan::nameTablesOf(const QSqlDatabase& db, StatementCache* cache)
{
    // Asked of sqlite_master directly: the driver's list of every table costs more than the rest
    // of a short search's set-up. Tables of earlier versions hold the names alone.
    NameTables found;
    QSqlQuery fresh(db);
    QSqlError error;
    QSqlQuery* query = execStatement(cache, fresh,
        QStringLiteral("SELECT name, sql LIKE '%records%' FROM sqlite_master WHERE type = 'table' "
                       "AND name IN ('%1', '%2')")
            .arg(QLatin1String(Schema::KladrNames), QLatin1String(Schema::StreetNames)),
        {}, &error);
    if (!query) {
        qCDebug(lcSearch) << error;
        return found;
    }
    while (query->next()) {
        found.tables << query->value(0).toString();
        if (query->value(1).toBool())
            found.counted << query->value(0).toString();
    }
    query->finish();
    return found;
}

bool TwoLevelPlan::names(const QSqlDatabase& db, const char* table, const char* namesTable,
    const LevelFilter& level, const NameTables& nameTables, LevelNames* found, StatementCache* cache)
{
    *found = LevelNames();
    const QString names = QLatin1String(namesTable);
    const bool counted = nameTables.counted.contains(names, Qt::CaseInsensitive);
    const bool hasNames = nameTables.tables.contains(names, Qt::CaseInsensitive);
    // name_upper was built with the same Unicode upper-casing as the statement's conditions.
    const QString text = level.text.toUpper();
    if (!level.isMask) {
        found->condition = SearchStatement::exactMatch(level);
        found->count = 1;
        if (counted) {
            // Every spelling is probed for every record of the other level: the ones no record
            // bears would be probed for nothing. Bound, the statement is the same for every text
            // with as many spellings.
            const QStringList spellings = SearchStatement::spellings(text);
            QStringList marks;
            QVariantList values;
            for (const QString& spelling : spellings) {
                marks << QStringLiteral("?");
                values << spelling;
            }
            QSqlQuery fresh(db);
            QSqlError error;
            QSqlQuery* query = execStatement(cache, fresh,
                QStringLiteral("SELECT name_upper, records FROM ") + names
                    + QStringLiteral(" WHERE name_upper IN (") + marks.join(QLatin1String(", "))
                    + QLatin1Char(')'),
                values, &error);
            if (!query) {
                qCDebug(lcSearch) << error;
                return false;
            }
            QHash<QString, qint64> borne;
            while (query->next())
                borne.insert(query->value(0).toString(), query->value(1).toLongLong());
            const bool bRead = !query->lastError().isValid();
            query->finish();
            if (!bRead)
                return false;
            QStringList literals;
            qint64 records = 0;
            for (const QString& spelling : spellings) {
                const qint64 count = borne.value(spelling);
                if (count > 0) {
                    literals << SqlText::literal(spelling);
                    records += count;
                }
            }
            found->records = records;
            found->count = literals.size();
            if (literals.size() == 1)
                found->condition = QLatin1String("= ") + literals.first();
            else if (literals.size() > 1)
                found->condition
                    = QLatin1String("IN (") + literals.join(QLatin1String(", ")) + QLatin1Char(')');
        }
        return true;
    }
    // A mask of wildcards alone matches (nearly) every name.
    if (std::all_of(text.cbegin(), text.cend(), SqlText::isWildcard))
        return false;
    // Е and Ё alike, as the search's own conditions take them.
    const QString where = QLatin1Char(' ') + SearchStatement::matches(QStringLiteral("name_upper"), level);

    if (SqlText::isWildcard(text.front())) {
        // Only the names alone can be searched for it, one by one: they are read once and
        // written into the statement, rather than searched again by it.
        if (!hasNames)
            return false;
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT name_upper")
                + (counted ? QStringLiteral(", records") : QString()) + QStringLiteral(" FROM ") + names
                + QStringLiteral(" WHERE") + where + QStringLiteral(" LIMIT ")
                + QString::number(MaxNames + 1))) {
            qCDebug(lcSearch) << query.lastError();
            return false;
        }
        QStringList literals;
        qint64 records = 0;
        bool writable = true;
        while (query.next()) {
            const QString name = query.value(0).toString();
            // SQL text ends at a NUL: such a name is left to the names' own table.
            writable = writable && !name.contains(QChar(0));
            literals << SqlText::literal(name);
            if (counted)
                records += query.value(1).toLongLong();
        }
        if (query.lastError().isValid()) {
            qCDebug(lcSearch) << query.lastError();
            return false;
        }
        found->count = literals.size();
        found->records = counted ? records : -1;
        found->condition = writable
            ? QLatin1String("IN (") + literals.join(QLatin1String(", ")) + QLatin1Char(')')
            : QStringLiteral("IN (SELECT name_upper FROM ") + names + QStringLiteral(" WHERE") + where
                + QLatin1Char(')');
        return true;
    }

    // A mask's prefix is a range of the names in order: of their own table's key where they are
    // counted, otherwise of the table's name index.
    const QString source = counted
        ? QStringLiteral("SELECT name_upper FROM ") + names + QStringLiteral(" WHERE") + where
        : QStringLiteral("SELECT DISTINCT name_upper FROM ") + QLatin1String(table) + QStringLiteral(" WHERE")
            + where;
    found->condition = QLatin1String("IN (") + source + QLatin1Char(')');
    if (counted) {
        // Beyond MaxNames the level is left to SQLite, so the names past it need no counting.
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT count(*), total(records) FROM (SELECT records FROM ") + names
                + QStringLiteral(" WHERE") + where + QStringLiteral(" LIMIT ") + QString::number(MaxNames + 1)
                + QLatin1Char(')'))
            || !query.next()) {
            qCDebug(lcSearch) << query.lastError();
            return false;
        }
        found->count = query.value(0).toInt();
        found->records = query.value(1).toLongLong();
    } else {
        const qint64 count = valueOf(db,
            QStringLiteral("SELECT count(*) FROM (") + source + QStringLiteral(" LIMIT ")
                + QString::number(MaxNames + 1) + QLatin1Char(')'));
        if (count < 0)
            return false;
        found->count = int(count);
    }
    return true;
}

QStringList TwoLevelPlan::statements(const QSqlDatabase& db, const LevelFilter& locality,
    const LevelFilter& street, const NameTables& nameTables, StatementCache* cache,
    KladrCodeSetCache* codeSets)
{
    return selects(pairs(db, locality, street, nameTables, cache, codeSets));
}

TwoLevelPlan::Pairs TwoLevelPlan::pairs(const QSqlDatabase& db, const LevelFilter& locality,
    const LevelFilter& street, const NameTables& nameTables, StatementCache* cache,
    KladrCodeSetCache* codeSets)
{
    LevelNames localityNames;
    LevelNames streetNames;
    if (!names(db, "kladr", Schema::KladrNames, locality, nameTables, &localityNames, cache)
        || localityNames.count > MaxNames)
        return {};
    if (!names(db, "street", Schema::StreetNames, street, nameTables, &streetNames, cache)
        || streetNames.count > MaxNames)
        return {};
    // No name, no row: led by the level without names, the search finds nothing at once.
    if (localityNames.count == 0)
        return pairsFor(LocalityLeads, localityNames, streetNames);
    if (streetNames.count == 0)
        return pairsFor(StreetLeads, localityNames, streetNames);

    // Led by the localities, every locality is probed once per street name; led by the streets,
    // every street once per locality name. Without counts in the names tables the records are
    // counted, the streets only up to where they would cost as much as the localities.
    const auto countRecords = [&db](const char* table, const LevelNames& level, qint64 cap) {
        return valueOf(db,
            QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM ") + QLatin1String(table)
                + QStringLiteral(" WHERE name_upper ") + level.condition + QStringLiteral(" LIMIT ")
                + QString::number(cap) + QLatin1Char(')'));
    };
    const qint64 localities
        = localityNames.records >= 0 ? localityNames.records : countRecords("kladr", localityNames, MaxCount);
    if (localities < 0)
        return {};
    const qint64 localityProbes = localities * streetNames.count;
    const qint64 streetCap = qMin(localityProbes / localityNames.count + 1, MaxCount);
    const qint64 streets
        = streetNames.records >= 0 ? streetNames.records : countRecords("street", streetNames, streetCap);
    if (streets < 0)
        return {};
    const qint64 streetProbes = streets * localityNames.count;
    // Both beyond counting: neither way is known to be cheaper than the statement.
    if (localities >= MaxCount && streets >= streetCap)
        return {};
    const Lead lead = streetProbes < localityProbes ? StreetLeads : LocalityLeads;

    // Both levels counted to the last record, neither too large for a set: the sets not kept yet
    // are read where that costs less than the probes.
    const bool counted = (localityNames.records >= 0 || localities < MaxCount)
        && (streetNames.records >= 0 || streets < streetCap);
    if (codeSets && counted && localities <= MaxSetCodes && streets <= MaxSetCodes) {
        // A set not kept yet is read on the name's second search, not its first: a name searched
        // once (the first search of a session among them) does not pay for it.
        qint64 unread = 0;
        bool bAskedBefore = true;
        const auto count = [&](const CodeSource& source, const LevelNames& names, qint64 records) {
            const QString key = codeSetKey(source, names);
            if (codeSets->find(key))
                return;
            unread += records;
            // Asked for from now on, whatever the other level's answer.
            bAskedBefore = codeSets->askedBefore(key) && bAskedBefore;
        };
        count(KladrCodes, localityNames, localities);
        count(StreetCodes, streetNames, streets);
        QStringList codes;
        if (bAskedBefore && unread <= CodesPerProbe * qMin(localityProbes, streetProbes)
            && commonCodes(db, localityNames, streetNames, codeSets, &codes, cache))
            return pairsFor(lead, localityNames, streetNames, &codes);
    }
    return pairsFor(lead, localityNames, streetNames);
}

bool TwoLevelPlan::commonCodes(const QSqlDatabase& db, const LevelNames& localityNames,
    const LevelNames& streetNames, KladrCodeSetCache* codeSets, QStringList* codes, StatementCache* cache)
{
    KladrCodeSet localities;
    KladrCodeSet streets;
    if (!codeSetOf(db, KladrCodes, localityNames, codeSets, cache, &localities) || !localities.isValid()
        || !codeSetOf(db, StreetCodes, streetNames, codeSets, cache, &streets) || !streets.isValid())
        return false;
    *codes = localities.intersected(streets);
    return true;
}

QStringList TwoLevelPlan::statementsFor(
    Lead lead, const LevelNames& localityNames, const LevelNames& streetNames, const QStringList* codes)
{
    return selects(pairsFor(lead, localityNames, streetNames, codes));
}

TwoLevelPlan::Pairs TwoLevelPlan::pairsFor(
    Lead lead, const LevelNames& localityNames, const LevelNames& streetNames, const QStringList* codes)
{
    // The codes as one literal: bound, the statement is the same for any number of them.
    const auto onlyCodes = [codes](const char* column) -> QString {
        if (!codes)
            return QString();
        return QLatin1String(" AND ") + QLatin1String(column)
            + QLatin1String(" IN (SELECT value FROM json_each(")
            + SqlText::literal(SqlText::jsonArray(*codes)) + QLatin1String("))");
    };
    const QString localityName = QLatin1String("kn.name_upper ") + localityNames.condition;
    // Nearly every record is current: said so, SQLite does not expect the test to spare it work.
    const QString current = QStringLiteral("k.rowid = kn.rowid AND likelihood(k.code_st = '00', 0.9)");

    // kn and sn are the names in their indexes, k and s the records read once a pair matched;
    // CROSS JOIN keeps SQLite to that order.
    Pairs pairs;
    if (lead == LocalityLeads) {
        pairs.from = QStringLiteral("kladr kn CROSS JOIN street s CROSS JOIN kladr k");
        pairs.where = localityName + onlyCodes("kn.code") + QLatin1String(" AND s.name_upper ")
            + streetNames.condition + QLatin1String(" AND s.code_kladr = kn.code AND ") + current;
    } else {
        pairs.from = QStringLiteral("street sn CROSS JOIN kladr kn CROSS JOIN kladr k CROSS JOIN street s");
        pairs.where = QLatin1String("sn.name_upper ") + streetNames.condition + onlyCodes("sn.code_kladr")
            + QLatin1String(" AND ") + localityName + QLatin1String(" AND kn.code = sn.code_kladr AND ")
            + current + QLatin1String(" AND s.rowid = sn.rowid");
    }
    return pairs;
}
