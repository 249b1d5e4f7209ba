// SPDX-License-Identifier: GPL-3.0-or-later
// The search thread with a house: every group of the streets found, the index by the chain, at
// most 100 rows, the typed house kept out of the SQL text.

#include "searchrun.h"
#include "searchtestdatabase.h"
#include "threaddatabasefind.h"
#include "threadtimer.h"

#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// index | locality | street | houses
QStringList rowTexts(const SearchResult& result)
{
    QStringList rows;
    for (const QSqlRecord& record : result.rows) {
        rows << QStringList { record.value(0).toString(), record.value(1).toString(),
            record.value(8).toString(), record.value(11).toString() }
                    .join(QLatin1Char('|'));
    }
    rows.sort();
    return rows;
}

} // namespace

class TestHouseSearch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void rows_data();
    void rows();
    void statementKeepsTheHouseOut();
    void columnMap_data();
    void columnMap();
    void longStreetIsSearchedWhole();
    void atMostHundredRows();
    void houseWithoutDigitIsRefused();
    void houseWithoutStreetIsIgnored();
    void signalOrder();
    void failureIsReported();

private:
    QTemporaryDir m_Dir;
    QString m_File;
};

void TestHouseSearch::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    m_File = m_Dir.filePath(QStringLiteral("KLADR.sqlite"));
    SearchTestDatabase db(m_File);
    // Hundreds of rows: one transaction rather than one disk sync each.
    db.exec("BEGIN");
    db.addLocality("Московская", "обл", "Область", "50000000000", "140000");
    db.addLocality("Ленинский", "р-н", "Район", "50027000000", "142000");
    db.addLocality("Видное", "г", "Город", "50027001000", "142700");
    db.addLocality("Химки", "г", "Город", "50000002000", "141400");

    db.addStreet("Садовая", "ул", "Улица", "500270010000005", "142710");
    db.addHouses("Н(1-15),Ч(2-20),12к1", "500270010000005", "142711");
    db.addHouses("12к1,12к2", "500270010000005", "142712");
    db.addHouses("12А", "500270010000005", "");
    db.addHouses("Н(1-15)", "500270010000005", "142711");
    db.addHouses("Н(1-15)", "500270010000005", "142711"); // the same group twice shows once
    db.addHouses("влд3,12/1", "500270010000005", "142713");
    db.addStreet("Садовая", "ул", "Улица", "500000020000008", "141410");
    db.addHouses("1-9", "500000020000008", "141411");

    // A street longer than one screen of results: the house is in its 231st group.
    db.addStreet("Длинная", "ул", "Улица", "500270010000006", "142720");
    for (int i = 0; i < 250; ++i)
        db.addHouses(QString::number(1000 + i), "500270010000006", QString::number(600000 + i));
    // Every group holds house 5.
    db.addStreet("Широкая", "ул", "Улица", "500270010000007", "142730");
    for (int i = 0; i < 150; ++i)
        db.addHouses("1-9", "500270010000007", QString::number(700000 + i));

    // Indexes higher up the chain: the district's, then the region's.
    db.addLocality("Тверская", "обл", "Область", "69000000000", "170000");
    db.addLocality("Калининский", "р-н", "Район", "69010000000", "170501");
    db.addLocality("Эммаус", "п", "Поселок", "69010001000", "");
    db.addStreet("Полевая", "ул", "Улица", "690100010000001", "");
    db.addHouses("Ч(2-20)", "690100010000001", "");
    db.addLocality("Орша", "д", "Деревня", "69000001000", "");
    db.addStreet("Заречная", "ул", "Улица", "690000010000001", "");
    db.addLocality("Псковская", "обл", "Область", "60000000000", "");
    db.addLocality("Дно", "г", "Город", "60000001000", "");
    db.addStreet("Вокзальная", "ул", "Улица", "600000010000001", "");
    db.exec("COMMIT");
    QVERIFY2(db.isValid(), qPrintable(db.error()));
}

