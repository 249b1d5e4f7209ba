// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbfbuilder.h"

#include <qdbf/qdbftablemodel.h>

#include <QAbstractItemModelTester>
#include <QDate>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace QDbf;

namespace {

// N records "NAME C8, FLAG L1, DAY D8"; the records listed in deleted carry the '*' mark.
DbfBuilder numbered(int count, const QSet<int>& deleted = {})
{
    DbfBuilder b;
    b.field("NAME", 'C', 8).field("FLAG", 'L', 1).field("DAY", 'D', 8);
    for (int i = 0; i < count; ++i) {
        QByteArray r = deleted.contains(i) ? "*" : " ";
        r += QByteArray("r") + QByteArray::number(i);
        r = r.leftJustified(9, ' ');
        r += (i % 2) ? "T" : "F";
        r += "20240101";
        b.record(r);
    }
    return b;
}

} // namespace

class tst_QDbfTableModel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void metaObject();
    void batches_data();
    void batches();
    void deletedRowsSkipped();
    void fetchWholeTableUnderTester();
    void releaseRows();
    void emptyTable();
    void openFailures_data();
    void openFailures();
    void reopenStartsOver();
    void fetchOnChildIndex();
    void fetchFromRowsInsertedSlot();
    void cellData_data();
    void cellData();
    void flags_data();
    void flags();
    void headers();
    void editing();
    void editingRefused_data();
    void editingRefused();

private:
    QString write(const DbfBuilder& builder, const QString& name = QStringLiteral("t.dbf"));
    QTemporaryDir m_dir;
    QDbfTableModel* m_model = nullptr;
    QAbstractItemModelTester* m_tester = nullptr;
};

