// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqlitehandle.h"
#include "sqliteinsert.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>

#include <sqlite3.h>

// The import's insert path, straight on the connection's handle and through Qt's prepared
// query: values must arrive exactly as they stand, never as NULL, and a failure must come
// back with SQLite's reason and result code.
class TestSqliteInsert : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_Dir;
    QSqlDatabase m_Db;
    sqlite3* m_pHandle = nullptr;

    QString path() const { return m_Dir.filePath(QStringLiteral("t.sqlite")); }

    static void addPaths()
    {
        QTest::addColumn<bool>("direct");
        QTest::newRow("direct") << true;
        QTest::newRow("Qt") << false;
    }

    sqlite3* handleFor(bool bDirect) const { return bDirect ? m_pHandle : nullptr; }

private slots:
    void init()
    {
        m_Db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("insert"));
        m_Db.setDatabaseName(path());
        m_pHandle = SqliteHandle::open(m_Db);
        QVERIFY(m_Db.isOpen());
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

    // On this system Qt's plug-in uses the system library the build links: the handle is
    // recognised, and the linked library works on it.
    void driverHandleOfTheLinkedLibrary()
    {
        if (!m_pHandle)
            QSKIP("Qt's SQLite driver does not use the SQLite library linked here");
        const QVariant handle = m_Db.driver()->handle();
        QCOMPARE(*static_cast<sqlite3* const*>(handle.constData()), m_pHandle);
        QCOMPARE(
            QString::fromUtf8(sqlite3_db_filename(m_pHandle, "main")), QFileInfo(path()).canonicalFilePath());
    }

    void connectionThatDoesNotOpen()
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("missing"));
        db.setDatabaseName(m_Dir.filePath(QStringLiteral("no/such/dir/t.sqlite")));
        QCOMPARE(SqliteHandle::open(db), nullptr);
        QVERIFY(!db.isOpen());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("missing"));
    }

    void valuesArriveAsTheyStand_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<QString>("value");
        const QList<QPair<const char*, QString>> values = {
            { "empty", QStringLiteral("") },
            { "null string", QString() },
            { "apostrophe", QStringLiteral("Д'Арк") },
            { "quotes and statement", QStringLiteral("\"x\"'); DROP TABLE t; --") },
            { "Cyrillic with ё", QStringLiteral("Ёлкино-Берёзовое") },
            { "three-byte UTF-8", QStringLiteral("№ 5 €") },
            { "outside the BMP", QString::fromUcs4(U"𝄞 clef") },
            { "embedded zero", QString(QStringLiteral("a\0b")) },
        };
        for (const bool direct : { true, false }) {
            for (const auto& [name, value] : values)
                QTest::addRow("%s, %s", direct ? "direct" : "Qt", name) << direct << value;
        }
    }

    void valuesArriveAsTheyStand()
    {
        QFETCH(bool, direct);
        if (direct && !m_pHandle)
            QSKIP("Qt's SQLite driver does not use the SQLite library linked here");
        QFETCH(QString, value);
        SqliteInsert insert(m_Db, handleFor(direct), "INSERT INTO t (a, b) VALUES(?, ?)");
        QVERIFY(insert.isValid());
        QCOMPARE(insert.isDirect(), direct);
        QCOMPARE(insert.parameterCount(), 2);
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

    void failureNamesTheReasonAndRecovers_data() { addPaths(); }

    void failureNamesTheReasonAndRecovers()
    {
        QFETCH(bool, direct);
        if (direct && !m_pHandle)
            QSKIP("Qt's SQLite driver does not use the SQLite library linked here");
        SqliteInsert insert(m_Db, handleFor(direct), "INSERT INTO t (a, b) VALUES(?, ?)");
        insert.addValue(QStringLiteral("same"));
        insert.addValue(QStringLiteral("1"));
        QVERIFY(insert.exec());
        insert.addValue(QStringLiteral("same"));
        insert.addValue(QStringLiteral("2"));
        QVERIFY(!insert.exec());
        QVERIFY2(insert.errorText().contains(QStringLiteral("UNIQUE")), qPrintable(insert.errorText()));
        QCOMPARE(insert.errorCode() & 0xff, SQLITE_CONSTRAINT);
        insert.addValue(QStringLiteral("other"));
        insert.addValue(QStringLiteral("3"));
        QVERIFY(insert.exec());
        QSqlQuery query(m_Db);
        QVERIFY(query.exec(QStringLiteral("SELECT group_concat(b) FROM t")) && query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("1,3"));
    }

    // The import tells a full disk by SQLite's result code, whichever way the rows go in.
    void fullDiskGivesItsResultCode_data() { addPaths(); }

    void fullDiskGivesItsResultCode()
    {
        QFETCH(bool, direct);
        if (direct && !m_pHandle)
            QSKIP("Qt's SQLite driver does not use the SQLite library linked here");
        QSqlQuery query(m_Db);
        QVERIFY(query.exec(QStringLiteral("PRAGMA page_count")) && query.next());
        const int pages = query.value(0).toInt();
        QVERIFY(query.exec(QStringLiteral("PRAGMA max_page_count=%1").arg(pages + 2)));
        SqliteInsert insert(m_Db, handleFor(direct), "INSERT INTO t (a, b) VALUES(?, ?)");
        bool full = false;
        for (int i = 0; i < 10000 && !full; ++i) {
            insert.addValue(QStringLiteral("row %1 ").arg(i).repeated(4));
            insert.addValue(QStringLiteral("x"));
            full = !insert.exec();
        }
        QVERIFY(full);
        QCOMPARE(insert.errorCode() & 0xff, SQLITE_FULL);
        QVERIFY2(insert.errorText().contains(QStringLiteral("full")), qPrintable(insert.errorText()));
    }

    void badStatementOrClosedConnection_data() { addPaths(); }

    void badStatementOrClosedConnection()
    {
        QFETCH(bool, direct);
        if (direct && !m_pHandle)
            QSKIP("Qt's SQLite driver does not use the SQLite library linked here");
        SqliteInsert wrong(m_Db, handleFor(direct), "INSERT INTO missing VALUES(?)");
        QVERIFY(!wrong.isValid());
        QVERIFY2(wrong.errorText().contains(QStringLiteral("no such table")), qPrintable(wrong.errorText()));
        wrong.addValue(QStringLiteral("x"));
        QVERIFY(!wrong.exec());

        m_Db.close();
        SqliteInsert closed(m_Db, nullptr, "INSERT INTO t (a) VALUES(?)");
        QVERIFY(!closed.isValid());
        QVERIFY(!closed.errorText().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSqliteInsert)
#include "tst_sqliteinsert.moc"
