// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchsummary.h"

#include "indexquery.h"

namespace {

// "вариант", "варианта" or "вариантов" after the number n.
QString variants(int n)
{
    const int lastTwo = n % 100;
    const int last = n % 10;
    if (lastTwo >= 11 && lastTwo <= 14)
        return QStringLiteral("вариантов");
    if (last == 1)
        return QStringLiteral("вариант");
    if (last >= 2 && last <= 4)
        return QStringLiteral("варианта");
    return QStringLiteral("вариантов");
}

} // namespace

QString searchSummary(const SearchResult& result)
{
    const int count = result.rows.size();
    // A kind of query that counts its rows (by postal index) says how many there are.
    if (result.truncated && result.total > count)
        return IndexQuery::cutLine(result.total, count);
    if (result.truncated)
        return QStringLiteral("Показаны первые ") + QString::number(count) + QLatin1Char(' ')
            + variants(count) + QStringLiteral(", найдено больше: уточните запрос.");
    if (count == 0)
        return QStringLiteral("Ничего не найдено. Проверьте написание или задайте маску, например "
                              "Гогол% (% – любые буквы, _ – одна буква).");
    return (count % 10 == 1 && count % 100 != 11 ? QStringLiteral("Найден ") : QStringLiteral("Найдено "))
        + QString::number(count) + QLatin1Char(' ') + variants(count) + QLatin1Char('.');
}
