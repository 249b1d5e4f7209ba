// SPDX-License-Identifier: GPL-3.0-or-later
#include "tablemodel.h"

TableModel::TableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

// A flat table: cells have no children, or item views and testers see an endless tree.
int TableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nRowCount;
}

int TableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nColumnCount;
}

// Only this model's own indexes: another model's index names a cell of another table. A writer
// may reach beyond the current counts (the model grows), but not beyond the key range.
bool TableModel::isUsable(const QModelIndex& index) const
{
    return index.model() == this && index.row() >= 0 && index.row() < MaxRows && index.column() >= 0
        && index.column() < MaxColumns;
}

QVariant TableModel::data(const QModelIndex& index, int role) const
{
    if (!isUsable(index))
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_Data.value(cellKey(index.row(), index.column()));
    return m_ItemData.value(index);
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!isUsable(index) || role == Qt::DisplayRole)
        return false;
    if (role != Qt::EditRole) {
        // Every other role shares one value per index and changes no count.
        m_ItemData.insert(index, value);
        return true;
    }
    // Grow first, announced to attached views, so that dataChanged never names a cell outside
    // the model; the rebuild inside fillFromModel is covered by its reset.
    if (index.column() >= m_nColumnCount) {
        if (!m_bFilling)
            beginInsertColumns(QModelIndex(), m_nColumnCount, index.column());
        m_nColumnCount = index.column() + 1;
        if (!m_bFilling)
            endInsertColumns();
    }
    if (index.row() >= m_nRowCount) {
        if (!m_bFilling)
            beginInsertRows(QModelIndex(), m_nRowCount, index.row());
        m_nRowCount = index.row() + 1;
        if (!m_bFilling)
            endInsertRows();
    }
    m_Data.insert(cellKey(index.row(), index.column()), value);
    emit dataChanged(index, index);
    return true;
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section >= 0 && section < m_nColumnCount
        && (role == Qt::DisplayRole || role == Qt::EditRole))
        return m_HeaderData.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool TableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation == Qt::Horizontal && section >= 0 && section < m_nColumnCount
        && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        m_HeaderData.insert(section, value);
        emit headerDataChanged(Qt::Horizontal, section, section);
        return true;
    }
    return QAbstractTableModel::setHeaderData(section, orientation, value, role);
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const
{
    return QAbstractTableModel::flags(index);
}

void TableModel::fillFromModel(const QAbstractItemModel* source)
{
    if (!source)
        return;
    // The whole rebuild sits inside one reset, so an attached view relays out once, with the
    // final row and column counts.
    beginResetModel();
    m_bFilling = true;
    m_nRowCount = 0;
    m_nColumnCount = 0;
    m_HeaderData.clear();
    m_Data.clear();
    const int rows = source->rowCount();
    const int columns = source->columnCount();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c)
            setData(createIndex(r, c), source->data(source->index(r, c), Qt::DisplayRole), Qt::EditRole);
    }
    m_bFilling = false;
    endResetModel();
}

bool TableModel::setTable(const QVector<QVariant>& headers, const QVector<QVector<QVariant>>& rows)
{
    if (headers.size() > MaxColumns || rows.size() > MaxRows)
        return false;
    for (const QVector<QVariant>& row : rows) {
        if (row.size() != headers.size())
            return false;
    }
    beginResetModel();
    m_Data.clear();
    m_HeaderData.clear();
    m_Data.reserve(rows.size() * headers.size());
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < headers.size(); ++c)
            m_Data.insert(cellKey(r, c), rows.at(r).at(c));
    }
    for (int c = 0; c < headers.size(); ++c)
        m_HeaderData.insert(c, headers.at(c));
    m_nRowCount = rows.size();
    m_nColumnCount = headers.size();
    endResetModel();
    return true;
}

bool TableModel::addColumn()
{
    beginInsertColumns(QModelIndex(), m_nColumnCount, m_nColumnCount);
    ++m_nColumnCount;
    endInsertColumns();
    return true;
}

bool TableModel::removeColumn(int column, const QModelIndex&)
{
    if (column < 0 || column >= m_nColumnCount)
        return false;
    beginRemoveColumns(QModelIndex(), column, column);
    // Only the cells that hold a value move; a cell to the right of the column moves one key down.
    QHash<qint64, QVariant> data;
    data.reserve(m_Data.size());
    for (auto it = m_Data.cbegin(); it != m_Data.cend(); ++it) {
        const int cellColumn = int(it.key() % MaxColumns);
        if (cellColumn != column)
            data.insert(cellColumn > column ? it.key() - 1 : it.key(), it.value());
    }
    QHash<int, QVariant> headers;
    for (auto it = m_HeaderData.cbegin(); it != m_HeaderData.cend(); ++it) {
        if (it.key() != column)
            headers.insert(it.key() > column ? it.key() - 1 : it.key(), it.value());
    }
    m_Data.swap(data);
    m_HeaderData.swap(headers);
    --m_nColumnCount;
    endRemoveColumns();
    // Without columns left there is no section whose header could have changed.
    if (m_nColumnCount > 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_nColumnCount - 1);
    return true;
}
