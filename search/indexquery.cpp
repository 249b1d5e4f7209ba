// SPDX-License-Identifier: GPL-3.0-or-later
#include "indexquery.h"

#include "sqltext.h"

namespace IndexQuery {

namespace {

    QString u(const char* utf8)
    {
        return QString::fromUtf8(utf8);
    }

    // The condition of one ticked name text, its value bound: the name search's rule, "LIKE" for a
    // mask and "=" otherwise, against the upper-cased name.
    void addNameCondition(QString& sql, QVariantList& values, const char* column, const LevelFilter& level)
    {
        if (level.text.isEmpty())
            return;
        sql += QStringLiteral(" AND ") + QLatin1String(column)
            + (SqlText::isMask(level.text) ? QStringLiteral(" LIKE ?") : QStringLiteral(" = ?"));
        values << level.text.toUpper();
    }

    const char* const OfficeColumns
        = "SELECT o.index_, o.name, o.type, o.parent_index, "
          "(SELECT p.name FROM POST_OFFICES p WHERE p.index_ = o.parent_index AND p.index_ != '' LIMIT 1), "
          "o.region, o.autonom, o.area, o.city, o.city_1 FROM POST_OFFICES o ";

    QString field(const Office& office, OfficeField f)
    {
        return office.value(f).trimmed();
    }

    // City, area, region, the smallest first, each once.
    QString place(const Office& office)
    {
        QStringList parts;
        for (OfficeField f : { OfficeCity1, OfficeCity, Area, Autonom, Region }) {
            const QString part = field(office, f);
            if (!part.isEmpty() && !parts.contains(part, Qt::CaseInsensitive))
                parts << part;
        }
        return parts.join(QStringLiteral(", "));
    }

    QString officeName(const Office& office)
    {
        QString text = field(office, OfficeName);
        const QString type = field(office, OfficeType);
        if (!type.isEmpty())
            text += QStringLiteral(" (") + type + QLatin1Char(')');
        return text;
    }

} // namespace

Input read(const QString& text)
{
    Input input;
    QString digits;
    QString other;
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
        else if (!other.contains(c))
            other += c;
    }
    const QString shown = text.trimmed();
    if (!other.isEmpty())
        input.refusal = u("Индекс «") + shown
            + u("» не принят: в почтовом индексе только цифры, а здесь есть «") + other + u("».");
    else if (digits.isEmpty())
        input.refusal = u("Индекс не задан: введите шесть цифр почтового индекса.");
    else if (digits.size() != 6)
        input.refusal = u("Индекс «") + shown + u("» не принят: в почтовом индексе шесть цифр, а здесь ")
            + QString::number(digits.size()) + QLatin1Char('.');
    else
        input.index = digits;
    return input;
}

