#include "tablemodel.h"

TableModel::TableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int TableModel::rowCount(const QModelIndex&) const
{
    return m_nRowCount;
}

int TableModel::columnCount(const QModelIndex&) const
{
    return m_nColumnCount;
}

bool TableModel::isUsable(const QModelIndex& index) const
{
    return index.row() >= 0 && index.column() >= 0 && index.model();
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
    m_Data.insert(cellKey(index.row(), index.column()), value);
    emit dataChanged(index, index);
    m_nColumnCount = qMax(m_nColumnCount, index.column() + 1);
    m_nRowCount = qMax(m_nRowCount, index.row() + 1);
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
    beginResetModel();
    m_nRowCount = 0;
    m_nColumnCount = 0;
    m_HeaderData.clear();
    m_Data.clear();
    endResetModel();
    const int rows = source->rowCount();
    const int columns = source->columnCount();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c)
            setData(createIndex(r, c), source->data(source->index(r, c), Qt::DisplayRole), Qt::EditRole);
    }
}

bool TableModel::addColumn()
{
    ++m_nColumnCount;
    return true;
}

bool TableModel::removeColumn(int column, const QModelIndex&)
{
    if (column < 0 || column >= m_nColumnCount)
        return false;
    QHash<int, QVariant> data;
    QHash<int, QVariant> headers;
    for (int i = 0; i < m_nColumnCount; ++i) {
        if (i == column)
            continue;
        const int target = i > column ? i - 1 : i;
        for (int r = 0; r < m_nRowCount; ++r)
            data.insert(cellKey(r, target), m_Data.value(cellKey(r, i)));
        headers.insert(target, m_HeaderData.value(i));
    }
    m_Data.swap(data);
    m_HeaderData.swap(headers);
    --m_nColumnCount;
    emit headerDataChanged(Qt::Horizontal, 0, m_nColumnCount - 1);
    return true;
}
