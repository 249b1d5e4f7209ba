// SPDX-License-Identifier: GPL-3.0-or-later
#include "tablemodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

class TestTableModel : public QObject {
    Q_OBJECT
private slots:
    void setDataRoles();
    void writingOneCellGrowsBothCounts();
    void fillFromModelCopiesDisplayValuesWithoutHeaders();
    void fillFromModelReplacesPreviousContents();
    void fillFromNullChangesNothing();
    void addColumnAppendsEmptyColumn();
    void setTableReplacesEverythingInOneReset();
    void setTableRefusesRaggedRows();
    void removeColumn_data();
    void removeColumn();
    void removeColumnOutOfRange_data();
    void removeColumnOutOfRange();
    void headers();
    void foreignOrNegativeIndexIsRefused();
    void removingTheOnlyColumn();
    void indexOfAnotherModelIsRefused_data();
    void indexOfAnotherModelIsRefused();
    void cellsBeyondRow32767_data();
    void cellsBeyondRow32767();
    void rowsAndColumnsStayBelow65536_data();
    void rowsAndColumnsStayBelow65536();
};

namespace {

// rows x columns source whose display text is "r,c" and whose headers are "H<c>".
QStandardItemModel* makeSource(int rows, int columns, QObject* parent)
{
    auto* source = new QStandardItemModel(rows, columns, parent);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            source->setItem(r, c, new QStandardItem(QStringLiteral("%1,%2").arg(r).arg(c)));
    for (int c = 0; c < columns; ++c)
        source->setHorizontalHeaderItem(c, new QStandardItem(QStringLiteral("H%1").arg(c)));
    return source;
}

// Reaches cells outside the current counts, as a writer of the model may.
class ProbeModel : public TableModel {
public:
    QModelIndex cell(int row, int column) const { return createIndex(row, column); }
};

} // namespace

void TestTableModel::setDataRoles()
{
    qRegisterMetaType<Qt::Orientation>();
    ProbeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.setData(model.cell(0, 0), QStringLiteral("seed"), Qt::EditRole));
    const QModelIndex cell = model.index(0, 0);

    QVERIFY(!model.setData(cell, QStringLiteral("display"), Qt::DisplayRole));
    QCOMPARE(model.data(cell, Qt::DisplayRole).toString(), QStringLiteral("seed"));

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(model.setData(cell, QStringLiteral("edit"), Qt::EditRole));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.data(cell, Qt::DisplayRole).toString(), QStringLiteral("edit"));
    QCOMPARE(model.data(cell, Qt::EditRole).toString(), QStringLiteral("edit"));

    // Other roles share one value per index and do not touch the cell text.
    QVERIFY(model.setData(cell, QStringLiteral("tip"), Qt::ForegroundRole));
    QCOMPARE(model.data(cell, Qt::ToolTipRole).toString(), QStringLiteral("tip"));
    QCOMPARE(model.data(cell, Qt::DisplayRole).toString(), QStringLiteral("edit"));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), 1);
    // Selectable, not editable in the view.
    QVERIFY(model.flags(cell).testFlag(Qt::ItemIsSelectable));
    QVERIFY(model.flags(cell).testFlag(Qt::ItemIsEnabled));
    QVERIFY(!model.flags(cell).testFlag(Qt::ItemIsEditable));
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
}

void TestTableModel::writingOneCellGrowsBothCounts()
{
    ProbeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(model.setData(model.cell(4, 2), QStringLiteral("x"), Qt::EditRole));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.data(model.index(4, 2)).toString(), QStringLiteral("x"));
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 3; ++c)
            if (r != 4 || c != 2)
                QVERIFY(!model.data(model.index(r, c)).isValid());
    // A negative row never reaches the store.
    QVERIFY(!model.setData(model.cell(-1, 0), QStringLiteral("y"), Qt::EditRole));
    QCOMPARE(model.rowCount(), 5);
}

void TestTableModel::fillFromModelCopiesDisplayValuesWithoutHeaders()
{
    TableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStandardItemModel* source = makeSource(3, 12, this);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.fillFromModel(source);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.columnCount(), 12);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 12; ++c) {
            const QString expected = QStringLiteral("%1,%2").arg(r).arg(c);
            QCOMPARE(model.data(model.index(r, c), Qt::DisplayRole).toString(), expected);
            QCOMPARE(model.data(model.index(r, c), Qt::EditRole).toString(), expected);
        }
    }
    QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(11, Qt::Horizontal).isValid());
}

void TestTableModel::fillFromModelReplacesPreviousContents()
{
    TableModel model;
    model.fillFromModel(makeSource(4, 5, this));
    model.setHeaderData(1, Qt::Horizontal, QStringLiteral("old"));
    model.fillFromModel(makeSource(2, 2, this));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 2);
    QVERIFY(!model.headerData(1, Qt::Horizontal).isValid());
    QCOMPARE(model.data(model.index(1, 1)).toString(), QStringLiteral("1,1"));

    // An empty source empties the model.
    QStandardItemModel empty;
    model.fillFromModel(&empty);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

