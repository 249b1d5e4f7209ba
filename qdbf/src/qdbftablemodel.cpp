// SPDX-License-Identifier: GPL-3.0-or-later
#include <qdbf/qdbftablemodel.h>

#include <QHash>
#include <QVector>

namespace QDbf {

namespace {
    // Rows read by one fetchMore call; views show the first rows of a large table at once.
    constexpr int kFetchBatchSize = 255;
} // namespace

class QDbfTableModelPrivate {
public:
    QDbfTableModelPrivate(QDbfTableModel* owner, const QString& name)
        : model(owner)
        , fileName(name)
    {
    }

    QDbfTableModel* model;
    QString fileName;
    bool readOnly = false;
    QDbfTable table;
    QDbfRecord record;
    QVector<QDbfRecord> rows; // rows from releasedCount on
    int releasedCount = 0;
    QVector<QHash<int, QVariant>> headers;
    int deletedCount = 0;
    int lastRecordIndex = -1;
    // Whether the last open succeeded: a refused file stays open in the table, but the
    // model reads no rows from it.
    bool opened = false;
    // Set while a batch is announced, so that a slot connected to rowsInserted that asks
    // for more rows does not start a second batch inside the first one.
    bool fetching = false;
};

QDbfTableModel::QDbfTableModel(QObject* parent)
    : QAbstractTableModel(parent)
    , d(new QDbfTableModelPrivate(this, QString()))
{
}

QDbfTableModel::QDbfTableModel(const QString& dbfFileName, QObject* parent)
    : QAbstractTableModel(parent)
    , d(new QDbfTableModelPrivate(this, dbfFileName))
{
}

QDbfTableModel::~QDbfTableModel()
{
    d->table.close();
    delete d;
}

bool QDbfTableModel::open(const QString& fileName, bool readOnly)
{
    d->fileName = fileName;
    return open(readOnly);
}

bool QDbfTableModel::open(bool readOnly)
{
    // Views are told that everything changed: the columns and rows of the previous
    // table go away whatever the outcome of the open.
    beginResetModel();
    d->readOnly = readOnly;
    d->record = QDbfRecord();
    d->rows.clear();
    d->releasedCount = 0;
    d->headers.clear();
    d->deletedCount = 0;
    d->lastRecordIndex = -1;
    const bool opened = d->table.open(d->fileName, readOnly ? QDbfTable::ReadOnly : QDbfTable::ReadWrite);
    d->opened = opened;
    if (opened)
        d->record = d->table.record();
    endResetModel();
    if (!opened)
        return false;
    if (canFetchMore(QModelIndex()))
        fetchMore(QModelIndex());
    return true;
}

bool QDbfTableModel::readOnly() const
{
    return d->readOnly;
}

int QDbfTableModel::size() const
{
    return d->table.size();
}

QDbfTable::TableError QDbfTableModel::error() const
{
    return d->table.error();
}

// A cell has no children: a non-zero count under a valid parent would make views and
// Qt's model checks take the table for a tree.
int QDbfTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : d->releasedCount + d->rows.size();
}

int QDbfTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : d->record.count();
}

QVariant QDbfTableModel::data(const QModelIndex& index, int role) const
{
    const int cached = index.row() - d->releasedCount;
    if (!index.isValid() || cached < 0 || cached >= d->rows.size() || index.column() >= d->record.count())
        return QVariant();
    const QVariant value = d->rows.at(cached).value(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        // Character fields are blank-padded to their width in the file.
        if (value.type() == QVariant::String)
            return value.toString().trimmed();
        return value;
    case Qt::CheckStateRole:
        if (value.type() == QVariant::Bool)
            return int(value.toBool() ? Qt::Checked : Qt::Unchecked);
        return QVariant();
    default:
        return QVariant();
    }
}

bool QDbfTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!d->table.isOpen())
        return false;
    const int cached = index.row() - d->releasedCount;
    if (!index.isValid() || role != Qt::EditRole || cached < 0 || cached >= d->rows.size()
        || index.column() >= d->record.count())
        return false;
    QDbfRecord& row = d->rows[cached];
    const QVariant previous = row.value(index.column());
    row.setValue(index.column(), value);
    if (!d->table.updateRecordInTable(row)) {
        row.setValue(index.column(), previous);
        return false;
    }
    emit dataChanged(index, index);
    return true;
}

QVariant QDbfTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        QVariant value;
        if (section >= 0 && section < d->headers.size()) {
            const QHash<int, QVariant>& roles = d->headers.at(section);
            value = roles.value(role);
            if (role == Qt::DisplayRole && !roles.contains(Qt::DisplayRole))
                value = roles.value(Qt::EditRole);
        }
        if (value.isValid())
            return value;
        if (role == Qt::DisplayRole && section >= 0 && section < d->record.count())
            return d->record.fieldName(section);
    }
    if (role == Qt::DisplayRole)
        return section + 1;
    return QVariant();
}

bool QDbfTableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= d->record.count())
        return false;
    if (d->headers.size() <= section)
        d->headers.resize(section + 1);
    d->headers[section].insert(role, value);
    emit headerDataChanged(orientation, section, section);
    return true;
}

void QDbfTableModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid() || !d->opened || d->fetching)
        return;
    const int batchSize = qMin(kFetchBatchSize, d->table.size() - rowCount() - d->deletedCount);
    if (batchSize <= 0)
        return;

    // Read the batch before announcing it: deleted records and the end of the table
    // may leave fewer rows than the batch could hold.
    QVector<QDbfRecord> batch;
    batch.reserve(batchSize);
    d->table.seek(d->lastRecordIndex);
    while (batch.size() < batchSize && d->table.next()) {
        const QDbfRecord record = d->table.record();
        if (record.isDeleted()) {
            ++d->deletedCount;
            continue;
        }
        batch.append(record);
        d->lastRecordIndex = d->table.at();
    }
    if (batch.isEmpty())
        return;
    const int first = rowCount();
    d->fetching = true;
    beginInsertRows(QModelIndex(), first, first + batch.size() - 1);
    d->rows.append(batch);
    endInsertRows();
    d->fetching = false;
}

bool QDbfTableModel::canFetchMore(const QModelIndex& parent) const
{
    if (parent.isValid() || !d->opened || !d->table.isOpen())
        return false;
    return rowCount() + d->deletedCount < d->table.size();
}

Qt::ItemFlags QDbfTableModel::flags(const QModelIndex& index) const
{
    // The root of a table model has no flags: Qt's views and model checks take any other
    // value for a drop target or a tree.
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (d->rows.value(index.row() - d->releasedCount).value(index.column()).type() == QVariant::Bool)
        result |= Qt::ItemIsAutoTristate; // 0x40, Qt 4's ItemIsTristate
    if (!d->readOnly)
        result |= Qt::ItemIsEditable;
    return result;
}

void QDbfTableModel::releaseRows(int nRows)
{
    const int count = qMin(nRows, rowCount()) - d->releasedCount;
    if (count <= 0)
        return;
    d->rows.remove(0, count);
    d->releasedCount += count;
}

} // namespace QDbf
