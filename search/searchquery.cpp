// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchquery.h"

#include "housesearch.h"
#include "indexsearch.h"
#include "namesearch.h"
#include "sqltext.h"

SearchParams SearchQuery::normalized(const SearchParams& params)
{
    SearchParams normal = params;
    for (LevelFilter& level : normal.levels) {
        level.text = level.text.simplified();
        level.isMask = SqlText::isMask(level.text);
    }
    normal.house = normal.house.simplified();
    return normal;
}

QString SearchQuery::inputRefusal(const SearchParams& params)
{
    bool nul = params.house.contains(QChar(0)) || params.index.contains(QChar(0));
    for (const LevelFilter& level : params.levels)
        nul = nul || level.text.contains(QChar(0));
    if (nul)
        return QStringLiteral("Поиск не выполнен: в тексте запроса есть нулевой символ (NUL).");
    return QString();
}

std::unique_ptr<SearchQuery> SearchQuery::create(const SearchParams& params)
{
    const SearchParams normal = normalized(params);
    const LevelFilter& locality = normal.level(SearchParams::LocalityLevel);
    const LevelFilter& street = normal.level(SearchParams::StreetLevel);
    if (!normal.index.isEmpty())
        return std::make_unique<IndexSearch>(normal.index, locality, street);
    // A house belongs to a street; without one the house is not searched.
    if (!street.text.isEmpty() && !normal.house.isEmpty())
        return std::make_unique<HouseSearch>(locality, street, normal.house);
    return std::make_unique<NameSearch>(locality, street);
}
