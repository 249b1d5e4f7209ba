// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "columnfit.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

class QAction;
class QModelIndex;
class QTableView;

// The display of the result table: the postal address, in the last column, wrapped whole inside
// the view; the other columns sized to their contents as far as room allows, cut ones showing
// their text as a tooltip; whole rows selected; and the ways to copy (Ctrl+C and the context
// menu's "Копировать адрес", "Копировать строку", a double-click). The view keeps its model,
// which the table follows through every refill.
class ResultTable : public QObject {
    Q_OBJECT
public:
    // The view must have its model.
    explicit ResultTable(QTableView* view);

    // The addresses of the selected rows, or of the current row when none is selected, one a
    // line in the table's order.
    void copyAddresses();
    // The shown cells of those rows, separated by tabs, one row a line.
    void copyRows();
    void copyAddress(int row);

    QAction* copyAddressAction() const { return m_pCopyAddress; }
    QAction* copyRowAction() const { return m_pCopyRow; }

    // Widths the user gave columns by hand, by header; such a column keeps its width in later
    // results.
    QVariantMap columnWidths() const;
    void setColumnWidths(const QVariantMap& widths);

signals:
    // One status-log line saying what went to the clipboard.
    void copied(const QString& logLine);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int addressColumn() const;
    // Room for a cell's text, and the width its text needs on one line.
    int padding() const;
    int cellWidth(const QModelIndex& index) const;
    // Every column's widths from the model's texts, for every row; read once per result.
    void measure();
    // Column widths for the view's current width, then the rows' heights.
    void fit();
    QList<int> chosenRows() const;
    void copy(const QString& text, const QString& logLine);
    bool showCellToolTip(QEvent* event);
    bool showHeaderToolTip(QEvent* event);

    QTableView* m_pView;
    QAction* m_pCopyAddress;
    QAction* m_pCopyRow;
    QVector<ColumnFit::Column> m_Columns;
    QVector<int> m_AddressWidths;
    QHash<QString, int> m_UserWidths;
    // Set while this class sets widths, so only the user's own resizing is remembered.
    bool m_bFitting = false;
    bool m_bUserResizing = false;
    // Row heights follow the address column's width, once per turn of the event loop.
    QTimer m_RowHeights;
};