void tst_QDbfTableModel::init()
{
    QVERIFY(m_dir.isValid());
    m_model = new QDbfTableModel;
    m_tester = new QAbstractItemModelTester(m_model, QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void tst_QDbfTableModel::cleanup()
{
    delete m_tester;
    delete m_model;
}

QString tst_QDbfTableModel::write(const DbfBuilder& builder, const QString& name)
{
    const QString path = m_dir.filePath(name);
    if (!builder.write(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void tst_QDbfTableModel::metaObject()
{
    QCOMPARE(m_model->metaObject()->className(), "QDbf::QDbfTableModel");
    QCOMPARE(m_model->metaObject()->superClass(), &QAbstractTableModel::staticMetaObject);
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->columnCount(), 0);
    QCOMPARE(m_model->size(), -1);
    QVERIFY(!m_model->canFetchMore(QModelIndex()));
}

void tst_QDbfTableModel::batches_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<QList<int>>("deleted");
    QTest::addColumn<QList<int>>("rowsAfterEachFetch"); // first entry: after open

    QTest::newRow("600 records") << 600 << QList<int> {} << QList<int> { 255, 510, 600 };
    QTest::newRow("255 records") << 255 << QList<int> {} << QList<int> { 255 };
    QTest::newRow("256 records") << 256 << QList<int> {} << QList<int> { 255, 256 };
    // Deleted records are read past, not counted as rows: a batch still holds 255 rows.
    QTest::newRow("deleted in first batch")
        << 300 << QList<int> { 0, 10, 254, 255 } << QList<int> { 255, 296 };
    // The last fetch only counts the two deleted records and announces no rows.
    QTest::newRow("deleted at the very end") << 257 << QList<int> { 255, 256 } << QList<int> { 255, 255 };
    QTest::newRow("deleted after a full batch")
        << 300 << QList<int> { 255, 256, 257 } << QList<int> { 255, 297 };
}

void tst_QDbfTableModel::batches()
{
    QFETCH(int, records);
    QFETCH(QList<int>, deleted);
    QFETCH(QList<int>, rowsAfterEachFetch);

    // No model tester here: it fetches on its own and would spoil the batch counts.
    QDbfTableModel model;
    QDbfTableModel* m_model = &model;
    const QSet<int> deletedSet(deleted.cbegin(), deleted.cend());
    QVERIFY(m_model->open(write(numbered(records, deletedSet)), true));
    QCOMPARE(m_model->size(), records);
    QSignalSpy inserted(m_model, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < rowsAfterEachFetch.size(); ++i) {
        if (i > 0) {
            QVERIFY(m_model->canFetchMore(QModelIndex()));
            const int signalsBefore = inserted.count();
            m_model->fetchMore(QModelIndex());
            const int previous = rowsAfterEachFetch.at(i - 1);
            if (rowsAfterEachFetch.at(i) == previous) {
                QCOMPARE(inserted.count(), signalsBefore);
            } else {
                QCOMPARE(inserted.count(), signalsBefore + 1);
                QCOMPARE(inserted.last().at(1).toInt(), previous);
                QCOMPARE(inserted.last().at(2).toInt(), rowsAfterEachFetch.at(i) - 1);
            }
        }
        QCOMPARE(m_model->rowCount(), rowsAfterEachFetch.at(i));
    }
    QVERIFY(!m_model->canFetchMore(QModelIndex()));
    m_model->fetchMore(QModelIndex()); // nothing left: no change, no signal
    QCOMPARE(m_model->rowCount(), rowsAfterEachFetch.last());

    // Every row is the next record that is not deleted, in file order.
    int row = 0;
    for (int i = 0; i < records; ++i) {
        if (deletedSet.contains(i))
            continue;
        QCOMPARE(m_model->data(m_model->index(row, 0)).toString(), QStringLiteral("r%1").arg(i));
        ++row;
    }
    QCOMPARE(row, m_model->rowCount());
}

void tst_QDbfTableModel::deletedRowsSkipped()
{
    QVERIFY(m_model->open(write(numbered(10, { 3, 7 })), true));
    QCOMPARE(m_model->rowCount(), 8);
    QCOMPARE(m_model->size(), 10);
    QVERIFY(!m_model->canFetchMore(QModelIndex()));
    QCOMPARE(m_model->data(m_model->index(3, 0)).toString(), QStringLiteral("r4"));

    QVERIFY(m_model->open(write(numbered(4, { 0, 1, 2, 3 }), QStringLiteral("all.dbf")), true));
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->size(), 4);
    QVERIFY(!m_model->canFetchMore(QModelIndex()));
}

void tst_QDbfTableModel::fetchWholeTableUnderTester()
{
    QSet<int> deleted;
    for (int i = 0; i < 700; i += 3)
        deleted.insert(i);
    QVERIFY(m_model->open(write(numbered(700, deleted)), true));
    while (m_model->canFetchMore(QModelIndex()))
        m_model->fetchMore(QModelIndex());
    QCOMPARE(m_model->rowCount(), 700 - deleted.size());
    QCOMPARE(m_model->data(m_model->index(m_model->rowCount() - 1, 0)).toString(), QStringLiteral("r698"));
    QCOMPARE(m_model->rowCount(m_model->index(0, 0)), 0);
    QCOMPARE(m_model->columnCount(m_model->index(0, 0)), 0);
}

void tst_QDbfTableModel::releaseRows()
{
    QDbfTableModel model;
    QVERIFY(model.open(write(numbered(600)), true));
    model.releaseRows(100);
    QCOMPARE(model.rowCount(), 255);
    QVERIFY(!model.data(model.index(99, 0)).isValid());
    QCOMPARE(model.data(model.index(100, 0)).toString(), QStringLiteral("r100"));
    model.fetchMore(QModelIndex());
    QCOMPARE(model.rowCount(), 510);
    QCOMPARE(model.data(model.index(509, 0)).toString(), QStringLiteral("r509"));
    model.releaseRows(50); // already released
    QCOMPARE(model.data(model.index(100, 0)).toString(), QStringLiteral("r100"));
    model.releaseRows(1000); // no further than the rows there are
    QCOMPARE(model.rowCount(), 510);
    model.fetchMore(QModelIndex());
    QCOMPARE(model.rowCount(), 600);
    QCOMPARE(model.data(model.index(599, 0)).toString(), QStringLiteral("r599"));
    QVERIFY(!model.canFetchMore(QModelIndex()));
}

void tst_QDbfTableModel::emptyTable()
{
    QVERIFY(m_model->open(write(numbered(0)), false));
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->columnCount(), 3);
    QCOMPARE(m_model->size(), 0);
    QVERIFY(!m_model->canFetchMore(QModelIndex()));
    QVERIFY(!m_model->readOnly());
}

void tst_QDbfTableModel::openFailures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("error");

    QTest::newRow("missing file") << QByteArray() << int(QDbfTable::OpenError);
    QTest::newRow("not a table") << QByteArray("plain text, not a table\n") << int(QDbfTable::NoError);
}

void tst_QDbfTableModel::openFailures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, error);

    QVERIFY(m_model->open(write(numbered(3)), true));
    QCOMPARE(m_model->rowCount(), 3);
    const QString path = m_dir.filePath(QStringLiteral("bad.dbf"));
    if (!bytes.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QVERIFY(!m_model->open(path, true));
    QCOMPARE(int(m_model->error()), error);
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->columnCount(), 0);
    QVERIFY(!m_model->canFetchMore(QModelIndex()));
}