void TestHouseSearch::rows_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("house");
    QTest::addColumn<QStringList>("rows");

    const QString g1 = QStringLiteral("Видное|Садовая|Н(1-15),Ч(2-20),12к1");
    QTest::newRow("named in two groups, both shown")
        << "Видное"
        << "Садовая"
        << "12 корп. 1" << QStringList { "142711|" + g1, "142712|Видное|Садовая|12к1,12к2" };
    QTest::newRow("named in a group without index: the street's")
        << "Видное"
        << "Садовая"
        << "12 а" << QStringList { "142710|Видное|Садовая|12А" };
    QTest::newRow("Latin letter typed") << "Видное"
                                        << "Садовая"
                                        << "12A" << QStringList { "142710|Видное|Садовая|12А" };
    QTest::newRow("range, identical groups once")
        << "Видное"
        << "Садовая"
        << "7" << QStringList { "142711|" + g1, "142711|Видное|Садовая|Н(1-15)" };
    QTest::newRow("letter not named: the range") << "Видное"
                                                 << "Садовая"
                                                 << "12Б" << QStringList { "142711|" + g1 };
    QTest::newRow("fraction named") << "Видное"
                                    << "Садовая"
                                    << "д. 12/1" << QStringList { "142713|Видное|Садовая|влд3,12/1" };
    QTest::newRow("владение named") << "Видное"
                                    << "Садовая"
                                    << "вл. 3" << QStringList { "142713|Видное|Садовая|влд3,12/1" };
    QTest::newRow("last even number of the range") << "Видное"
                                                   << "Садовая"
                                                   << "20" << QStringList { "142711|" + g1 };
    QTest::newRow("in no list: the street") << "Видное"
                                            << "Садовая"
                                            << "22" << QStringList { "142710|Видное|Садовая|---" };
    QTest::newRow("locality mask") << "Вид%"
                                   << "садовая"
                                   << "22" << QStringList { "142710|Видное|Садовая|---" };
    QTest::newRow("street only, every locality")
        << ""
        << "Садовая"
        << "5" << QStringList { "141411|Химки|Садовая|1-9", "142711|" + g1, "142711|Видное|Садовая|Н(1-15)" };
    QTest::newRow("group without index, street and locality without: the district's")
        << "Эммаус"
        << "Полевая"
        << "12" << QStringList { "170501|Эммаус|Полевая|Ч(2-20)" };
    QTest::newRow("in no list, nothing below the district has an index")
        << "Эммаус"
        << "Полевая"
        << "13" << QStringList { "170501|Эммаус|Полевая|---" };
    QTest::newRow("no district: the region's") << "Орша"
                                               << "Заречная"
                                               << "1" << QStringList { "170000|Орша|Заречная|---" };
    QTest::newRow("no index anywhere") << "Дно"
                                       << "Вокзальная"
                                       << "1" << QStringList { "|Дно|Вокзальная|---" };
    QTest::newRow("no such street") << "Видное"
                                    << "Нетакая"
                                    << "1" << QStringList {};
}

void TestHouseSearch::rows()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QString, house);
    QFETCH(QStringList, rows);

    SearchParams params = paramsFor(locality, street, house);
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.results.size(), 1);
    rows.sort();
    QCOMPARE(rowTexts(run.results.first()), rows);
}

void TestHouseSearch::statementKeepsTheHouseOut()
{
    SearchParams params = paramsFor("видное", "Сад%", "777 корп. 5");
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.results.size(), 1);
    QCOMPARE(run.results.first().house, QStringLiteral("777к5"));
    QCOMPARE(run.stateLines,
        QStringList { ">>>: SELECT s.index_ , k.index_ , k.name, k.socr, k.scname, k.code, k.code_ss, "
                      "k.code_rrr, k.code_ggg , s.name, s.socr, s.scname , s.code FROM kladr k , street s  "
                      "WHERE k.name_upper = 'ВИДНОЕ' AND s.name_upper LIKE 'САД%' AND s.code_kladr = k.code "
                      "AND k.code_st = '00'" });

    // A house that would break a statement built from text is only ever compared in code.
    params = paramsFor("Видное", "Садовая", "1' OR '1'='1");
    const SearchRun quoted = runSearch(params, m_File);
    QCOMPARE(quoted.results.size(), 1);
    QCOMPARE(rowTexts(quoted.results.first()),
        (QStringList { "142711|Видное|Садовая|Н(1-15)", "142711|Видное|Садовая|Н(1-15),Ч(2-20),12к1" }));
    QVERIFY(!quoted.stateLines.first().contains("OR"));
}

void TestHouseSearch::columnMap_data()
{
    QTest::addColumn<QString>("locality");
    QTest::newRow("locality and street") << "Видное";
    QTest::newRow("street only") << "";
}

