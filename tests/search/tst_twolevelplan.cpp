// SPDX-License-Identifier: GPL-3.0-or-later
// A search by both levels run another way, led by either level, finds exactly the rows of the
// statement it stands in for.

#include "kladrcodeset.h"
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

// The database as the import builds it, and one whose names tables hold the names alone, as
// earlier versions built them.
const QString Connection = QStringLiteral("plan");
const QString NamesOnly = QStringLiteral("plan-names-only");

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

// The rows of the statements in the order they come; the cells joined, NULL told apart from
// empty text.
QStringList rowsInOrder(const QStringList& statements, const QString& connection)
{
    QStringList rows;
    QSqlQuery query(QSqlDatabase::database(connection));
    for (const QString& statement : statements) {
        if (!query.exec(statement)) {
            qWarning() << query.lastError() << statement;
            return { QStringLiteral("failed") };
        }
        while (query.next()) {
            QStringList cells;
            for (int c = 0; c < query.record().count(); ++c)
                cells << (query.value(c).isNull() ? QStringLiteral("NULL") : query.value(c).toString());
            rows << cells.join(QLatin1Char('|'));
        }
    }
    return rows;
}

// Every row of the statements, each once.
QSet<QString> rowsOf(const QStringList& statements, const QString& connection = Connection)
{
    const QStringList rows = rowsInOrder(statements, connection);
    return QSet<QString>(rows.cbegin(), rows.cend());
}

LevelFilter level(const QString& text)
{
    return { text, SqlText::isMask(text) };
}

QString number(int i)
{
    return QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
}

TwoLevelPlan::NameTables tablesOf(const QString& connection)
{
    return TwoLevelPlan::nameTablesOf(QSqlDatabase::database(connection));
}

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
    for (const QString& connection : { Connection, NamesOnly }) {
        const QString file = m_Dir.filePath(connection + QStringLiteral(".sqlite"));
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
            if (connection == Connection) {
                db.addNameTables();
            } else {
                db.exec(QStringLiteral("CREATE TABLE KLADR_NAMES AS SELECT DISTINCT name_upper FROM KLADR"));
                db.exec(
                    QStringLiteral("CREATE TABLE STREET_NAMES AS SELECT DISTINCT name_upper FROM STREET"));
            }
            QVERIFY2(db.isValid(), qPrintable(db.error()));
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QSqlQuery query(db);
        // As the search connection: both sides of LIKE are upper case already.
        QVERIFY(query.exec(QStringLiteral("PRAGMA case_sensitive_like=ON")));
    }
    QCOMPARE(tablesOf(Connection).counted.size(), 2);
    QCOMPARE(tablesOf(NamesOnly).tables.size(), 2);
    QVERIFY(tablesOf(NamesOnly).counted.isEmpty());
}

void TestTwoLevelPlan::cleanupTestCase()
{
    QSqlDatabase::removeDatabase(Connection);
    QSqlDatabase::removeDatabase(NamesOnly);
}

void TestTwoLevelPlan::sameRowsEitherWay_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<int>("rows");
    for (const QString& connection : { Connection, NamesOnly }) {
        const auto row = [&connection](const char* name) -> QTestData& {
            return QTest::newRow(qPrintable(connection + QStringLiteral(": ") + QLatin1String(name)))
                << connection;
        };

        row("both exact, a name of several localities") << "Павловка"
                                                        << "Гоголя" << 4;
        row("exact locality, street mask") << "павловка"
                                           << "Гог%" << 6;
        row("locality mask, exact street") << "Пав%"
                                           << "гоголя" << 5;
        row("both prefix masks") << "Пав%"
                                 << "Гог%" << 7;
        row("masks with _") << "_авловка"
                            << "Г_голя" << 4;
        row("masks beginning with %") << "%ловка"
                                      << "%евская" << 2;
        row("street in another locality") << "Павловка"
                                          << "Нигдеевская" << 0;
        row("no locality of the name") << "Ъъ%"
                                       << "Гоголя" << 0;
        row("no street of the name") << "Пав%"
                                     << "Ъъ%" << 0;
        row("apostrophes in both names") << "Д'Артаньяново"
                                         << "д'арка" << 2;
        row("a name with a NUL") << "Нуль%"
                                 << "Гоголя" << 1;
        row("names of many records") << "Село%"
                                     << "Гоголя" << 3;
    }
}

