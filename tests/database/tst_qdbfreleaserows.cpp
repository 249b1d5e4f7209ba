// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbfwriter.h"

#include <qdbf/qdbftablemodel.h>

#include <QTemporaryDir>
#include <QTest>

// QDbfTableModel::releaseRows, which the import uses to keep its memory flat.
class TestQDbfReleaseRows : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_Dir;
    QString m_Path;

    static QString cell(const QDbf::QDbfTableModel& model, int row, int column = 0)
    {
        return model.data(model.index(row, column)).toString();
    }

    static void fetchAll(QDbf::QDbfTableModel& model)
    {
        while (model.canFetchMore(QModelIndex()))
            model.fetchMore(QModelIndex());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_Dir.isValid());
        m_Path = m_Dir.filePath(QStringLiteral("ROWS.DBF"));
        DbfWriter writer;
        QVERIFY(writer.open(m_Path, { { "NAME", 10 }, { "N", 5 } }));
        // 600 records; every 100th (0, 100, …) is deleted, so row r holds record r + r / 99 + 1.
        for (int i = 0; i < 600; ++i)
            writer.append({ QStringLiteral("r%1").arg(i), QString::number(i) }, i % 100 == 0);
        QVERIFY(writer.close());
    }

    void releasedRowsReadInvalidOthersUnchanged_data()
    {
        QTest::addColumn<int>("release");
        QTest::addColumn<int>("firstKept");
        QTest::newRow("nothing") << 0 << 0;
        QTest::newRow("negative") << -5 << 0;
        QTest::newRow("some") << 300 << 300;
        QTest::newRow("all") << 594 << 594;
        QTest::newRow("beyond the rows") << 10000 << 594;
    }

    void releasedRowsReadInvalidOthersUnchanged()
    {
        QFETCH(int, release);
        QFETCH(int, firstKept);
        QDbf::QDbfTableModel model;
        QVERIFY(model.open(m_Path, true));
        fetchAll(model);
        QCOMPARE(model.rowCount(), 594);
        QStringList before;
        for (int r = 0; r < model.rowCount(); ++r)
            before << cell(model, r);

        model.releaseRows(release);
        QCOMPARE(model.rowCount(), 594);
        QVERIFY(!model.canFetchMore(QModelIndex()));
        for (int r = 0; r < model.rowCount(); ++r) {
            if (r < firstKept)
                QVERIFY(!model.data(model.index(r, 0)).isValid());
            else
                QCOMPARE(cell(model, r), before.at(r));
        }
    }

    void fetchingGoesOnAfterRelease()
    {
        QDbf::QDbfTableModel model;
        QVERIFY(model.open(m_Path, true));
        QCOMPARE(model.rowCount(), 255);
        model.releaseRows(255);
        model.fetchMore(QModelIndex());
        QCOMPARE(model.rowCount(), 510);
        QVERIFY(!model.data(model.index(254, 0)).isValid());
        // Row 255 follows record 255 and the three deleted ones before it.
        QCOMPARE(cell(model, 255), QStringLiteral("r258"));
        QCOMPARE(cell(model, 255, 1), QStringLiteral("258"));
        model.releaseRows(400);
        fetchAll(model);
        QCOMPARE(model.rowCount(), 594);
        QCOMPARE(cell(model, 400), QStringLiteral("r405"));
        QCOMPARE(cell(model, 593), QStringLiteral("r599"));
        // Releasing less than before changes nothing.
        model.releaseRows(100);
        QVERIFY(!model.data(model.index(399, 0)).isValid());
        QCOMPARE(cell(model, 400), QStringLiteral("r405"));
    }

    void releasedRowsCannotBeEdited()
    {
        QDbf::QDbfTableModel model;
        QVERIFY(model.open(m_Path, false));
        model.releaseRows(10);
        QVERIFY(!model.setData(model.index(5, 0), QStringLiteral("x"), Qt::EditRole));
        QVERIFY(model.setData(model.index(10, 0), QStringLiteral("edited"), Qt::EditRole));
        QCOMPARE(cell(model, 10), QStringLiteral("edited"));
        QVERIFY(model.setData(model.index(10, 0), QStringLiteral("r11"), Qt::EditRole));
    }

    void reopenBringsRowsBack()
    {
        QDbf::QDbfTableModel model;
        QVERIFY(model.open(m_Path, true));
        model.releaseRows(200);
        QVERIFY(model.open(true));
        QCOMPARE(model.rowCount(), 255);
        QCOMPARE(cell(model, 0), QStringLiteral("r1"));
    }
};

QTEST_GUILESS_MAIN(TestQDbfReleaseRows)
#include "tst_qdbfreleaserows.moc"
