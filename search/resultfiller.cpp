// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultfiller.h"

#include "searchlog.h"
#include "tablemodel.h"

QString ResultFiller::addressHeader()
{
    return QStringLiteral("Почтовый адрес");
}

void ResultFiller::fill(const SearchResult& result, TableModel& model)
{
    // The statement's columns in their order, less the technical ones (headers beginning with
    // '_'), which only feed the address; a column the map does not name is shown untitled.
    const int count = result.columns.count();
    QVector<QVariant> titles(count);
    QVector<bool> titled(count, false);
    // The map's first entry for a column names it.
    for (const ResultColumn& entry : result.columnMap) {
        if (entry.column >= 0 && entry.column < count && !titled.at(entry.column)) {
            titles[entry.column] = entry.header;
            titled[entry.column] = true;
        }
    }
    QVector<int> shown;
    QVector<QVariant> headers;
    for (int column = 0; column < count; ++column) {
        const QVariant& header = titles.at(column);
        if (header.toString().startsWith(QLatin1Char('_')))
            continue;
        shown << column;
        headers << header;
    }
    headers << addressHeader();

    QVector<QVector<QVariant>> rows;
    rows.reserve(result.rows.size());
    for (int row = 0; row < result.rows.size(); ++row) {
        const QSqlRecord& record = result.rows.at(row);
        QVector<QVariant> cells;
        cells.reserve(headers.size());
        for (int column : qAsConst(shown))
            cells << record.value(column);
        cells << result.addresses.value(row);
        rows << cells;
    }
    if (!model.setTable(headers, rows))
        qCDebug(lcSearch) << "The result does not fit the table:" << rows.size() << "rows";
}