Statement rows(const QString& index, const LevelFilter& locality, const LevelFilter& street)
{
    Statement s;
    QString& sql = s.sql;
    sql = QStringLiteral("SELECT r.*, count(*) OVER () FROM (");
    // The locality's own rows: a locality has no street, so a street text leaves none.
    if (street.text.isEmpty()) {
        sql += QStringLiteral(
            "SELECT k.index_ AS idx, k.name AS city, k.socr, k.scname, k.code AS city_code, k.code_ss AS ss, "
            "k.code_rrr, k.code_ggg, '' AS street, '' AS street_socr, '' AS street_scname, '' AS houses, "
            "'' AS street_code FROM KLADR k WHERE k.index_ = ? AND k.code_st = '00'");
        s.values << index;
        addNameCondition(sql, s.values, "k.name_upper", locality);
        sql += QStringLiteral(" UNION ALL ");
    }
    // Streets whose own index it is: every house.
    // Named here as well: the names of a compound come from its first part.
    sql += QStringLiteral(
        "SELECT s.index_ AS idx, k.name AS city, k.socr, k.scname, k.code AS city_code, "
        "k.code_ss AS ss, k.code_rrr, k.code_ggg, s.name AS street, s.socr, s.scname, '---', "
        "s.code AS street_code FROM STREET s "
        "JOIN KLADR k ON k.code = s.code_kladr AND k.code_st = '00' "
        "WHERE s.index_ = ? AND s.code_st = '00'");
    s.values << index;
    addNameCondition(sql, s.values, "k.name_upper", locality);
    addNameCondition(sql, s.values, "s.name_upper", street);
    // Streets with another index or none, once each, with the house groups that carry this one in
    // the classifier's order.
    sql += QStringLiteral(
        " UNION ALL SELECT ?, k.name, k.socr, k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg, "
        "s.name, s.socr, s.scname, h.houses, s.code FROM "
        "(SELECT d.code_street AS code, group_concat(d.name, ',') AS houses FROM "
        "(SELECT code_street, name FROM DOMA WHERE index_ = ? ORDER BY code_street, rowid) d "
        "GROUP BY d.code_street) h "
        "JOIN STREET s ON s.code = h.code AND s.code_st = '00' "
        "JOIN KLADR k ON k.code = s.code_kladr AND k.code_st = '00' "
        "WHERE s.index_ IS NOT ?");
    s.values << index << index << index;
    addNameCondition(sql, s.values, "k.name_upper", locality);
    addNameCondition(sql, s.values, "s.name_upper", street);
    sql += QStringLiteral(") r ORDER BY ss, city, city_code, street, street_code LIMIT ")
        + QString::number(RowLimit);
    return s;
}

QString written(const Statement& statement)
{
    // The statements hold no "?" but their placeholders.
    QString text;
    text.reserve(statement.sql.size() + 16 * statement.values.size());
    int value = 0;
    for (const QChar c : statement.sql) {
        if (c == QLatin1Char('?') && value < statement.values.size())
            text += SqlText::literal(statement.values.at(value++).toString());
        else
            text += c;
    }
    return text;
}

Statement hasOffices()
{
    return { QStringLiteral(
                 "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'POST_OFFICES'"),
        {} };
}

Statement offices(const QString& index)
{
    return { QLatin1String(OfficeColumns) + QStringLiteral("WHERE o.index_ = ? ORDER BY o.rowid"),
        { index } };
}

Statement successors(const QString& index)
{
    return { QLatin1String(OfficeColumns) + QStringLiteral("WHERE o.index_old = ? ORDER BY o.index_"),
        { index } };
}

QStringList officeLines(
    const QString& index, const QVector<Office>& offices, const QVector<Office>& successors)
{
    QStringList lines;
    for (const Office& office : offices) {
        QString line = u("Отделение почтовой связи ") + index + QStringLiteral(": ") + officeName(office);
        const QString where = place(office);
        if (!where.isEmpty())
            line += QStringLiteral("; ") + where;
        const QString parent = field(office, ParentIndex);
        if (!parent.isEmpty()) {
            line += u("; подчинено отделению ") + parent;
            const QString parentName = field(office, ParentName);
            if (!parentName.isEmpty())
                line += QStringLiteral(" (") + parentName + QLatin1Char(')');
        }
        lines << line + QLatin1Char('.');
    }
    for (const Office& successor : successors) {
        lines << u("Индекс ") + index + u(" прежний: его заменил индекс ") + field(successor, OfficeIndex)
                + u(", отделение ") + officeName(successor) + QLatin1Char('.');
    }
    if (lines.isEmpty())
        lines << u("Индекс ") + index + u(" не найден в справочнике почтовых отделений.");
    return lines;
}

QString cutLine(int nTotal, int nShown)
{
    if (nTotal <= nShown)
        return QString();
    return u("По индексу найдено строк: ") + QString::number(nTotal) + u(", показаны первые ")
        + QString::number(nShown) + QLatin1Char('.');
}

} // namespace IndexQuery
