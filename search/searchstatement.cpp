// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchstatement.h"

#include "schema.h"
#include "sqltext.h"

#include <algorithm>
#include <functional>

namespace {

void addColumn(QHash<QString, ResultColumn>& columns, const QString& key, const QString& header, int column)
{
    ResultColumn entry;
    entry.header = header;
    entry.column = column;
    columns.insert(key, entry);
}

// Condition on a name column: the column followed by its comparison.
using NameCondition = std::function<QString(const char* column, const LevelFilter& level, const char* names)>;

// The SELECTs of the statement: the first, and with both levels the second, which the statement
// joins with UNION.
QStringList selects(const LevelFilter& locality, const LevelFilter& street, const NameCondition& condition)
{
    const bool hasLocality = !locality.text.isEmpty();
    const bool hasStreet = !street.text.isEmpty();
    const char* kladrName = "k.name_upper";
    const char* streetName = "s.name_upper";

    QString first;
    // Built by many appends: one allocation for all of them.
    first.reserve(512);
    first += QLatin1String("SELECT ");
    if (hasStreet && hasLocality)
        first += QLatin1String("d.index_ ");
    else if (hasStreet)
        first += QLatin1String("s.index_ ");
    else
        first += QLatin1String("k.index_ ");
    first += QLatin1String(", k.name, k.socr, k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg ");
    if (hasStreet) {
        first += QLatin1String(", s.name, s.socr, s.scname ");
        if (hasLocality)
            first += QLatin1String(", d.name ");
    }

    first += QLatin1String("FROM kladr k ");
    if (hasStreet) {
        first += QLatin1String(", street s ");
        if (hasLocality)
            first += QLatin1String(", doma d INDEXED BY index_doma_index ");
    }

    first += QLatin1String(" WHERE ");
    if (hasLocality)
        first += condition(kladrName, locality, Schema::KladrNames);
    if (hasStreet) {
        if (hasLocality)
            first += QLatin1String("AND d.code_street = s.code AND ");
        first += condition(streetName, street, Schema::StreetNames)
            + QLatin1String("AND s.code_kladr = k.code ");
    }
    first += QLatin1String("AND k.code_st = '00' ");
    if (!(hasLocality && hasStreet))
        return { first };

    const QString second = QLatin1String("SELECT s.index_ , k.name , k.socr , k.scname , k.code , "
                                         "k.code_ss , k.code_rrr , k.code_ggg , s.name , s.socr , "
                                         "s.scname , '---' FROM KLADR k, STREET s WHERE ")
        + condition(streetName, street, Schema::StreetNames) + QLatin1String("AND ")
        + condition(kladrName, locality, Schema::KladrNames)
        + QLatin1String("AND s.code_kladr = k.code AND s.index_ != '' and k.code_st = '00'");
    return { first, second };
}

const QChar Ye(0x0415);
const QChar Yo(0x0401);

bool isYe(QChar c)
{
    return c == Ye || c == Yo;
}

QString folded(QString text)
{
    return text.replace(Yo, Ye);
}

// The statement that finds the streets of a house search, its name conditions given.
QString houseStreetStatement(const LevelFilter& locality, const LevelFilter& street,
    const std::function<QString(const char* column, const LevelFilter& level)>& condition)
{
    QString statement
        = SearchStatement::houseStreetColumns() + QLatin1String("FROM kladr k , street s  WHERE ");
    if (!locality.text.isEmpty())
        statement += condition("k.name_upper", locality) + QLatin1String("AND ");
    statement += condition("s.name_upper", street)
        + QLatin1String("AND s.code_kladr = k.code AND k.code_st = '00'");
    return statement;
}

} // namespace

