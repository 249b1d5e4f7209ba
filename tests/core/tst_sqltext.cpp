// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqltext.h"

#include <QTest>

class TestSqlText : public QObject {
    Q_OBJECT
private slots:
    void literal_data();
    void literal();
    void isMask_data();
    void isMask();
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

QTEST_GUILESS_MAIN(TestSqlText)
#include "tst_sqltext.moc"
