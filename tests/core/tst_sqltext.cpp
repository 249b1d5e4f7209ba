// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqltext.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

class TestSqlText : public QObject {
    Q_OBJECT
private slots:
    void literal_data();
    void literal();
    void isMask_data();
    void isMask();
    void jsonArray_data();
    void jsonArray();
};

void TestSqlText::literal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("literal");
    QTest::newRow("empty") << ""
                           << "''";
    QTest::newRow("plain") << "МОСКВА"
                           << "'МОСКВА'";
    QTest::newRow("apostrophe inside") << "Д'АРТАНЬЯНА"
                                       << "'Д''АРТАНЬЯНА'";
    QTest::newRow("apostrophes that would end the literal") << "' OR 1=1 --"
                                                            << "''' OR 1=1 --'";
    QTest::newRow("two in a row") << "''"
                                  << "''''''";
    QTest::newRow("double quotes stay") << "\"x\""
                                        << "'\"x\"'";
}

void TestSqlText::literal()
{
    QFETCH(QString, text);
    QFETCH(QString, literal);
    QCOMPARE(SqlText::literal(text), literal);
}

void TestSqlText::isMask_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isMask");
    QTest::newRow("plain") << "москва" << false;
    QTest::newRow("percent") << "Лен%" << true;
    QTest::newRow("underscore and percent") << "_остов%" << true;
    QTest::newRow("underscore alone") << "_" << true;
    QTest::newRow("hyphen and dot are not masks") << "Ростов-на-Дону." << false;
    QTest::newRow("asterisk and question mark are not masks") << "Мос*ва?" << false;
    QTest::newRow("empty") << "" << false;
}

void TestSqlText::isMask()
{
    QFETCH(QString, text);
    QFETCH(bool, isMask);
    QCOMPARE(SqlText::isMask(text), isMask);
}

void TestSqlText::jsonArray_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("none") << QStringList();
    QTest::newRow("codes") << QStringList { "01000000000", "77000000000" };
    QTest::newRow("Cyrillic and an empty text") << QStringList { "ЦВЕТОЧНАЯ", "", "ЁЛКИ" };
    QTest::newRow("quotes and backslashes") << QStringList { "\"", "\\", "a\\\"b", "]\", \"" };
    QTest::newRow("control characters") << QStringList { QStringLiteral("a\tb\nc"), QString(QChar(0x1F)) };
    QTest::newRow("apostrophe") << QStringList { "Д'АРКА" };
}

// Whatever the texts hold, SQLite reads the same texts back, in order.
void TestSqlText::jsonArray()
{
    QFETCH(QStringList, texts);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("json"));
    db.setDatabaseName(QStringLiteral(":memory:"));
    QVERIFY(db.open());
    {
        QSqlQuery query(db);
        QVERIFY(query.prepare(QStringLiteral("SELECT value FROM json_each(?) ORDER BY key")));
        query.addBindValue(SqlText::jsonArray(texts));
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        QStringList read;
        while (query.next())
            read << query.value(0).toString();
        QCOMPARE(read, texts);
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("json"));
}

QTEST_GUILESS_MAIN(TestSqlText)
#include "tst_sqltext.moc"