namespace SearchStatement {

QStringList spellings(const QString& text)
{
    QStringList found { text };
    int letters = 0;
    for (int i = 0; i < text.size() && letters < MaxFoldedLetters; ++i) {
        if (!isYe(text.at(i)))
            continue;
        ++letters;
        const int count = found.size();
        for (int j = 0; j < count; ++j) {
            QString other = found.at(j);
            other[i] = other.at(i) == Ye ? Yo : Ye;
            found << other;
        }
    }
    return found;
}

QString exactMatch(const LevelFilter& level)
{
    const QString text = level.text.toUpper();
    if (!std::any_of(text.cbegin(), text.cend(), isYe))
        return QLatin1String("= ") + SqlText::literal(text);
    QStringList literals;
    for (const QString& spelling : spellings(text))
        literals << SqlText::literal(spelling);
    return QLatin1String("IN (") + literals.join(QLatin1String(", ")) + QLatin1Char(')');
}

QString matches(const QString& column, const LevelFilter& level)
{
    const QString text = level.text.toUpper();
    if (!std::any_of(text.cbegin(), text.cend(), isYe))
        return column + QLatin1Char(' ') + condition(level);
    const int letters = int(std::count_if(text.cbegin(), text.cend(), isYe));
    if (!level.isMask && letters <= MaxFoldedLetters)
        return column + QLatin1Char(' ') + exactMatch(level) + QLatin1Char(' ');

    // The fixed beginning of a mask, in every spelling, is a range of the index each; the whole
    // text is then compared with Ё read as Е.
    QString prefix
        = text.left(int(std::find_if(text.cbegin(), text.cend(), SqlText::isWildcard) - text.cbegin()));
    QString condition;
    if (!prefix.isEmpty()) {
        QStringList ranges;
        for (const QString& spelling : spellings(prefix))
            ranges << column + QLatin1String(" LIKE ") + SqlText::literal(spelling + QLatin1Char('%'));
        condition = QLatin1Char('(') + ranges.join(QLatin1String(" OR ")) + QLatin1String(") AND ");
    }
    return condition + QLatin1String("replace(") + column + QStringLiteral(", 'Ё', 'Е') ")
        + (level.isMask ? QLatin1String("LIKE ") : QLatin1String("= ")) + SqlText::literal(folded(text))
        + QLatin1Char(' ');
}

QString condition(const LevelFilter& level)
{
    const QString literal = SqlText::literal(level.text.toUpper());
    return (level.isMask ? QLatin1String("LIKE ") : QLatin1String("= ")) + literal + QLatin1Char(' ');
}

QHash<QString, ResultColumn> columnMap(bool bLocality, bool bStreet)
{
    QHash<QString, ResultColumn> columns;
    addColumn(columns, QStringLiteral("index"), QStringLiteral("Индекс"), 0);
    addColumn(columns, QStringLiteral("city"), QStringLiteral("Населенный пункт"), 1);
    addColumn(columns, QStringLiteral("city_t"), QStringLiteral("Тип пункта"), 2);
    addColumn(columns, QStringLiteral("city_t_"), QStringLiteral("_city_type"), 3);
    addColumn(columns, QStringLiteral("city_code"), QStringLiteral("_city_code"), 4);
    addColumn(columns, QStringLiteral("city_code_ss"), QStringLiteral("_city_code_ss"), 5);
    addColumn(columns, QStringLiteral("city_code_rrr"), QStringLiteral("_city_code_rrr"), 6);
    addColumn(columns, QStringLiteral("city_code_ggg"), QStringLiteral("_city_code_ggg"), 7);
    if (bStreet) {
        addColumn(columns, QStringLiteral("street"), QStringLiteral("Улица"), 8);
        addColumn(columns, QStringLiteral("street_t"), QStringLiteral("Тип объекта"), 9);
        addColumn(columns, QStringLiteral("street_t_"), QStringLiteral("_street_type"), 10);
        if (bLocality)
            addColumn(columns, QStringLiteral("home"),
                QStringLiteral("Номера домов (Н-нечетные, Ч-четные, --- все)"), 11);
    }
    return columns;
}

bool matchesDistinctNames(const LevelFilter& level)
{
    // A mask of wildcards only matches (nearly) every name, and the plain scan finds its first
    // rows at once.
    const QString& text = level.text;
    return level.isMask && !text.isEmpty() && SqlText::isWildcard(text.front())
        && std::any_of(text.cbegin(), text.cend(), [](QChar c) { return !SqlText::isWildcard(c); });
}

QString loggedNames(const LevelFilter& locality, const LevelFilter& street)
{
    return selects(locality, street,
               [](const char* column, const LevelFilter& level, const char*) {
                   return QLatin1String(column) + QLatin1Char(' ') + condition(level);
               })
               .join(QLatin1String("UNION "))
        + QLatin1String(" LIMIT 100");
}

QStringList executedNames(
    const LevelFilter& locality, const LevelFilter& street, const QStringList& nameTables)
{
    return selects(
        locality, street, [&nameTables](const char* column, const LevelFilter& level, const char* names) {
            const QString table = QLatin1String(names);
            if (!matchesDistinctNames(level) || !nameTables.contains(table, Qt::CaseInsensitive))
                return matches(QLatin1String(column), level);
            return QLatin1String(column) + QLatin1String(" IN (SELECT name_upper FROM ") + table
                + QLatin1String(" WHERE ") + matches(QStringLiteral("name_upper"), level)
                + QLatin1String(") ");
        });
}

NameStatements names(const LevelFilter& locality, const LevelFilter& street, const QStringList& nameTables)
{
    return { loggedNames(locality, street), executedNames(locality, street, nameTables) };
}

Bound bound(const QString& statement)
{
    Bound found;
    found.text.reserve(statement.size());
    for (int i = 0; i < statement.size(); ++i) {
        const QChar c = statement.at(i);
        if (c != QLatin1Char('\'')) {
            found.text += c;
            continue;
        }
        // A literal runs to the next apostrophe not doubled; one left open stays text, and the
        // statement fails to compile as it would have.
        QString value;
        int end = i + 1;
        for (; end < statement.size(); ++end) {
            if (statement.at(end) != QLatin1Char('\''))
                value += statement.at(end);
            else if (end + 1 < statement.size() && statement.at(end + 1) == QLatin1Char('\''))
                value += statement.at(++end);
            else
                break;
        }
        if (end >= statement.size()) {
            found.text += statement.midRef(i);
            break;
        }
        found.text += QLatin1Char('?');
        found.values << value;
        i = end;
    }
    return found;
}

QString houseStreetColumns()
{
    return QStringLiteral("SELECT s.index_ , k.index_ , k.name, k.socr, k.scname, k.code, "
                          "k.code_ss, k.code_rrr, k.code_ggg , s.name, s.socr, s.scname , s.code ");
}

QString houseStreets(const LevelFilter& locality, const LevelFilter& street)
{
    return houseStreetStatement(locality, street, [](const char* column, const LevelFilter& level) {
        return QLatin1String(column) + QLatin1Char(' ') + condition(level);
    });
}

QString houseStreetsExecuted(const LevelFilter& locality, const LevelFilter& street)
{
    return houseStreetStatement(locality, street,
        [](const char* column, const LevelFilter& level) { return matches(QLatin1String(column), level); });
}

} // namespace SearchStatement
