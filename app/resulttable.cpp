// SPDX-License-Identifier: GPL-3.0-or-later
#include "resulttable.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <algorithm>

namespace {

// The address as drawn: the classifier's address has no blank after its commas, so a break is
// allowed there by an invisible space.
QString wrappable(QString address)
{
    return address.replace(QLatin1Char(','), QStringLiteral(",\u200B"));
}

// Draws the last column wrapped, with the break points of wrappable(), and every other
// column on one line, cut with an ellipsis. The view wraps (setWordWrap), or it would not tell the
// delegate a column's width when it asks a row's height.
class ResultDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == index.model()->columnCount() - 1) {
            option->features |= QStyleOptionViewItem::WrapText;
            option->text = wrappable(option->text);
        } else {
            option->features &= ~QStyleOptionViewItem::WrapText;
        }
    }
};

// The pieces of an address between its break points: after a blank, and after a comma.
QVector<ColumnFit::Piece> pieces(const QString& text, const QFontMetrics& metrics)
{
    QVector<ColumnFit::Piece> result;
    int start = 0;
    for (int i = 0; i < text.size(); ++i) {
        const bool end = i + 1 == text.size();
        const QChar c = text.at(i);
        const bool blank = c == QLatin1Char(' ');
        if (!end && !blank && !(c == QLatin1Char(',') && text.at(i + 1) != QLatin1Char(' ')))
            continue;
        ColumnFit::Piece piece;
        piece.width = metrics.horizontalAdvance(text.mid(start, i + 1 - start - (blank ? 1 : 0)));
        piece.space = blank ? metrics.horizontalAdvance(c) : 0;
        result << piece;
        start = i + 1;
    }
    return result;
}

} // namespace

ResultTable::ResultTable(QTableView* view)
    : QObject(view)
    , m_pView(view)
    , m_pCopyAddress(new QAction(QStringLiteral("Копировать адрес"), view))
    , m_pCopyRow(new QAction(QStringLiteral("Копировать строку"), view))
{
    m_pView->setItemDelegate(new ResultDelegate(m_pView));
    m_pView->setWordWrap(true);
    m_pView->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The row numbers say nothing the rows do not, and the address needs their room.
    m_pView->verticalHeader()->hide();
    QHeaderView* header = m_pView->horizontalHeader();
    header->setStretchLastSection(true);
    header->setTextElideMode(Qt::ElideRight);
    // Highlighted sections are drawn bold, wider than measured, whenever rows are selected.
    header->setHighlightSections(false);

    // Ctrl+C copies addresses rather than the view's current cell: a shortcut is matched before
    // the view sees the key.
    m_pCopyAddress->setShortcut(QKeySequence::Copy);
    m_pCopyAddress->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_pCopyAddress, &QAction::triggered, this, &ResultTable::copyAddresses);
    connect(m_pCopyRow, &QAction::triggered, this, &ResultTable::copyRows);
    m_pView->addAction(m_pCopyAddress);
    m_pView->addAction(m_pCopyRow);
    m_pView->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_pView, &QAbstractItemView::doubleClicked, this,
        [this](const QModelIndex& index) { copyAddress(index.row()); });

    m_RowHeights.setSingleShot(true);
    m_RowHeights.setInterval(0);
    connect(&m_RowHeights, &QTimer::timeout, m_pView, &QTableView::resizeRowsToContents);
    connect(header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (!m_bFitting && m_bUserResizing && section < m_Columns.size()) {
            m_UserWidths.insert(m_pView->model()->headerData(section, Qt::Horizontal).toString(), size);
            m_Columns[section] = { size, size, size, size };
        }
        m_RowHeights.start();
    });
    // Nothing to copy until a search has found something.
    m_pCopyAddress->setEnabled(false);
    m_pCopyRow->setEnabled(false);
    connect(m_pView->model(), &QAbstractItemModel::modelReset, this, [this] {
        const bool rows = m_pView->model()->rowCount() > 0;
        m_pCopyAddress->setEnabled(rows);
        m_pCopyRow->setEnabled(rows);
        measure();
        fit();
    });
    m_pView->viewport()->installEventFilter(this);
    header->viewport()->installEventFilter(this);
}

