// SPDX-License-Identifier: GPL-3.0-or-later
// A search by both levels run another way, led by either level, finds exactly the rows of the
// statement it stands in for.

#include "searchtestdatabase.h"
#include "sqltext.h"
#include "twolevelplan.h"

#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Connection = QStringLiteral("plan");

// The statement the window logs for a search by both levels, without its LIMIT.
QString statement(const QString& locality, const QString& street)
{
    const auto condition = [](const QString& text) {
        return (SqlText::isMask(text) ? QStringLiteral("LIKE ") : QStringLiteral("= "))
            + SqlText::literal(text.toUpper()) + QLatin1Char(' ');
    };
    return QStringLiteral(
        "SELECT d.index_ , k.name, k.socr, k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg "
        ", s.name, s.socr, s.scname , d.name FROM kladr k , street s , doma d INDEXED BY "
        "index_doma_index  WHERE k.name_upper %1AND d.code_street = s.code AND s.name_upper %2"
        "AND s.code_kladr = k.code AND k.code_st = '00' UNION SELECT s.index_ , k.name , k.socr "
        ", k.scname , k.code , k.code_ss , k.code_rrr , k.code_ggg , s.name , s.socr , s.scname "
        ", '---' FROM KLADR k, STREET s WHERE s.name_upper %2AND k.name_upper %1AND s.code_kladr "
        "= k.code AND s.index_ != '' and k.code_st = '00'")
        .arg(condition(locality), condition(street));
}

// Every row of the statements, each once; the cells joined, NULL told apart from empty text.
QSet<QString> rowsOf(const QStringList& statements)
{
    QSet<QString> rows;
    QSqlQuery query(QSqlDatabase::database(Connection));
    for (const QString& statement : statements) {
        if (!query.exec(statement)) {
            qWarning() << query.lastError() << statement;
            return { QStringLiteral("failed") };
        }
        while (query.next()) {
            QStringList cells;
            for (int c = 0; c < query.record().count(); ++c)
                cells << (query.value(c).isNull() ? QStringLiteral("NULL") : query.value(c).toString());
            rows.insert(cells.join(QLatin1Char('|')));
        }
    }
    return rows;
}

LevelFilter level(const QString& text)
{
    return { text, SqlText::isMask(text) };
}

QString number(int i)
{
    return QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
}

const QStringList AllNameTables { QStringLiteral("KLADR_NAMES"), QStringLiteral("STREET_NAMES") };

} // namespace

class TestTwoLevelPlan : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sameRowsEitherWay_data();
    void sameRowsEitherWay();
    void fewerRecordsLead_data();
    void fewerRecordsLead();
    void namesOfALevel_data();
    void namesOfALevel();
    void leftToTheStatement();

private:
    QTemporaryDir m_Dir;
};

