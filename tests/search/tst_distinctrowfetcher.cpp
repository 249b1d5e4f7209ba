// SPDX-License-Identifier: GPL-3.0-or-later
// The first distinct rows of statements run one after another: a row is dropped only when it
// equals, value for value, one already kept.

#include "distinctrowfetcher.h"
#include "sqlitehandle.h"
#include "statementcache.h"

#include <QSqlDatabase>
#include <QSqlField>
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
    void interruptedFetchKeepsNothing_data();
    void interruptedFetchKeepsNothing();
    void failingStatementIsReported_data();
    void failingStatementIsReported();
    void directRowsAreQtsRows();
    void keptStatementServesOtherValues();

private:
    // Every case runs through Qt's driver (no handle) and through SQLite directly.
    static void addPaths();
    sqlite3* handle() const;

    sqlite3* m_pHandle = nullptr;
};

void TestDistinctRowFetcher::initTestCase()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection);
    db.setDatabaseName(QStringLiteral(":memory:"));
    m_pHandle = SqliteHandle::open(db);
    QVERIFY(db.isOpen());
    // Debian's Qt driver uses the system's SQLite: the direct path is the one the search takes.
    QVERIFY(m_pHandle);
}

void TestDistinctRowFetcher::addPaths()
{
    QTest::addColumn<bool>("direct");
}

sqlite3* TestDistinctRowFetcher::handle() const
{
    QFETCH(bool, direct);
    return direct ? m_pHandle : nullptr;
}

void TestDistinctRowFetcher::cleanupTestCase()
{
    QSqlDatabase::removeDatabase(Connection);
}

void TestDistinctRowFetcher::keepsEveryDistinctRowOnce_data()
{
    addPaths();
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("rows");

    // Values that join to the same text, NULL beside the empty text, a row repeated within a
    // statement and across them.
    for (const bool direct : { false, true }) {
        const char* path = direct ? "direct: " : "Qt: ";
        QTest::addRow("%sall", path) << direct << 100
                                     << QStringList { "a|bc", "ab|c", "NULL|", "|NULL", "|", "NULL|NULL",
                                            "x|y" };
        QTest::addRow("%sstops at the limit", path) << direct << 3 << QStringList { "a|bc", "ab|c", "NULL|" };
        QTest::addRow("%slimit within the second statement", path)
            << direct << 7 << QStringList { "a|bc", "ab|c", "NULL|", "|NULL", "|", "NULL|NULL", "x|y" };
    }
}