int ResultTable::addressColumn() const
{
    return m_pView->model()->columnCount() - 1;
}

int ResultTable::padding() const
{
    // Around a cell's text: the style's margin on both sides, the grid line, and a pixel for the
    // fraction the text is laid out wider than its rounded advance.
    return 2 * (m_pView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_pView) + 1)
        + (m_pView->showGrid() ? 1 : 0) + 1;
}

int ResultTable::cellWidth(const QModelIndex& index) const
{
    return m_pView->fontMetrics().horizontalAdvance(index.data().toString()) + padding();
}

void ResultTable::measure()
{
    const QAbstractItemModel* model = m_pView->model();
    const int rows = model->rowCount();
    const int address = addressColumn();
    const QFontMetrics metrics = m_pView->fontMetrics();
    auto textWidth
        = [this, &metrics](const QString& text) { return metrics.horizontalAdvance(text) + padding(); };

    m_Columns.clear();
    for (int column = 0; column < address; ++column) {
        int contents = 0;
        for (int row = 0; row < rows; ++row)
            contents = std::max(contents, cellWidth(model->index(row, column)));
        ColumnFit::Column fit;
        fit.wanted = std::max(contents, m_pView->horizontalHeader()->sectionSizeHint(column));
        // A house list is cut beyond about sixteen characters; a value as short as an index is
        // never cut, a longer one down to its first letters.
        const int shortValue = textWidth(QStringLiteral("000000"));
        fit.minimum = std::min(contents, textWidth(QString(16, QLatin1Char('0'))));
        fit.floor = std::min(contents, shortValue);
        fit.least = contents <= shortValue ? contents : std::min(contents, textWidth(QStringLiteral("00…")));
        const auto user = m_UserWidths.constFind(model->headerData(column, Qt::Horizontal).toString());
        if (user != m_UserWidths.cend())
            fit = { *user, *user, *user, *user };
        m_Columns << fit;
    }

    // At least its header, also when nothing was found.
    m_AddressWidths
        = QVector<int>(3, address >= 0 ? m_pView->horizontalHeader()->sectionSizeHint(address) : 0);
    for (int row = 0; row < rows; ++row) {
        const QVector<ColumnFit::Piece> line = pieces(model->index(row, address).data().toString(), metrics);
        for (int lines = 1; lines <= m_AddressWidths.size(); ++lines) {
            // Wrapped text is laid out in fractions of a pixel: one more on either side.
            m_AddressWidths[lines - 1] = std::max(
                m_AddressWidths.at(lines - 1), ColumnFit::widthForLines(line, lines) + padding() + 2);
        }
    }
}

void ResultTable::fit()
{
    const QVector<int> widths = ColumnFit::fit(m_Columns, m_AddressWidths, m_pView->viewport()->width());
    m_bFitting = true;
    for (int column = 0; column < widths.size(); ++column)
        m_pView->horizontalHeader()->resizeSection(column, widths.at(column));
    m_bFitting = false;
    // At once, so a filled table is never shown with rows too low for their addresses.
    m_RowHeights.stop();
    m_pView->resizeRowsToContents();
}

QList<int> ResultTable::chosenRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_pView->selectionModel()->selectedIndexes()) {
        if (!rows.contains(index.row()))
            rows << index.row();
    }
    if (rows.isEmpty() && m_pView->currentIndex().isValid())
        rows << m_pView->currentIndex().row();
    const QHeaderView* order = m_pView->verticalHeader();
    std::sort(rows.begin(), rows.end(),
        [order](int a, int b) { return order->visualIndex(a) < order->visualIndex(b); });
    return rows;
}

void ResultTable::copy(const QString& text, const QString& logLine)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    emit copied(logLine);
}