void TestTwoLevelPlan::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    const QString file = m_Dir.filePath(QStringLiteral("KLADR.sqlite"));
    {
        SearchTestDatabase db(file);
        // One name borne by several localities, one of them with a former record that was a
        // village: no row may come from the former record.
        db.addLocality("Павловка", "с", "Село", "50001001000", "140001");
        db.addLocality("Павловка", "с", "Село", "50002001000", "140002");
        db.addLocality("Павловка", "д", "Деревня", "50002001000", "140099", "51");
        db.addLocality("Павловка", "с", "Село", "50003001000", "");
        db.addLocality("Павлоград", "г", "Город", "50004001000", "140004");
        db.addLocality("Павлово", "г", "Город", "50005001000", "140005");
        db.addLocality("Д'Артаньяново", "д", "Деревня", "50006001000", "140006");
        // A hundred and one villages of names beginning alike.
        for (int i = 1; i <= TwoLevelPlan::MaxNames + 1; ++i)
            db.addLocality(
                QStringLiteral("Село ") + number(i), "с", "Село", "51" + number(i) + "001000", "150000");

        db.addStreet("Гоголя", "ул", "Улица", "500010010000001", "140011");
        db.addStreet("Гоголя", "ул", "Улица", "500020010000001", "");
        db.addStreet("Гоголевская", "ул", "Улица", "500020010000002", "140022");
        db.addStreet("Гоголя", "ул", "Улица", "500040010000001", "140041");
        db.addStreet("Гоголя", "ул", "Улица", "500050010000001", "");
        db.addStreet("Д'Арка", "ул", "Улица", "500060010000001", "140061");
        db.addStreet("Нигдеевская", "ул", "Улица", "500050010000002", "140052");
        for (int i = 1; i <= 3; ++i)
            db.addStreet("Гоголя", "ул", "Улица", "51" + number(i) + "0010000001", "150001");

        // A name with a NUL in it, as a damaged classifier file may hold.
        db.addLocality(QStringLiteral("Нуль") + QChar(0) + QStringLiteral("вка"), "д", "Деревня",
            "50007001000", "140007");
        db.addStreet("Гоголя", "ул", "Улица", "500070010000001", "140071");
        db.addHouses("1-9", "500010010000001", "140012");
        db.addHouses("Н(11-19)", "500010010000001", "140013");
        db.addHouses("1-9", "500020010000001", "140023");
        db.addHouses("1-9", "500020010000001", "140023"); // the same row twice
        db.addHouses("Ч(2-8)", "500020010000002", "");
        db.addHouses("1", "500060010000001", "140062");
        db.addNameTables();
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection);
    db.setDatabaseName(file);
    QVERIFY(db.open());
    QSqlQuery query(db);
    // As the search connection: both sides of LIKE are upper case already.
    QVERIFY(query.exec(QStringLiteral("PRAGMA case_sensitive_like=ON")));
}

void TestTwoLevelPlan::cleanupTestCase()
{
    QSqlDatabase::removeDatabase(Connection);
}

void TestTwoLevelPlan::sameRowsEitherWay_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<int>("rows");

    QTest::newRow("both exact, a name of several localities") << "Павловка"
                                                              << "Гоголя" << 4;
    QTest::newRow("exact locality, street mask") << "павловка"
                                                 << "Гог%" << 6;
    QTest::newRow("locality mask, exact street") << "Пав%"
                                                 << "гоголя" << 5;
    QTest::newRow("both prefix masks") << "Пав%"
                                       << "Гог%" << 7;
    QTest::newRow("masks with _") << "_авловка"
                                  << "Г_голя" << 4;
    QTest::newRow("masks beginning with %") << "%ловка"
                                            << "%евская" << 2;
    QTest::newRow("street in another locality") << "Павловка"
                                                << "Нигдеевская" << 0;
    QTest::newRow("no locality of the name") << "Ъъ%"
                                             << "Гоголя" << 0;
    QTest::newRow("no street of the name") << "Пав%"
                                           << "Ъъ%" << 0;
    QTest::newRow("apostrophes in both names") << "Д'Артаньяново"
                                               << "д'арка" << 2;
    QTest::newRow("a name with a NUL") << "Нуль%"
                                       << "Гоголя" << 1;
    QTest::newRow("names of many records") << "Село%"
                                           << "Гоголя" << 3;
}

void TestTwoLevelPlan::sameRowsEitherWay()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(int, rows);

    const QSet<QString> expected = rowsOf({ statement(locality, street) });
    QCOMPARE(expected.size(), rows);

    const QSqlDatabase db = QSqlDatabase::database(Connection);
    QStringList localityNames;
    QStringList streetNames;
    if (TwoLevelPlan::names(db, "kladr", "KLADR_NAMES", level(locality), AllNameTables, &localityNames)
        && TwoLevelPlan::names(db, "street", "STREET_NAMES", level(street), AllNameTables, &streetNames)) {
        for (TwoLevelPlan::Lead lead : { TwoLevelPlan::LocalityLeads, TwoLevelPlan::StreetLeads })
            QCOMPARE(rowsOf(TwoLevelPlan::statementsFor(lead, localityNames, streetNames)), expected);
    }
    // What the search runs, whichever way it chose, or the statement's own halves.
    const QStringList planned = TwoLevelPlan::statements(db, level(locality), level(street), AllNameTables);
    if (!planned.isEmpty())
        QCOMPARE(rowsOf(planned), expected);
}