void tst_QDbfTableModel::reopenStartsOver()
{
    const QString path = write(numbered(300));
    QDbfTableModel model(path);
    QVERIFY(model.open(true));
    QVERIFY(model.readOnly());
    model.fetchMore(QModelIndex());
    QCOMPARE(model.rowCount(), 300);
    QVERIFY(model.setHeaderData(0, Qt::Horizontal, QStringLiteral("Имя")));
    QVERIFY(model.open(false));
    QVERIFY(!model.readOnly());
    QCOMPARE(model.rowCount(), 255);
    QVERIFY(model.canFetchMore(QModelIndex()));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("NAME"));
}

void tst_QDbfTableModel::fetchOnChildIndex()
{
    QDbfTableModel model; // without a tester, which would fetch on its own
    QDbfTableModel* m_model = &model;
    QVERIFY(m_model->open(write(numbered(300)), true));
    const QModelIndex child = m_model->index(0, 0);
    QVERIFY(!m_model->canFetchMore(child));
    m_model->fetchMore(child);
    QCOMPARE(m_model->rowCount(), 255);
    QVERIFY(m_model->canFetchMore(QModelIndex()));
}

void tst_QDbfTableModel::fetchFromRowsInsertedSlot()
{
    // A view that asks for more rows while a batch is being announced must not get a
    // second batch inside the first one.
    QDbfTableModel model;
    QVERIFY(model.open(write(numbered(800)), true));
    QList<QPair<int, int>> ranges;
    connect(&model, &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex&, int first, int last) {
        ranges.append({ first, last });
        if (model.canFetchMore(QModelIndex()))
            model.fetchMore(QModelIndex());
    });
    model.fetchMore(QModelIndex());
    QCOMPARE(ranges, (QList<QPair<int, int>> { { 255, 509 } }));
    QCOMPARE(model.rowCount(), 510);
    model.fetchMore(QModelIndex());
    QCOMPARE(model.rowCount(), 765);
    QCOMPARE(model.data(model.index(764, 0)).toString(), QStringLiteral("r764"));
}

void tst_QDbfTableModel::cellData_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("C display trimmed") << 0 << int(Qt::DisplayRole) << QVariant(QStringLiteral("Anna"));
    QTest::newRow("C edit trimmed") << 0 << int(Qt::EditRole) << QVariant(QStringLiteral("Anna"));
    QTest::newRow("C check state") << 0 << int(Qt::CheckStateRole) << QVariant();
    QTest::newRow("C tool tip") << 0 << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("L display") << 1 << int(Qt::DisplayRole) << QVariant(true);
    QTest::newRow("L check state") << 1 << int(Qt::CheckStateRole) << QVariant(2);
    QTest::newRow("L false check state") << 2 << int(Qt::CheckStateRole) << QVariant(0);
    QTest::newRow("D display") << 3 << int(Qt::DisplayRole) << QVariant(QDate(2024, 5, 17));
    QTest::newRow("N display") << 4 << int(Qt::DisplayRole) << QVariant(-1.5);
    QTest::newRow("M display") << 5 << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("column out of range") << 6 << int(Qt::DisplayRole) << QVariant();
}

void tst_QDbfTableModel::cellData()
{
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    DbfBuilder b;
    b.field("NAME", 'C', 8)
        .field("YES", 'L', 1)
        .field("NO", 'L', 1)
        .field("DAY", 'D', 8)
        .field("SUM", 'N', 6, 2)
        .field("MEMO", 'M', 4);
    b.record("   Anna  TF20240517 -1.500001");
    QVERIFY(m_model->open(write(b), true));
    const QVariant value = m_model->data(m_model->index(0, column), role);
    QCOMPARE(value.type(), expected.type());
    QCOMPARE(value, expected);
    QVERIFY(!m_model->data(m_model->index(1, 0), role).isValid());
    QVERIFY(!m_model->data(QModelIndex(), role).isValid());
}

void tst_QDbfTableModel::flags_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("flags");

    QTest::newRow("text, read-only") << true << 0 << 0x21;
    QTest::newRow("text, writable") << false << 0 << 0x23;
    QTest::newRow("logical, read-only") << true << 1 << 0x61;
    QTest::newRow("logical, writable") << false << 1 << 0x63;
}

void tst_QDbfTableModel::flags()
{
    QFETCH(bool, readOnly);
    QFETCH(int, column);
    QFETCH(int, flags);

    QVERIFY(m_model->open(write(numbered(2)), readOnly));
    QCOMPARE(int(m_model->flags(m_model->index(0, column))), flags);
    QCOMPARE(int(m_model->flags(QModelIndex())), 0);
}

