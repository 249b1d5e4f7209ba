// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultfiller.h"

#include "tablemodel.h"

#include <QDebug>
#include <QStringBuilder>

ResultFiller::ResultFiller(SearchParams& params, const AddressNameCache& names)
    : m_Params(params)
    , m_Names(names)
{
}

QString ResultFiller::addressHeader()
{
    return QStringLiteral("Почтовый адрес");
}

void ResultFiller::fill(const SearchResult& result, TableModel& model)
{
    m_Params.columns = result.columnMap;
    m_House = result.house;
    m_bStreetFromRow = result.streetFromRow;

    // The statement's columns in their order, less the technical ones (headers beginning with
    // '_'), which only feed the address; a column the map does not name is shown untitled.
    QVector<int> shown;
    QVector<QVariant> headers;
    for (int column = 0; column < result.columns.count(); ++column) {
        QVariant header;
        for (const ResultColumn& entry : qAsConst(m_Params.columns)) {
            if (entry.column == column) {
                header = entry.header;
                break;
            }
        }
        if (header.toString().startsWith(QLatin1Char('_')))
            continue;
        shown << column;
        headers << header;
    }
    headers << addressHeader();

    QVector<QVector<QVariant>> rows;
    rows.reserve(result.rows.size());
    for (const QSqlRecord& record : result.rows) {
        for (ResultColumn& column : m_Params.columns)
            column.value = column.column < 0 ? QString() : record.value(column.column).toString();

        QVector<QVariant> cells;
        cells.reserve(headers.size());
        for (int column : qAsConst(shown))
            cells << record.value(column);
        const QString address = composeAddress();
        cells << address;
        rows << cells;
        qDebug().noquote() << QLatin1Char('"') + address + QLatin1Char('"');
    }
    if (!model.setTable(headers, rows))
        qDebug() << "The result does not fit the table:" << rows.size() << "rows";
}

QString ResultFiller::value(const QString& key)
{
    // A key the search did not name reads as empty and joins the map with no column.
    return m_Params.columns[key].value;
}

QString ResultFiller::composeAddress()
{
    // Built in place (QStringBuilder's %): the lines of a result are composed a hundred at a time.
    const QString regionCode = value(QStringLiteral("city_code_ss")) % QLatin1String("000000000");
    QString address;
    address.reserve(160);
    address += value(QStringLiteral("index"));

    if (regionCode != value(QStringLiteral("city_code"))) {
        const NameLookup region = lookupName(regionCode);
        if (region.found)
            address += QLatin1Char(',') % region.name % QLatin1Char(' ') % region.shortType;
    }

    const QString districtCode = value(QStringLiteral("city_code_ss"))
        % value(QStringLiteral("city_code_rrr")) % QLatin1String("000000");
    if (districtCode != regionCode) {
        const NameLookup district = lookupName(districtCode);
        if (district.found)
            address += QLatin1Char(',') % district.name % QLatin1Char(' ') % district.shortType
                % QLatin1Char('.');
    }

    address += QLatin1Char(',') % value(QStringLiteral("city_t_")) % QLatin1Char('.')
        % value(QStringLiteral("city"));

    if (m_bStreetFromRow ? !value(QStringLiteral("street")).isEmpty()
                         : !m_Params.level(SearchParams::StreetLevel).text.isEmpty())
        address += QLatin1Char(',') % value(QStringLiteral("street_t_")) % QLatin1Char('.')
            % value(QStringLiteral("street"));
    if (!m_House.isEmpty())
        address += QStringLiteral(",д.") % m_House;
    return address;
}

NameLookup ResultFiller::lookupName(const QString& code) const
{
    return m_Names.lookup(code);
}