void TestTwoLevelPlan::sameRowsEitherWay()
{
    QFETCH(QString, connection);
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(int, rows);

    const QSet<QString> expected = rowsOf({ statement(locality, street) }, connection);
    QCOMPARE(expected.size(), rows);

    const QSqlDatabase db = QSqlDatabase::database(connection);
    const TwoLevelPlan::NameTables tables = tablesOf(connection);
    TwoLevelPlan::LevelNames localityNames;
    TwoLevelPlan::LevelNames streetNames;
    if (TwoLevelPlan::names(db, "kladr", "KLADR_NAMES", level(locality), tables, &localityNames)
        && TwoLevelPlan::names(db, "street", "STREET_NAMES", level(street), tables, &streetNames)) {
        // Only the localities with both names tried: the same rows in the same order.
        KladrCodeSetCache codeSets;
        QStringList codes;
        QVERIFY(TwoLevelPlan::commonCodes(db, localityNames, streetNames, &codeSets, &codes));
        for (TwoLevelPlan::Lead lead : { TwoLevelPlan::LocalityLeads, TwoLevelPlan::StreetLeads }) {
            const QStringList all
                = rowsInOrder(TwoLevelPlan::statementsFor(lead, localityNames, streetNames), connection);
            QCOMPARE(QSet<QString>(all.cbegin(), all.cend()), expected);
            QCOMPARE(rowsInOrder(
                         TwoLevelPlan::statementsFor(lead, localityNames, streetNames, &codes), connection),
                all);
        }
    }
    // What the search runs, whichever way it chose, or the statement's own halves; with the code
    // sets kept: on the names' first search without them, then read, then kept.
    const QStringList planned = TwoLevelPlan::statements(db, level(locality), level(street), tables);
    if (!planned.isEmpty())
        QCOMPARE(rowsOf(planned, connection), expected);
    KladrCodeSetCache codeSets;
    for (int i = 0; i < 3; ++i) {
        const QStringList withSets
            = TwoLevelPlan::statements(db, level(locality), level(street), tables, nullptr, &codeSets);
        QCOMPARE(withSets.isEmpty(), planned.isEmpty());
        if (withSets.isEmpty())
            continue;
        // Counted by the names tables, a few records each: the sets cost less than the probes.
        if (connection == Connection && !expected.isEmpty())
            QVERIFY2(withSets.first().contains(QLatin1String("json_each")) == (i > 0),
                qPrintable(withSets.first()));
        QCOMPARE(rowsInOrder(withSets, connection), rowsInOrder(planned, connection));
    }
}

void TestTwoLevelPlan::fewerRecordsLead_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("from");

    // Counted by the names tables or record by record, the same way leads.
    for (const QString& connection : { Connection, NamesOnly }) {
        // Six records of Пав% names against one street: the street is probed for each name.
        QTest::newRow(qPrintable(connection + QStringLiteral(": one street"))) << connection << "Пав%"
                                                                               << "Нигдеевская"
                                                                               << "FROM street sn ";
        // No street of the name: led by the streets, the search is over at once.
        QTest::newRow(qPrintable(connection + QStringLiteral(": no street of the name")))
            << connection << "Павловка"
            << "Нетакая"
            << "FROM street sn ";
        // Four records of one name (a former record among them) against eight Гоголя streets.
        QTest::newRow(qPrintable(connection + QStringLiteral(": one locality name")))
            << connection << "Павловка"
            << "Гоголя"
            << "FROM kladr kn ";
    }
}

void TestTwoLevelPlan::fewerRecordsLead()
{
    QFETCH(QString, connection);
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QString, from);

    const QStringList planned = TwoLevelPlan::statements(
        QSqlDatabase::database(connection), level(locality), level(street), tablesOf(connection));
    QCOMPARE(planned.size(), 1);
    QVERIFY2(planned.first().contains(from), qPrintable(planned.first()));
    QCOMPARE(rowsOf(planned, connection), rowsOf({ statement(locality, street) }, connection));
}

