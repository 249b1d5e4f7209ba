// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qdbf/qdbfglobal.h>
#include <qdbf/qdbftable.h>

#include <QAbstractTableModel>

namespace QDbf {

class QDbfTableModelPrivate;

class QDBF_EXPORT QDbfTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit QDbfTableModel(QObject* parent = nullptr);
    explicit QDbfTableModel(const QString& dbfFileName, QObject* parent = nullptr);
    ~QDbfTableModel() override;

    bool open(const QString& fileName, bool readOnly = false);
    bool open(bool readOnly = false);

    bool readOnly() const;
    int size() const;
    QDbfTable::TableError error() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(
        int section, Qt::Orientation orientation, const QVariant& value, int role = Qt::EditRole) override;
    void fetchMore(const QModelIndex& parent) override;
    bool canFetchMore(const QModelIndex& parent) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Drops the cached records of rows [0, nRows) so that a reader going through a large
    // table once does not keep it all in memory. rowCount() is unchanged; a released row
    // reads as an invalid value and can no longer be edited.
    void releaseRows(int nRows);

private:
    Q_DISABLE_COPY(QDbfTableModel)
    QDbfTableModelPrivate* const d;
};

} // namespace QDbf
