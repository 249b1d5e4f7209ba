// SPDX-License-Identifier: GPL-3.0-or-later
#include "namesearch.h"

#include "distinctrowfetcher.h"
#include "searchlog.h"
#include "searchstatement.h"
#include "twolevelplan.h"

NameSearch::NameSearch(const LevelFilter& locality, const LevelFilter& street)
    : m_Locality(locality)
    , m_Street(street)
{
}

QString NameSearch::refusal() const
{
    // Without either level the WHERE clause would begin with AND; there is nothing to search.
    if (m_Locality.text.isEmpty() && m_Street.text.isEmpty())
        return QStringLiteral("Поиск не выполнен: введите название населенного пункта или улицы.");
    return QString();
}

QString NameSearch::statement() const
{
    if (m_Statement.isEmpty())
        m_Statement = SearchStatement::loggedNames(m_Locality, m_Street);
    return m_Statement;
}

bool NameSearch::run(const SearchContext& context, SearchResult* result, QString* error)
{
    const bool hasLocality = !m_Locality.text.isEmpty();
    const bool hasStreet = !m_Street.text.isEmpty();
    const bool bothLevels = hasLocality && hasStreet;
    result->columnMap = SearchStatement::columnMap(hasLocality, hasStreet);
    result->address.street = hasStreet;

    // A database installed from elsewhere may lack the distinct names; the masks then test the
    // tables' rows. Only a mask that begins with a wildcard, and the search by both levels, need
    // to know.
    TwoLevelPlan::NameTables nameTables;
    if (bothLevels || SearchStatement::matchesDistinctNames(m_Locality)
        || SearchStatement::matchesDistinctNames(m_Street))
        nameTables = TwoLevelPlan::nameTablesOf(context.db, context.statements);
    result->statement = statement();
    if (bothLevels)
        result->executed = TwoLevelPlan::statements(
            context.db, m_Locality, m_Street, nameTables, context.statements, context.codeSets);
    if (result->executed.isEmpty())
        result->executed = SearchStatement::executedNames(m_Locality, m_Street, nameTables.tables);

    // Only the two halves of the search by both levels are joined by UNION, which makes rows
    // distinct.
    DistinctRowFetcher fetcher(context.db, rowLimit(),
        bothLevels ? DistinctRowFetcher::DistinctRows : DistinctRowFetcher::AllRows, context.handle,
        context.statements);
    if (!fetcher.prepare(result->executed)) {
        *error = fetcher.lastError().text();
        qCDebug(lcSearch) << fetcher.lastError();
        return false;
    }
    for (const QString& executed : qAsConst(result->executed))
        qCDebug(lcSearch).noquote() << QStringLiteral("Running: \"") + executed + QLatin1Char('"');

    context.busy();
    if (!fetcher.fetch(context.interrupted)) {
        if (fetcher.lastError().isValid()) {
            *error = fetcher.lastError().text();
            qCDebug(lcSearch) << fetcher.lastError();
        }
        return false;
    }
    result->columns = fetcher.columns();
    result->rows = fetcher.rows();
    result->truncated = fetcher.hasMore();
    return true;
}
