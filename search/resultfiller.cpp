// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultfiller.h"

#include "tablemodel.h"

#include <QAbstractTableModel>
#include <QDebug>

namespace {

// The fetched rows as an item model, the source the result table copies its cells from.
class SearchResultModel : public QAbstractTableModel {
public:
    explicit SearchResultModel(const SearchResult& result)
        : m_Result(result)
    {
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_Result.rows.size();
    }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_Result.columns.count();
    }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole)
            return QVariant();
        return m_Result.rows.at(index.row()).value(index.column());
    }

private:
    const SearchResult& m_Result;
};

} // namespace

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
    const SearchResultModel source(result);
    model.fillFromModel(&source);
    // The model learns its columns from the cells it is given; without rows it would have none,
    // and the address header would land on column 0 only to be overwritten by "Индекс".
    while (model.columnCount() < source.columnCount())
        model.addColumn();

    const int addressColumn = model.columnCount();
    model.addColumn();
    model.setHeaderData(addressColumn, Qt::Horizontal, addressHeader(), Qt::EditRole);

    for (int row = 0; row < model.rowCount(); ++row) {
        const QSqlRecord record = result.rows.value(row);
        for (ResultColumn& column : m_Params.columns)
            column.value = column.column < 0 ? QString() : record.value(column.column).toString();

        const QString address = composeAddress();
        const QModelIndex index = model.index(row, addressColumn);
        if (!index.isValid())
            qDebug() << "Index is invalid";
        else if (!model.setData(index, address, Qt::EditRole))
            qDebug() << "Error in m_ResultModel.setData";
        qDebug().noquote() << QLatin1Char('"') + address + QLatin1Char('"');
    }

    for (int column = model.columnCount() - 1; column >= 0; --column) {
        for (auto it = m_Params.columns.cbegin(); it != m_Params.columns.cend(); ++it) {
            if (it->column != column)
                continue;
            if (it->header.startsWith(QLatin1Char('_')))
                model.removeColumn(column);
            else
                model.setHeaderData(column, Qt::Horizontal, it->header, Qt::EditRole);
            break;
        }
    }
}

QString ResultFiller::value(const QString& key)
{
    // A key the search did not name reads as empty and joins the map with no column.
    return m_Params.columns[key].value;
}

QString ResultFiller::composeAddress()
{
    const QString regionCode = value(QStringLiteral("city_code_ss")) + QLatin1String("000000000");
    QString address = value(QStringLiteral("index"));

    if (regionCode != value(QStringLiteral("city_code"))) {
        const NameLookup region = lookupName(regionCode);
        if (region.found)
            address += QLatin1Char(',') + region.name + QLatin1Char(' ') + region.shortType;
    }

    const QString districtCode = value(QStringLiteral("city_code_ss"))
        + value(QStringLiteral("city_code_rrr")) + QLatin1String("000000");
    if (districtCode != regionCode) {
        const NameLookup district = lookupName(districtCode);
        if (district.found)
            address += QLatin1Char(',') + district.name + QLatin1Char(' ') + district.shortType
                + QLatin1Char('.');
    }

    address += QLatin1Char(',') + value(QStringLiteral("city_t_")) + QLatin1Char('.')
        + value(QStringLiteral("city"));

    if (!m_Params.level(SearchParams::StreetLevel).text.isEmpty())
        address += QLatin1Char(',') + value(QStringLiteral("street_t_")) + QLatin1Char('.')
            + value(QStringLiteral("street"));
    if (!m_House.isEmpty())
        address += QStringLiteral(",д.") + m_House;
    return address;
}

NameLookup ResultFiller::lookupName(const QString& code) const
{
    return m_Names.lookup(code);
}