void ResultTable::copyAddresses()
{
    const QList<int> rows = chosenRows();
    if (rows.size() == 1) {
        copyAddress(rows.first());
        return;
    }
    QStringList addresses;
    for (int row : rows)
        addresses << m_pView->model()->index(row, addressColumn()).data().toString();
    if (!addresses.isEmpty()) {
        copy(addresses.join(QLatin1Char('\n')),
            QStringLiteral("Адреса скопированы в буфер обмена, по одному в строке (строк: %1)")
                .arg(rows.size()));
    }
}

void ResultTable::copyAddress(int row)
{
    const QModelIndex index = m_pView->model()->index(row, addressColumn());
    if (!index.isValid())
        return;
    const QString address = index.data().toString();
    copy(address, QStringLiteral("Адрес скопирован в буфер обмена: ") + address);
}

void ResultTable::copyRows()
{
    const QAbstractItemModel* model = m_pView->model();
    QStringList lines;
    QStringList shown;
    for (int row : chosenRows()) {
        // As velmora-tool search prints a row: every shown cell's text, separated by tabs.
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column) {
            if (!m_pView->isColumnHidden(column))
                cells << model->index(row, column).data().toString();
        }
        lines << cells.join(QLatin1Char('\t'));
        shown << cells.join(QStringLiteral(" | "));
    }
    if (lines.size() == 1) {
        copy(lines.first(),
            QStringLiteral("Строка скопирована в буфер обмена, ячейки через табуляцию: ") + shown.first());
    } else if (!lines.isEmpty()) {
        copy(lines.join(QLatin1Char('\n')),
            QStringLiteral("Строки скопированы в буфер обмена, ячейки через табуляцию (строк: %1)")
                .arg(lines.size()));
    }
}

QVariantMap ResultTable::columnWidths() const
{
    QVariantMap widths;
    for (auto it = m_UserWidths.cbegin(); it != m_UserWidths.cend(); ++it)
        widths.insert(it.key(), it.value());
    return widths;
}

void ResultTable::setColumnWidths(const QVariantMap& widths)
{
    m_UserWidths.clear();
    for (auto it = widths.cbegin(); it != widths.cend(); ++it) {
        bool ok = false;
        const int width = it.value().toInt(&ok);
        if (ok && width > 0)
            m_UserWidths.insert(it.key(), width);
    }
    measure();
    fit();
}

bool ResultTable::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pView->viewport()) {
        if (event->type() == QEvent::Resize)
            fit();
        else if (event->type() == QEvent::ToolTip)
            return showCellToolTip(event);
    } else if (watched == m_pView->horizontalHeader()->viewport()) {
        if (event->type() == QEvent::MouseButtonPress)
            m_bUserResizing = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            m_bUserResizing = false;
        else if (event->type() == QEvent::ToolTip)
            return showHeaderToolTip(event);
    }
    return QObject::eventFilter(watched, event);
}

bool ResultTable::showCellToolTip(QEvent* event)
{
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = m_pView->indexAt(help->pos());
    // The address is never cut; a cut cell shows its whole text.
    if (index.isValid() && index.column() != addressColumn()
        && cellWidth(index) > m_pView->columnWidth(index.column())) {
        QToolTip::showText(
            help->globalPos(), index.data().toString(), m_pView->viewport(), m_pView->visualRect(index));
    } else {
        QToolTip::hideText();
    }
    return true;
}

bool ResultTable::showHeaderToolTip(QEvent* event)
{
    const auto* help = static_cast<QHelpEvent*>(event);
    QHeaderView* header = m_pView->horizontalHeader();
    const int section = header->logicalIndexAt(help->pos());
    if (section >= 0 && header->sectionSizeHint(section) > header->sectionSize(section))
        QToolTip::showText(
            help->globalPos(), m_pView->model()->headerData(section, Qt::Horizontal).toString(), header);
    else
        QToolTip::hideText();
    return true;
}