void TestHouseSearch::columnMap()
{
    QFETCH(QString, locality);

    // The columns of the search by both levels, whatever the levels: the house column shows why.
    SearchParams params = paramsFor(locality, "Садовая", "7");
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.results.size(), 1);
    const QHash<QString, ResultColumn>& columns = run.results.first().columnMap;
    QStringList actual;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it)
        actual << QStringLiteral("%1|%2|%3").arg(it.key(), it->header).arg(it->column);
    actual.sort();
    QStringList expected { "city|Населенный пункт|1", "city_code_ggg|_city_code_ggg|7",
        "city_code_rrr|_city_code_rrr|6", "city_code_ss|_city_code_ss|5", "city_code|_city_code|4",
        "city_t_|_city_type|3", "city_t|Тип пункта|2", "home|Номера домов (Н-нечетные, Ч-четные, --- все)|11",
        "index|Индекс|0", "street_t_|_street_type|10", "street_t|Тип объекта|9", "street|Улица|8" };
    expected.sort();
    QCOMPARE(actual, expected);
    QCOMPARE(run.results.first().columns.count(), 12);
}

void TestHouseSearch::longStreetIsSearchedWhole()
{
    SearchParams params = paramsFor("Видное", "Длинная", "1230");
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.results.size(), 1);
    QCOMPARE(rowTexts(run.results.first()), QStringList { "600230|Видное|Длинная|1230" });

    // Without a house the same street shows only the statement's first 100 rows.
    params = paramsFor("Видное", "Длинная", QString());
    const SearchRun plain = runSearch(params, m_File);
    QCOMPARE(plain.results.first().rows.size(), 100);
    QVERIFY(plain.results.first().house.isEmpty());
}

void TestHouseSearch::atMostHundredRows()
{
    SearchParams params = paramsFor("Видное", "Широкая", "5");
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.results.size(), 1);
    QStringList rows = rowTexts(run.results.first());
    QCOMPARE(rows.size(), 100);
    QCOMPARE(rows.removeDuplicates(), 0);
    for (const QString& row : rows)
        QVERIFY(row.startsWith("7") && row.endsWith("|Видное|Широкая|1-9"));
}

void TestHouseSearch::houseWithoutDigitIsRefused()
{
    ThreadTimer timer;
    SearchParams params = paramsFor("Видное", "Садовая", "корпус А");
    const SearchRun run = runSearch(params, m_File, &timer);

    QVERIFY(run.results.isEmpty());
    QCOMPARE(run.events, QStringList { "visible 0" });
    QCOMPARE(
        run.stateLines, QStringList { "Поиск не выполнен: в номере дома \"корпус А\" нет ни одной цифры." });
}

void TestHouseSearch::houseWithoutStreetIsIgnored()
{
    SearchParams params = paramsFor("Видное", "", "корпус");
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.results.size(), 1);
    QCOMPARE(run.results.first().columns.count(), 8);
    QCOMPARE(run.results.first().rows.size(), 1);
    QVERIFY(run.results.first().house.isEmpty());
    QVERIFY(run.stateLines.first().startsWith(">>>: SELECT k.index_"));
}

void TestHouseSearch::signalOrder()
{
    ThreadTimer timer;
    SearchParams params = paramsFor("Видное", "Садовая", "7");
    const SearchRun run = runSearch(params, m_File, &timer);
    QVERIFY(!timer.isRunning());

    // As for any search: the timer's flags switch after the busy display shows, back before it hides.
    QStringList events = run.events.filter(QRegularExpression("^(?!timer value)"));
    for (int i = events.size() - 1; i > events.indexOf("timer bools 0 0"); --i) {
        if (events.at(i) == "timer bools 0 0" || events.at(i) == "timer bools 0 1")
            events.removeAt(i);
    }
    QCOMPARE(events,
        (QStringList { "text Выполнение запроса...", "progress 0 1", "visible 1", "timer bools 0 0", "find 2",
            "timer bools 1 0", "visible 0" }));
}

void TestHouseSearch::failureIsReported()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("KLADR.sqlite");
    {
        SearchTestDatabase db(file, SearchTestDatabase::WithoutIndexes);
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    SearchParams params = paramsFor("Видное", "Садовая", "7");
    const SearchRun run = runSearch(params, file);

    QVERIFY(run.results.isEmpty());
    QCOMPARE(run.events.last(), QStringLiteral("visible 0"));
    QCOMPARE(run.stateLines.size(), 2);
    QVERIFY(run.stateLines.at(0).startsWith(">>>: SELECT"));
    QVERIFY(run.stateLines.at(1).startsWith("Ошибка: "));
    QVERIFY2(run.stateLines.at(1).contains("index_doma_index"), qPrintable(run.stateLines.at(1)));
}

QTEST_GUILESS_MAIN(TestHouseSearch)
#include "tst_housesearch.moc"
