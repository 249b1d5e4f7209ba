// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqliteinsert.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>

// The import's insert path: values must arrive exactly as they stand, never as NULL, and a
// failure must come back with SQLite's reason.
class TestSqliteInsert : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_Dir;
    QSqlDatabase m_Db;

private slots:
    void init()
    {
        m_Db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("insert"));
        m_Db.setDatabaseName(m_Dir.filePath(QStringLiteral("t.sqlite")));
        QVERIFY(m_Db.open());
        QSqlQuery query(m_Db);
        QVERIFY(query.exec(QStringLiteral("DROP TABLE IF EXISTS t")));
        QVERIFY(query.exec(QStringLiteral("CREATE TABLE t (a VARCHAR(40) UNIQUE, b VARCHAR(10))")));
    }

    void cleanup()
    {
        m_Db.close();
        m_Db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("insert"));
    }

    void valuesArriveAsTheyStand_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QStringLiteral("");
        QTest::newRow("null string") << QString();
        QTest::newRow("apostrophe") << QStringLiteral("Д'Арк");
        QTest::newRow("quotes and statement") << QStringLiteral("\"x\"'); DROP TABLE t; --");
        QTest::newRow("Cyrillic with ё") << QStringLiteral("Ёлкино-Берёзовое");
        QTest::newRow("three-byte UTF-8") << QStringLiteral("№ 5 €");
        QTest::newRow("outside the BMP") << QString::fromUcs4(U"𝄞 clef");
        QTest::newRow("embedded zero") << QString(QStringLiteral("a\0b"));
    }

    void valuesArriveAsTheyStand()
    {
        QFETCH(QString, value);
        SqliteInsert insert(m_Db, "INSERT INTO t (a, b) VALUES(?, ?)");
        QVERIFY(insert.isValid());
        insert.addValue(value);
        insert.addValue(QStringLiteral("second"));
        QVERIFY2(insert.exec(), qPrintable(insert.errorText()));
        // The statement is reusable with new values.
        insert.addValue(QStringLiteral("next"));
        insert.addValue(QStringView(QStringLiteral("abcdef")).mid(2, 2));
        QVERIFY(insert.exec());

        QSqlQuery query(m_Db);
        QVERIFY(query.exec(QStringLiteral("SELECT a, typeof(a), b FROM t ORDER BY rowid")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), value.isNull() ? QStringLiteral("") : value);
        QCOMPARE(query.value(1).toString(), QStringLiteral("text"));
        QCOMPARE(query.value(2).toString(), QStringLiteral("second"));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("next"));
        QCOMPARE(query.value(2).toString(), QStringLiteral("cd"));
        QVERIFY(!query.next());
    }

    void failureNamesTheReasonAndRecovers()
    {
        SqliteInsert insert(m_Db, "INSERT INTO t (a, b) VALUES(?, ?)");
        insert.addValue(QStringLiteral("same"));
        insert.addValue(QStringLiteral("1"));
        QVERIFY(insert.exec());
        insert.addValue(QStringLiteral("same"));
        insert.addValue(QStringLiteral("2"));
        QVERIFY(!insert.exec());
        QVERIFY2(insert.errorText().contains(QStringLiteral("UNIQUE")), qPrintable(insert.errorText()));
        insert.addValue(QStringLiteral("other"));
        insert.addValue(QStringLiteral("3"));
        QVERIFY(insert.exec());
        QSqlQuery query(m_Db);
        QVERIFY(query.exec(QStringLiteral("SELECT group_concat(b) FROM t")) && query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("1,3"));
    }

    void badStatementOrClosedConnection()
    {
        SqliteInsert wrong(m_Db, "INSERT INTO missing VALUES(?)");
        QVERIFY(!wrong.isValid());
        QVERIFY2(wrong.errorText().contains(QStringLiteral("no such table")), qPrintable(wrong.errorText()));
        wrong.addValue(QStringLiteral("x"));
        QVERIFY(!wrong.exec());

        m_Db.close();
        SqliteInsert closed(m_Db, "INSERT INTO t (a) VALUES(?)");
        QVERIFY(!closed.isValid());
        QVERIFY(!closed.errorText().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSqliteInsert)
#include "tst_sqliteinsert.moc"
