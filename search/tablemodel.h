// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QVariant>

// The result table: a sparse in-memory copy of a finished search, to which the window adds the
// postal-address column and from which it removes the technical columns. Cell keys are
// row * 65536 + column, so rows and columns stay below 65536: a write beyond is refused. Growth
// and column removal are announced to attached views, so a view that shows the model follows
// every refill.
class TableModel : public QAbstractTableModel {
public:
    explicit TableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(
        int section, Qt::Orientation orientation, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Rebuilds rows and columns cell by cell from the source's display values; headers are not
    // copied. A null source changes nothing.
    void fillFromModel(const QAbstractItemModel* source);
    // Replaces rows, columns and headers at once, inside one reset: a finished search is shown
    // without building a wider table first and trimming it column by column. Every row has one
    // value per header. False, changing nothing, when a row is of another width or the table
    // would not fit the cell keys.
    bool setTable(const QVector<QVariant>& headers, const QVector<QVector<QVariant>>& rows);
    bool addColumn();
    bool removeColumn(int column, const QModelIndex& parent = QModelIndex());

private:
    static constexpr int MaxRows = 65536;
    static constexpr int MaxColumns = 65536;
    // Up to 2^32 - 1, beyond int from row 32768 on.
    static qint64 cellKey(int row, int column) { return qint64(row) * MaxColumns + column; }
    bool isUsable(const QModelIndex& index) const;

    bool m_bFilling = false;
    int m_nRowCount = 0;
    int m_nColumnCount = 0;
    QHash<qint64, QVariant> m_Data;
    QHash<QModelIndex, QVariant> m_ItemData;
    QHash<int, QVariant> m_HeaderData;
};
