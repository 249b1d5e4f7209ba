// SPDX-License-Identifier: GPL-3.0-or-later
// The first distinct rows of statements run one after another: a row is dropped only when it
// equals, value for value, one already kept.

#include "distinctrowfetcher.h"

#include <QSqlDatabase>
#include <QtTest>

namespace {

const QString Connection = QStringLiteral("fetcher");

// "a|bc" for ('a', 'bc'); NULL as "NULL".
QStringList texts(const QVector<QSqlRecord>& rows)
{
    QStringList result;
    for (const QSqlRecord& row : rows) {
        QStringList cells;
        for (int c = 0; c < row.count(); ++c)
            cells << (row.value(c).isNull() ? QStringLiteral("NULL") : row.value(c).toString());
        result << cells.join(QLatin1Char('|'));
    }
    return result;
}

} // namespace

class TestDistinctRowFetcher : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void keepsEveryDistinctRowOnce_data();
    void keepsEveryDistinctRowOnce();
    void interruptedFetchKeepsNothing();
    void failingStatementIsReported();
};

void TestDistinctRowFetcher::initTestCase()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection);
    db.setDatabaseName(QStringLiteral(":memory:"));
    QVERIFY(db.open());
}

void TestDistinctRowFetcher::cleanupTestCase()
{
    QSqlDatabase::removeDatabase(Connection);
}

void TestDistinctRowFetcher::keepsEveryDistinctRowOnce_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("rows");

    // Values that join to the same text, NULL beside the empty text, a row repeated within a
    // statement and across them.
    QTest::newRow("all") << 100 << QStringList { "a|bc", "ab|c", "NULL|", "|NULL", "|", "NULL|NULL", "x|y" };
    QTest::newRow("stops at the limit") << 3 << QStringList { "a|bc", "ab|c", "NULL|" };
    QTest::newRow("limit within the second statement")
        << 7 << QStringList { "a|bc", "ab|c", "NULL|", "|NULL", "|", "NULL|NULL", "x|y" };
}

void TestDistinctRowFetcher::keepsEveryDistinctRowOnce()
{
    QFETCH(int, limit);
    QFETCH(QStringList, rows);

    DistinctRowFetcher fetcher(QSqlDatabase::database(Connection), limit);
    QVERIFY(fetcher.prepare({
        QStringLiteral("SELECT 'a' AS one, 'bc' AS two UNION ALL SELECT 'ab', 'c' UNION ALL SELECT NULL, '' "
                       "UNION ALL SELECT '', NULL UNION ALL SELECT '', '' UNION ALL SELECT 'a', 'bc' "
                       "UNION ALL SELECT NULL, NULL UNION ALL SELECT NULL, NULL"),
        QStringLiteral("SELECT 'ab', 'c' UNION ALL SELECT 'x', 'y' UNION ALL SELECT '', NULL"),
    }));
    QVERIFY(fetcher.fetch([] { return false; }));
    QVERIFY(!fetcher.lastError().isValid());
    QCOMPARE(texts(fetcher.rows()), rows);
    // Every row carries the first statement's column names.
    QCOMPARE(fetcher.columns().fieldName(1), QStringLiteral("two"));
    for (const QSqlRecord& row : fetcher.rows())
        QCOMPARE(row.fieldName(0), QStringLiteral("one"));
}

void TestDistinctRowFetcher::interruptedFetchKeepsNothing()
{
    DistinctRowFetcher fetcher(QSqlDatabase::database(Connection), 100);
    QVERIFY(fetcher.prepare({ QStringLiteral("SELECT 1 UNION ALL SELECT 2") }));
    int asked = 0;
    QVERIFY(!fetcher.fetch([&asked] { return ++asked > 2; }));
    QVERIFY(!fetcher.lastError().isValid());
}

void TestDistinctRowFetcher::failingStatementIsReported()
{
    DistinctRowFetcher fetcher(QSqlDatabase::database(Connection), 100);
    QVERIFY(!fetcher.prepare({ QStringLiteral("SELECT 1"), QStringLiteral("SELECT * FROM no_such_table") }));
    QVERIFY(fetcher.lastError().isValid());
    QVERIFY2(fetcher.lastError().text().contains(QStringLiteral("no_such_table")),
        qPrintable(fetcher.lastError().text()));
}

QTEST_GUILESS_MAIN(TestDistinctRowFetcher)
#include "tst_distinctrowfetcher.moc"