void TestTableModel::fillFromNullChangesNothing()
{
    TableModel model;
    model.fillFromModel(makeSource(2, 3, this));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.fillFromModel(nullptr);
    QCOMPARE(reset.count(), 0);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 3);
}

void TestTableModel::addColumnAppendsEmptyColumn()
{
    TableModel model;
    model.fillFromModel(makeSource(3, 12, this));
    QVERIFY(model.addColumn());
    QCOMPARE(model.columnCount(), 13);
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(!model.data(model.index(2, 12)).isValid());
    QVERIFY(model.setData(model.index(2, 12), QStringLiteral("address"), Qt::EditRole));
    QCOMPARE(model.data(model.index(2, 12)).toString(), QStringLiteral("address"));
    QCOMPARE(model.columnCount(), 13);
}

void TestTableModel::setTableReplacesEverythingInOneReset()
{
    TableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.fillFromModel(makeSource(4, 6, this));
    model.setHeaderData(5, Qt::Horizontal, QStringLiteral("old"));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&model, &QAbstractItemModel::columnsRemoved);

    // A NULL cell stays NULL: the table shows the value the statement returned.
    const QVector<QVariant> headers { QStringLiteral("Индекс"), QVariant(), QStringLiteral("Адрес") };
    const QVector<QVector<QVariant>> rows {
        { QStringLiteral("101000"), QVariant(QVariant::String), QStringLiteral("a") },
        { QStringLiteral("102000"), QStringLiteral("x"), QStringLiteral("b") },
    };
    QVERIFY(model.setTable(headers, rows));
    QCOMPARE(reset.count(), 1);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Индекс"));
    QVERIFY(!model.headerData(1, Qt::Horizontal).isValid());
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Адрес"));
    QVERIFY(model.data(model.index(0, 1)).isNull());
    QCOMPARE(model.data(model.index(1, 2)).toString(), QStringLiteral("b"));
    // Nothing of the former, wider table is left behind.
    QVERIFY(!model.data(model.index(3, 5)).isValid());
    QVERIFY(model.headerData(5, Qt::Horizontal).toString() != QStringLiteral("old"));

    // No rows: the columns and their headers still stand.
    QVERIFY(model.setTable(headers, {}));
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Адрес"));
}

void TestTableModel::setTableRefusesRaggedRows()
{
    TableModel model;
    model.fillFromModel(makeSource(2, 2, this));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QVERIFY(!model.setTable({ QStringLiteral("A"), QStringLiteral("B") },
        { { QStringLiteral("1"), QStringLiteral("2") }, { QStringLiteral("3") } }));
    QCOMPARE(reset.count(), 0);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(1, 1)).toString(), QStringLiteral("1,1"));
}

void TestTableModel::removeColumn_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<QStringList>("row1");
    QTest::newRow("first") << 0 << QStringList { "B", "C" } << QStringList { "1,1", "1,2" };
    QTest::newRow("middle") << 1 << QStringList { "A", "C" } << QStringList { "1,0", "1,2" };
    QTest::newRow("last") << 2 << QStringList { "A", "B" } << QStringList { "1,0", "1,1" };
}

void TestTableModel::removeColumn()
{
    QFETCH(int, column);
    QFETCH(QStringList, headers);
    QFETCH(QStringList, row1);

    TableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.fillFromModel(makeSource(2, 3, this));
    const QStringList names { "A", "B", "C" };
    for (int c = 0; c < 3; ++c)
        model.setHeaderData(c, Qt::Horizontal, names.at(c));

    QSignalSpy headerChanged(&model, &QAbstractItemModel::headerDataChanged);
    QVERIFY(model.removeColumn(column));
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(headerChanged.count(), 1);
    QCOMPARE(headerChanged.at(0).at(1).toInt(), 0);
    QCOMPARE(headerChanged.at(0).at(2).toInt(), 1);
    for (int c = 0; c < 2; ++c) {
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), headers.at(c));
        QCOMPARE(model.data(model.index(1, c)).toString(), row1.at(c));
    }
}

void TestTableModel::removeColumnOutOfRange_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("negative") << -1;
    QTest::newRow("one past the end") << 3;
}

void TestTableModel::removeColumnOutOfRange()
{
    QFETCH(int, column);
    TableModel model;
    model.fillFromModel(makeSource(2, 3, this));
    model.setHeaderData(2, Qt::Horizontal, QStringLiteral("C"));
    QVERIFY(!model.removeColumn(column));
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("C"));
    QCOMPARE(model.data(model.index(1, 2)).toString(), QStringLiteral("1,2"));
}