void tst_QDbfTableModel::headers()
{
    QVERIFY(m_model->open(write(numbered(5)), true));
    QCOMPARE(m_model->headerData(0, Qt::Horizontal), QVariant(QStringLiteral("NAME")));
    QCOMPARE(m_model->headerData(2, Qt::Horizontal), QVariant(QStringLiteral("DAY")));
    QCOMPARE(m_model->headerData(3, Qt::Horizontal), QVariant(4)); // no such column
    QCOMPARE(m_model->headerData(4, Qt::Vertical), QVariant(5));
    QVERIFY(!m_model->headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    qRegisterMetaType<Qt::Orientation>();
    QSignalSpy changed(m_model, &QAbstractItemModel::headerDataChanged);
    // An edit-role header shows for the display role too, until a display one is set.
    QVERIFY(m_model->setHeaderData(1, Qt::Horizontal, QStringLiteral("Flag")));
    QCOMPARE(m_model->headerData(1, Qt::Horizontal), QVariant(QStringLiteral("Flag")));
    QVERIFY(m_model->setHeaderData(1, Qt::Horizontal, QStringLiteral("Shown"), Qt::DisplayRole));
    QCOMPARE(m_model->headerData(1, Qt::Horizontal), QVariant(QStringLiteral("Shown")));
    QCOMPARE(m_model->headerData(1, Qt::Horizontal, Qt::EditRole), QVariant(QStringLiteral("Flag")));
    QVERIFY(m_model->setHeaderData(0, Qt::Horizontal, QStringLiteral("tip"), Qt::ToolTipRole));
    QCOMPARE(m_model->headerData(0, Qt::Horizontal, Qt::ToolTipRole), QVariant(QStringLiteral("tip")));
    QCOMPARE(m_model->headerData(0, Qt::Horizontal), QVariant(QStringLiteral("NAME")));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.first().at(0).value<Qt::Orientation>(), Qt::Horizontal);
    QCOMPARE(changed.first().at(1).toInt(), 1);
    QCOMPARE(changed.first().at(2).toInt(), 1);

    QVERIFY(!m_model->setHeaderData(3, Qt::Horizontal, QStringLiteral("x")));
    QVERIFY(!m_model->setHeaderData(-1, Qt::Horizontal, QStringLiteral("x")));
    QVERIFY(!m_model->setHeaderData(0, Qt::Vertical, QStringLiteral("x")));
    QCOMPARE(changed.count(), 3);
}

void tst_QDbfTableModel::editing()
{
    const DbfBuilder b = numbered(3);
    const QString path = write(b);
    QByteArray expected = readAll(path);
    QVERIFY(m_model->open(path, false));

    QSignalSpy changed(m_model, &QAbstractItemModel::dataChanged);
    const QModelIndex cell = m_model->index(1, 0);
    // Cut to the field's 8 characters on the way to the file.
    QVERIFY(m_model->setData(cell, QStringLiteral("Alexandra"), Qt::EditRole));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex(), cell);
    QCOMPARE(m_model->data(cell).toString(), QStringLiteral("Alexandra"));
    QVERIFY(m_model->setData(m_model->index(1, 1), false, Qt::EditRole));
    expected.replace(b.headerLength() + b.recordLength() + 1, 9, "AlexandrF");
    QCOMPARE(readAll(path), expected);
    QCOMPARE(m_model->error(), QDbfTable::NoError);
}

void tst_QDbfTableModel::editingRefused_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("error");

    QTest::newRow("display role") << false << int(Qt::DisplayRole) << int(QDbfTable::NoError);
    QTest::newRow("check state role") << false << int(Qt::CheckStateRole) << int(QDbfTable::NoError);
    QTest::newRow("read-only") << true << int(Qt::EditRole) << int(QDbfTable::WriteError);
}

void tst_QDbfTableModel::editingRefused()
{
    QFETCH(bool, readOnly);
    QFETCH(int, role);
    QFETCH(int, error);

    const QString path = write(numbered(3));
    const QByteArray before = readAll(path);
    QVERIFY(m_model->open(path, readOnly));
    QSignalSpy changed(m_model, &QAbstractItemModel::dataChanged);
    const QModelIndex cell = m_model->index(0, 0);
    QVERIFY(!m_model->setData(cell, QStringLiteral("Zoya"), role));
    QCOMPARE(int(m_model->error()), error);
    QCOMPARE(m_model->data(cell).toString(), QStringLiteral("r0"));
    QVERIFY(!m_model->setData(QModelIndex(), QStringLiteral("Zoya"), Qt::EditRole));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(readAll(path), before);
}

QTEST_GUILESS_MAIN(tst_QDbfTableModel)
#include "tst_qdbftablemodel.moc"