void TestDistinctRowFetcher::keepsEveryDistinctRowOnce()
{
    QFETCH(int, limit);
    QFETCH(QStringList, rows);

    DistinctRowFetcher fetcher(
        QSqlDatabase::database(Connection), limit, DistinctRowFetcher::DistinctRows, handle());
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

void TestDistinctRowFetcher::interruptedFetchKeepsNothing_data()
{
    addPaths();
    QTest::newRow("Qt") << false;
    QTest::newRow("direct") << true;
}

void TestDistinctRowFetcher::interruptedFetchKeepsNothing()
{
    DistinctRowFetcher fetcher(
        QSqlDatabase::database(Connection), 100, DistinctRowFetcher::DistinctRows, handle());
    QVERIFY(fetcher.prepare({ QStringLiteral("SELECT 1 UNION ALL SELECT 2") }));
    int asked = 0;
    QVERIFY(!fetcher.fetch([&asked] { return ++asked > 2; }));
    QVERIFY(!fetcher.lastError().isValid());
}

void TestDistinctRowFetcher::failingStatementIsReported_data()
{
    addPaths();
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("message");
    // One that does not compile, one that fails at its first row, one after a row.
    for (const bool direct : { false, true }) {
        const char* path = direct ? "direct: " : "Qt: ";
        QTest::addRow("%sno table", path) << direct << "SELECT * FROM no_such_table"
                                          << "no such table: no_such_table Unable to execute statement";
        QTest::addRow("%sfirst row", path) << direct << "SELECT abs(-9223372036854775807 - 1)"
                                           << "integer overflow Unable to fetch row";
        QTest::addRow("%slater row", path)
            << direct << "SELECT abs(x) FROM (SELECT 1 AS x UNION ALL SELECT -9223372036854775807 - 1)"
            << "integer overflow Unable to fetch row";
    }
}

void TestDistinctRowFetcher::failingStatementIsReported()
{
    QFETCH(QString, statement);
    QFETCH(QString, message);
    DistinctRowFetcher fetcher(
        QSqlDatabase::database(Connection), 100, DistinctRowFetcher::DistinctRows, handle());
    if (fetcher.prepare({ QStringLiteral("SELECT 1"), statement }))
        QVERIFY(!fetcher.fetch([] { return false; }));
    // The same words either way: the status log shows them.
    QCOMPARE(fetcher.lastError().text(), message);
}

void TestDistinctRowFetcher::directRowsAreQtsRows()
{
    // Every kind of value, and texts repeated from one row to the next (the direct rows share
    // their strings), read both ways.
    const QString statement = QStringLiteral(
        "SELECT 'a' AS t, 1 AS i, 1.5 AS r, NULL AS n, x'00ff' AS b, '' AS e UNION ALL "
        "SELECT 'a', 2, 2.5, 'ы', x'', 'a' UNION ALL SELECT 'a', NULL, NULL, 'ы', NULL, NULL UNION ALL "
        "SELECT 'б', 3, 0.0, '', x'01', ''");
    QVector<QVector<QSqlRecord>> found;
    for (sqlite3* direct : { static_cast<sqlite3*>(nullptr), m_pHandle }) {
        DistinctRowFetcher fetcher(
            QSqlDatabase::database(Connection), 100, DistinctRowFetcher::AllRows, direct);
        QVERIFY(fetcher.prepare({ statement }));
        QVERIFY(fetcher.fetch([] { return false; }));
        found << fetcher.rows();
    }
    QCOMPARE(found.at(1).size(), 4);
    for (int row = 0; row < found.at(0).size(); ++row) {
        for (int column = 0; column < found.at(0).at(row).count(); ++column) {
            const QVariant qt = found.at(0).at(row).value(column);
            const QVariant direct = found.at(1).at(row).value(column);
            const QByteArray where = QByteArray::number(row) + ':' + QByteArray::number(column);
            QVERIFY2(qt.userType() == direct.userType(), where.constData());
            QVERIFY2(qt.isNull() == direct.isNull(), where.constData());
            QVERIFY2(qt == direct, where.constData());
            QCOMPARE(found.at(1).at(row).fieldName(column), found.at(0).at(row).fieldName(column));
        }
    }
}

void TestDistinctRowFetcher::keptStatementServesOtherValues()
{
    // Statements that differ only in their literals are one kept statement, each run with its
    // own values; one listed twice is still read twice over, its rows once.
    StatementCache cache;
    cache.setDatabase(QSqlDatabase::database(Connection), m_pHandle);
    const QList<QPair<QStringList, QStringList>> runs {
        { { "SELECT 'a' AS x UNION ALL SELECT 'b''c'" }, { "a", "b'c" } },
        { { "SELECT 'd' AS x UNION ALL SELECT ''" }, { "d", "" } },
        { { "SELECT 'e' AS x UNION ALL SELECT 'f'", "SELECT 'e' AS x UNION ALL SELECT 'f'" }, { "e", "f" } },
    };
    for (const auto& run : runs) {
        DistinctRowFetcher fetcher(
            QSqlDatabase::database(Connection), 100, DistinctRowFetcher::DistinctRows, m_pHandle, &cache);
        QVERIFY(fetcher.prepare(run.first));
        QVERIFY(fetcher.fetch([] { return false; }));
        QCOMPARE(texts(fetcher.rows()), run.second);
    }
    QCOMPARE(cache.size(), 1);
    // A statement without rows: a COMMIT outside a transaction fails, and is not kept.
    QVERIFY(cache.execute("BEGIN"));
    QVERIFY(cache.execute("COMMIT"));
    QVERIFY(!cache.execute("COMMIT"));
    QCOMPARE(cache.size(), 2);
    cache.clear();
}

QTEST_GUILESS_MAIN(TestDistinctRowFetcher)
#include "tst_distinctrowfetcher.moc"