void TestTableModel::headers()
{
    TableModel model;
    model.fillFromModel(makeSource(5, 2, this));
    // Stored horizontal headers, invalid when unset; vertical sections count from 1.
    QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
    QCOMPARE(model.headerData(4, Qt::Vertical).toInt(), 5);
    QVERIFY(model.setHeaderData(1, Qt::Horizontal, QStringLiteral("Индекс"), Qt::EditRole));
    QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Индекс"));
    // Beyond the columns, or vertical: the base class stores nothing.
    QVERIFY(!model.setHeaderData(2, Qt::Horizontal, QStringLiteral("x")));
    QVERIFY(!model.setHeaderData(0, Qt::Vertical, QStringLiteral("x")));
    QCOMPARE(model.headerData(0, Qt::Vertical).toInt(), 1);
}

void TestTableModel::foreignOrNegativeIndexIsRefused()
{
    TableModel model;
    QVERIFY(!model.setData(QModelIndex(), QStringLiteral("x"), Qt::EditRole));
    QVERIFY(!model.data(QModelIndex()).isValid());
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

void TestTableModel::removingTheOnlyColumn()
{
    qRegisterMetaType<Qt::Orientation>();
    TableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.fillFromModel(makeSource(2, 1, this));
    model.setHeaderData(0, Qt::Horizontal, QStringLiteral("A"));
    QSignalSpy headerChanged(&model, &QAbstractItemModel::headerDataChanged);
    QVERIFY(model.removeColumn(0));
    QCOMPARE(model.columnCount(), 0);
    QCOMPARE(model.rowCount(), 2);
    // No section is left whose header could have changed.
    QCOMPARE(headerChanged.count(), 0);
    QVERIFY(!model.removeColumn(0));
}

void TestTableModel::indexOfAnotherModelIsRefused_data()
{
    QTest::addColumn<int>("role");
    QTest::newRow("edit role") << int(Qt::EditRole);
    QTest::newRow("another role") << int(Qt::ToolTipRole);
}

void TestTableModel::indexOfAnotherModelIsRefused()
{
    QFETCH(int, role);
    ProbeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.setData(model.cell(2, 1), QStringLiteral("own"), Qt::EditRole));
    QStandardItemModel other(50, 3);
    other.setData(other.index(1, 1), QStringLiteral("theirs"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(!model.setData(other.index(40, 2), QStringLiteral("x"), role));
    QVERIFY(!model.setData(other.index(1, 1), QStringLiteral("x"), role));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.data(model.index(1, 1), role), QVariant());
    QCOMPARE(model.data(model.index(2, 1)).toString(), QStringLiteral("own"));
    // Reading through another model's index gives nothing either.
    QVERIFY(!model.data(other.index(2, 1)).isValid());
}

void TestTableModel::cellsBeyondRow32767_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("32767") << 32767;
    QTest::newRow("32768") << 32768;
    QTest::newRow("65535") << 65535;
}

void TestTableModel::cellsBeyondRow32767()
{
    QFETCH(int, row);
    ProbeModel model;
    QVERIFY(model.setData(model.cell(0, 0), QStringLiteral("first"), Qt::EditRole));
    QVERIFY(model.setData(model.cell(row, 0), QStringLiteral("a"), Qt::EditRole));
    QVERIFY(model.setData(model.cell(row, 1), QStringLiteral("b"), Qt::EditRole));
    QCOMPARE(model.rowCount(), row + 1);
    QCOMPARE(model.data(model.index(row, 0)).toString(), QStringLiteral("a"));
    QCOMPARE(model.data(model.index(row, 1)).toString(), QStringLiteral("b"));
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("first"));
    QVERIFY(!model.data(model.index(row - 1, 0)).isValid());

    // Removing a column moves every cell through its key.
    QVERIFY(model.removeColumn(0));
    QCOMPARE(model.data(model.index(row, 0)).toString(), QStringLiteral("b"));
    QVERIFY(!model.data(model.index(0, 0)).isValid());
}

void TestTableModel::rowsAndColumnsStayBelow65536_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("row 65536") << 65536 << 0;
    QTest::newRow("row 65537, column 1") << 65537 << 1;
    QTest::newRow("column 65536") << 0 << 65536;
    QTest::newRow("largest int") << INT_MAX << INT_MAX;
}

void TestTableModel::rowsAndColumnsStayBelow65536()
{
    QFETCH(int, row);
    QFETCH(int, column);
    ProbeModel model;
    QVERIFY(model.setData(model.cell(0, 0), QStringLiteral("a"), Qt::EditRole));
    QVERIFY(model.setData(model.cell(1, 0), QStringLiteral("b"), Qt::EditRole));
    // Beyond the keys' range a cell would overwrite another one; it is refused instead.
    QVERIFY(!model.setData(model.cell(row, column), QStringLiteral("x"), Qt::EditRole));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 1);
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("a"));
    QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("b"));
}

QTEST_GUILESS_MAIN(TestTableModel)
#include "tst_tablemodel.moc"
