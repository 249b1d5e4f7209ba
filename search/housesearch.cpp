// SPDX-License-Identifier: GPL-3.0-or-later
#include "housesearch.h"

#include "searchlog.h"
#include "searchstatement.h"
#include "twolevelplan.h"

#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

// Columns of the street statement.
enum StreetColumn {
    StreetIndex,
    LocalityIndex,
    LocalityName,
    LocalitySocr,
    LocalityScname,
    LocalityCode,
    LocalityCodeSs,
    LocalityCodeRrr,
    LocalityCodeGgg,
    StreetName,
    StreetSocr,
    StreetScname,
    StreetCode,
};

QSqlRecord rowTemplate()
{
    QSqlRecord record;
    for (const char* name : { "index_", "name", "socr", "scname", "code", "code_ss", "code_rrr", "code_ggg",
             "name", "socr", "scname", "name" })
        record.append(QSqlField(QLatin1String(name), QVariant::String));
    return record;
}

// Postal indexes of KLADR records by code, the first record of a code as the address composition
// takes it; remembered for the run, as the streets of one search share a few districts.
class KladrIndexes {
public:
    explicit KladrIndexes(const QSqlDatabase& db)
        : m_Query(db)
    {
        m_bPrepared = m_Query.prepare(
            QStringLiteral("SELECT index_ FROM kladr INDEXED BY index_kladr_code WHERE code = ? LIMIT 1"));
    }

    // Empty when there is no such record, or it has no index.
    QString index(const QString& code)
    {
        const auto known = m_Known.constFind(code);
        if (known != m_Known.cend())
            return *known;
        QString index;
        if (m_bPrepared) {
            m_Query.bindValue(0, code);
            if (m_Query.exec() && m_Query.next())
                index = m_Query.value(0).toString();
            m_Query.finish();
        }
        m_Known.insert(code, index);
        return index;
    }

private:
    QSqlQuery m_Query;
    bool m_bPrepared = false;
    QHash<QString, QString> m_Known;
};

} // namespace

HouseSearch::HouseSearch(const LevelFilter& locality, const LevelFilter& street, const QString& house)
    : m_House(house)
    , m_TypedHouse(house)
    , m_Locality(locality)
    , m_Street(street)
    , m_Statement(SearchStatement::houseStreets(locality, street))
{
}

QString HouseSearch::refusal() const
{
    if (!m_House.refusal().isEmpty())
        return QStringLiteral("Поиск не выполнен: в номере дома ") + m_House.refusal() + QLatin1Char('.');
    if (!m_House.hasDigit())
        return QStringLiteral("Поиск не выполнен: в номере дома \"") + m_TypedHouse
            + QStringLiteral("\" нет ни одной цифры.");
    return QString();
}

bool HouseSearch::run(const SearchContext& context, SearchResult* result, QString* error)
{
    const QSqlDatabase& db = context.db;
    // The columns of the search by both levels, which the window and the address know.
    result->columnMap = SearchStatement::columnMap(true, true);
    result->columns = rowTemplate();
    result->rows.clear();
    result->house = m_House.text();
    result->address.street = true;
    result->address.house = true;
    result->statement = m_Statement;
    context.busy();

    QSqlQuery groups(db);
    groups.setForwardOnly(true);
    if (!groups.prepare(QStringLiteral(
            "SELECT name, index_ FROM doma INDEXED BY index_doma_index WHERE code_street = ?"))) {
        *error = groups.lastError().text();
        return false;
    }
    QSqlQuery streets(db);
    streets.setForwardOnly(true);
    // With a locality, the pairs of both levels are found as the search by both levels finds
    // them: the same streets, without reading a record for every locality of a common name.
    QString executed = SearchStatement::houseStreetsExecuted(m_Locality, m_Street);
    if (!m_Locality.text.isEmpty()) {
        const TwoLevelPlan::Pairs pairs = TwoLevelPlan::pairs(db, m_Locality, m_Street,
            TwoLevelPlan::nameTablesOf(db, context.statements), context.statements, context.codeSets);
        if (!pairs.isEmpty()) {
            executed = SearchStatement::houseStreetColumns() + QLatin1String("FROM ") + pairs.from
                + QLatin1String(" WHERE ") + pairs.where;
            qCDebug(lcSearch).noquote() << QStringLiteral("Running: \"") + executed + QLatin1Char('"');
        }
    }
    result->executed = QStringList { executed };
    if (!streets.exec(executed)) {
        *error = streets.lastError().text();
        return false;
    }

    KladrIndexes kladrIndexes(db);
    QSet<QString> seen;
    // Streets come one by one, so a search that has its rows stops reading them.
    while (!result->truncated && streets.next()) {
        if (context.interrupted()) {
            error->clear();
            return false;
        }
        const QSqlRecord street = streets.record();
        const auto text = [&street](int column) { return street.value(column).toString(); };

        QVector<HouseGroup> houseGroups;
        groups.bindValue(0, text(StreetCode));
        if (!groups.exec()) {
            *error = groups.lastError().text();
            return false;
        }
        while (groups.next())
            houseGroups.append({ groups.value(0).toString(), groups.value(1).toString() });
        if (groups.lastError().isValid()) {
            *error = groups.lastError().text();
            return false;
        }
        groups.finish();

        QStringList chain { text(StreetIndex), text(LocalityIndex) };
        if (chain.join(QString()).trimmed().isEmpty()) {
            // The district's and the region's own records, as the address composition finds them.
            const QString regionCode = text(LocalityCodeSs) + QLatin1String("000000000");
            const QString districtCode
                = text(LocalityCodeSs) + text(LocalityCodeRrr) + QLatin1String("000000");
            chain << (districtCode != regionCode ? kladrIndexes.index(districtCode) : QString())
                  << (regionCode != text(LocalityCode) ? kladrIndexes.index(regionCode) : QString());
        }

        for (const HouseIndexMatch& match : resolveHouseIndex(houseGroups, m_House, chain)) {
            const QStringList cells { match.index, text(LocalityName), text(LocalitySocr),
                text(LocalityScname), text(LocalityCode), text(LocalityCodeSs), text(LocalityCodeRrr),
                text(LocalityCodeGgg), text(StreetName), text(StreetSocr), text(StreetScname),
                match.group < 0 ? QStringLiteral("---") : houseGroups.at(match.group).list };
            // Identical rows once, as the search by both levels gives them.
            const QString key = cells.join(QChar(0x1f));
            if (seen.contains(key))
                continue;
            if (result->rows.size() >= rowLimit()) {
                result->truncated = true;
                break;
            }
            seen.insert(key);
            QSqlRecord row = result->columns;
            for (int i = 0; i < cells.size(); ++i)
                row.setValue(i, cells.at(i));
            result->rows.append(row);
        }
    }
    // A step can fail after the first rows (a locked or damaged file).
    if (streets.lastError().isValid()) {
        *error = streets.lastError().text();
        return false;
    }
    return true;
}