void TestTwoLevelPlan::fewerRecordsLead_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("from");

    // Six records of Пав% names against one street: the street is probed for each name.
    QTest::newRow("one street") << "Пав%"
                                << "Нигдеевская"
                                << "FROM street sn ";
    // Four records of one name (a former record among them) against seven Гоголя streets.
    QTest::newRow("one locality name") << "Павловка"
                                       << "Гоголя"
                                       << "FROM kladr kn ";
}

void TestTwoLevelPlan::fewerRecordsLead()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QString, from);

    const QStringList planned = TwoLevelPlan::statements(
        QSqlDatabase::database(Connection), level(locality), level(street), AllNameTables);
    QCOMPARE(planned.size(), 1);
    QVERIFY2(planned.first().contains(from), qPrintable(planned.first()));
    QCOMPARE(rowsOf(planned), rowsOf({ statement(locality, street) }));
}

void TestTwoLevelPlan::namesOfALevel_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("nameTables");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("exact, as typed, upper case")
        << "павловка" << AllNameTables << true << QStringList { "ПАВЛОВКА" };
    QTest::newRow("exact, no such name") << "Нигдеево" << AllNameTables << true << QStringList { "НИГДЕЕВО" };
    QTest::newRow("prefix") << "пав%" << AllNameTables << true
                            << QStringList { "ПАВЛОВКА", "ПАВЛОГРАД", "ПАВЛОВО" };
    QTest::newRow("prefix and _") << "П_вло%" << AllNameTables << true
                                  << QStringList { "ПАВЛОВКА", "ПАВЛОГРАД", "ПАВЛОВО" };
    QTest::newRow("beginning with %")
        << "%ово" << AllNameTables << true << QStringList { "ПАВЛОВО", "Д'АРТАНЬЯНОВО" };
    QTest::newRow("beginning with %, no name tables") << "%ово" << QStringList() << false << QStringList();
    QTest::newRow("wildcards only") << "%_" << AllNameTables << false << QStringList();
    QTest::newRow("apostrophe") << "Д'%" << AllNameTables << true << QStringList { "Д'АРТАНЬЯНОВО" };
}

void TestTwoLevelPlan::namesOfALevel()
{
    QFETCH(QString, text);
    QFETCH(QStringList, nameTables);
    QFETCH(bool, listed);
    QFETCH(QStringList, names);

    QStringList found;
    QCOMPARE(TwoLevelPlan::names(
                 QSqlDatabase::database(Connection), "kladr", "KLADR_NAMES", level(text), nameTables, &found),
        listed);
    if (!listed)
        return;
    found.sort();
    names.sort();
    QCOMPARE(found, names);
}

void TestTwoLevelPlan::leftToTheStatement()
{
    const QSqlDatabase db = QSqlDatabase::database(Connection);
    QStringList found;
    QVERIFY(TwoLevelPlan::names(db, "kladr", "KLADR_NAMES", level("Село%"), AllNameTables, &found));
    // One beyond the limit shows that there are too many; the rest are not read.
    QCOMPARE(found.size(), TwoLevelPlan::MaxNames + 1);
    QVERIFY(TwoLevelPlan::statements(db, level("Село%"), level("Гоголя"), AllNameTables).isEmpty());
    QVERIFY(TwoLevelPlan::statements(db, level("%"), level("Гоголя"), AllNameTables).isEmpty());
    // A name SQL text cannot hold is left to the statement too.
    QVERIFY(!TwoLevelPlan::names(db, "kladr", "KLADR_NAMES", level("Нуль%"), AllNameTables, &found));
    QVERIFY(TwoLevelPlan::statements(db, level("Нуль%"), level("Гоголя"), AllNameTables).isEmpty());
}

QTEST_GUILESS_MAIN(TestTwoLevelPlan)
#include "tst_twolevelplan.moc"
