// SPDX-License-Identifier: GPL-3.0-or-later
#include "importfixture.h"
#include "importpipeline.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using Fixture::Rows;
using KladrSample::Table;

namespace {
bool openFile(ImportPipeline& pipeline, const QString& path)
{
    const QFileInfo file(path);
    QString error;
    return pipeline.open(ClassifierSource::from(file.absolutePath()), file.fileName(), &error);
}
} // namespace

// The import's read-ahead: blocks read and mapped in the reading thread arrive whole, in file
// order, with the block edges of the import's transactions; stopping early never hangs.
class TestImportPipeline : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_Dir;

    // DOMA's step: five values per row, the first the record's name.
    static const TableStep& doma() { return tableSteps()[2]; }

    QString writeDoma(int nRecords, const QList<int>& deleted)
    {
        Rows rows;
        QList<bool> marks;
        for (int i = 0; i < nRecords; ++i) {
            rows << QStringList { QString::number(i), "", "ДОМ", QStringLiteral("7700000000000010001"),
                "125009" };
            marks << deleted.contains(i);
        }
        const QString path = m_Dir.filePath(QStringLiteral("DOMA.DBF"));
        return Fixture::writeTable(path, Table::Doma, rows, marks) ? path : QString();
    }

private slots:
    void blocksInFileOrder_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QList<int>>("deleted");
        QTest::addColumn<QList<int>>("blockRows");
        QTest::newRow("empty file: one empty block") << 0 << QList<int>() << QList<int> { 0 };
        QTest::newRow("25000 records") << 25000 << QList<int>() << QList<int> { 10200, 10200, 4600 };
        QTest::newRow("deleted ones skipped, not counted")
            << 20410 << QList<int> { 0, 5000, 10200, 20409 } << QList<int> { 10200, 10200, 6 };
        // The reader stops at a full block; records left over, all deleted, still make a block.
        QTest::newRow("deleted tail after a full block")
            << 10203 << QList<int> { 10200, 10201, 10202 } << QList<int> { 10200, 0 };
    }

    void blocksInFileOrder()
    {
        QFETCH(int, records);
        QFETCH(QList<int>, deleted);
        QFETCH(QList<int>, blockRows);
        const QString path = writeDoma(records, deleted);
        QVERIFY(!path.isEmpty());

        ImportPipeline pipeline(doma(), TypeNames());
        QVERIFY(openFile(pipeline, path));
        QCOMPARE(pipeline.size(), records);
        QList<int> sizes;
        int expectedRow = 0;
        int record = 0;
        SourceBlock block;
        while (pipeline.next(block)) {
            sizes << int(block.rows.size());
            QCOMPARE(block.values.count(), block.rows.size() * 5);
            for (size_t i = 0; i < block.rows.size(); ++i) {
                QCOMPARE(block.rows[i].row, expectedRow++);
                while (deleted.contains(record))
                    ++record;
                // The values are the step's mapping of the live record, in order.
                const QByteArray name(block.values.data(i * 5), block.values.size(i * 5));
                QCOMPARE(name, QByteArray::number(record++));
                QCOMPARE(QByteArray(block.values.data(i * 5 + 2), block.values.size(i * 5 + 2)),
                    QByteArray("770000000000001"));
            }
        }
        QCOMPARE(sizes, blockRows);
        QCOMPARE(pipeline.finish(), blockRows.size());
    }

    void fileThatDoesNotOpen()
    {
        ImportPipeline pipeline(doma(), TypeNames());
        QVERIFY(!openFile(pipeline, m_Dir.filePath(QStringLiteral("missing.DBF"))));
        SourceBlock block;
        QVERIFY(!pipeline.next(block));
        QCOMPARE(pipeline.finish(), 0);
    }

    // The inserting side gives up after one block, or before any, while the reader waits
    // with a full queue: finishing stops it and returns.
    void finishWhileTheReaderWaits_data()
    {
        QTest::addColumn<int>("taken");
        QTest::newRow("none taken") << 0;
        QTest::newRow("one taken") << 1;
    }

    void finishWhileTheReaderWaits()
    {
        QFETCH(int, taken);
        const QString path = writeDoma(60000, {});
        QVERIFY(!path.isEmpty());
        ImportPipeline pipeline(doma(), TypeNames());
        QVERIFY(openFile(pipeline, path));
        SourceBlock block;
        for (int i = 0; i < taken; ++i)
            QVERIFY(pipeline.next(block));
        const int blocks = pipeline.finish();
        QVERIFY(blocks >= taken);
        QVERIFY(blocks < 6);
        QVERIFY(!pipeline.next(block));
    }
};

QTEST_GUILESS_MAIN(TestImportPipeline)
#include "tst_importpipeline.moc"