void TestTwoLevelPlan::namesOfALevel_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("records");

    const QStringList pav { "ПАВЛОВКА", "ПАВЛОГРАД", "ПАВЛОВО" };
    const QStringList ovo { "ПАВЛОВО", "Д'АРТАНЬЯНОВО" };
    QTest::newRow("exact, as typed, upper case")
        << Connection << "павловка" << true << QStringList { "ПАВЛОВКА" } << 4;
    QTest::newRow("exact, no such name") << Connection << "Нигдеево" << true << QStringList() << 0;
    QTest::newRow("prefix") << Connection << "пав%" << true << pav << 6;
    QTest::newRow("prefix and _") << Connection << "П_вло%" << true << pav << 6;
    QTest::newRow("beginning with %") << Connection << "%ово" << true << ovo << 2;
    QTest::newRow("wildcards only") << Connection << "%_" << false << QStringList() << -1;
    QTest::newRow("apostrophe") << Connection << "Д'%" << true << QStringList { "Д'АРТАНЬЯНОВО" } << 1;
    // The condition finds a name SQL text could not hold.
    QTest::newRow("a NUL in the name")
        << Connection << "Нуль%" << true
        << QStringList { QStringLiteral("НУЛЬ") + QChar(0) + QStringLiteral("ВКА") } << 1;
    // Names alone: listed, the records not counted.
    QTest::newRow("names only, exact") << NamesOnly << "павловка" << true << QStringList { "ПАВЛОВКА" } << -1;
    QTest::newRow("names only, prefix") << NamesOnly << "пав%" << true << pav << -1;
    QTest::newRow("names only, beginning with %") << NamesOnly << "%ово" << true << ovo << -1;
    // No names tables: a mask beginning with a wildcard cannot be listed.
    QTest::newRow("no names tables, prefix") << QString() << "пав%" << true << pav << -1;
    QTest::newRow("no names tables, beginning with %") << QString() << "%ово" << false << QStringList() << -1;
}

void TestTwoLevelPlan::namesOfALevel()
{
    QFETCH(QString, connection);
    QFETCH(QString, text);
    QFETCH(bool, listed);
    QFETCH(QStringList, names);
    QFETCH(int, records);

    const QString name = connection.isEmpty() ? Connection : connection;
    const TwoLevelPlan::NameTables tables
        = connection.isEmpty() ? TwoLevelPlan::NameTables() : tablesOf(connection);
    TwoLevelPlan::LevelNames found;
    QCOMPARE(TwoLevelPlan::names(
                 QSqlDatabase::database(name), "kladr", "KLADR_NAMES", level(text), tables, &found),
        listed);
    if (!listed)
        return;
    // The condition finds exactly these names, and no record of another.
    QStringList matched;
    QSqlQuery query(QSqlDatabase::database(name));
    QVERIFY2(query.exec(
                 QStringLiteral("SELECT DISTINCT name_upper FROM kladr WHERE name_upper ") + found.condition),
        qPrintable(query.lastError().text()));
    while (query.next())
        matched << query.value(0).toString();
    matched.sort();
    names.sort();
    QCOMPARE(matched, names);
    // Exact text is one name to probe, whether or not a record bears it.
    if (SqlText::isMask(text))
        QCOMPARE(found.count, names.size());
    else
        QCOMPARE(found.count, records == 0 ? 0 : 1);
    QCOMPARE(found.records, qint64(records));
}

void TestTwoLevelPlan::leftToTheStatement()
{
    const QSqlDatabase db = QSqlDatabase::database(Connection);
    const TwoLevelPlan::NameTables tables = tablesOf(Connection);
    TwoLevelPlan::LevelNames found;
    QVERIFY(TwoLevelPlan::names(db, "kladr", "KLADR_NAMES", level("Село%"), tables, &found));
    // One beyond the limit shows that there are too many.
    QCOMPARE(found.count, TwoLevelPlan::MaxNames + 1);
    QVERIFY(TwoLevelPlan::statements(db, level("Село%"), level("Гоголя"), tables).isEmpty());
    QVERIFY(TwoLevelPlan::statements(db, level("%"), level("Гоголя"), tables).isEmpty());
    QVERIFY(TwoLevelPlan::statements(db, level("Павловка"), level("%%"), tables).isEmpty());
}

QTEST_GUILESS_MAIN(TestTwoLevelPlan)
#include "tst_twolevelplan.moc"
