// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchrun.h"
#include "searchtestdatabase.h"
#include "sqltext.h"
#include "threaddatabasefind.h"
#include "threadtimer.h"

#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(SearchParams)

namespace {

const QString LocalityOnly
    = QStringLiteral("SELECT k.index_ , k.name, k.socr, k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg "
                     "FROM kladr k  WHERE k.name_upper %1AND k.code_st = '00'  LIMIT 100");
const QString StreetOnly = QStringLiteral(
    "SELECT s.index_ , k.name, k.socr, k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg "
    ", s.name, s.socr, s.scname FROM kladr k , street s  WHERE s.name_upper %1AND s.code_kladr = k.code "
    "AND k.code_st = '00'  LIMIT 100");
const QString Both = QStringLiteral(
    "SELECT d.index_ , k.name, k.socr, k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg "
    ", s.name, s.socr, s.scname , d.name FROM kladr k , street s , doma d INDEXED BY index_doma_index  "
    "WHERE k.name_upper %1AND d.code_street = s.code AND s.name_upper %2AND s.code_kladr = k.code "
    "AND k.code_st = '00' UNION SELECT s.index_ , k.name , k.socr , k.scname , k.code , k.code_ss , "
    "k.code_rrr , k.code_ggg , s.name , s.socr , s.scname , '---' FROM KLADR k, STREET s WHERE "
    "s.name_upper %2AND k.name_upper %1AND s.code_kladr = k.code AND s.index_ != '' and "
    "k.code_st = '00' LIMIT 100");

// index | locality | street | houses, of the columns the statement has.
QStringList rowTexts(const SearchResult& result)
{
    QStringList rows;
    for (const QSqlRecord& record : result.rows) {
        QStringList cells { record.value(0).toString(), record.value(1).toString() };
        if (record.count() > 8)
            cells << record.value(8).toString();
        if (record.count() > 11)
            cells << record.value(11).toString();
        rows << cells.join(QLatin1Char('|'));
    }
    rows.sort();
    return rows;
}

// A search worker kept on a database file of its own, as the window keeps one, with the results
// it reports.
struct WorkerOnFile {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("KLADR.sqlite"));
    RecordingHost host;
    ThreadDataBaseFind thread;
    QList<SearchResult> results;

    WorkerOnFile()
    {
        thread.setHost(&host);
        thread.setDatabaseFile(file);
        QObject::connect(
            &thread, &ThreadDataBaseFind::signalFind, [this](const SearchResult& r) { results << r; });
    }
};

} // namespace

class TestThreadDataBaseFind : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void statement_data();
    void statement();
    void columnMap_data();
    void columnMap();
    void rows_data();
    void rows();
    void emptyResultIsAResult();
    void signalOrder();
    void refusesWithoutLevels();
    void prepareFailure();
    void executionFailure();
    void missingDatabaseFileIsNotCreated();
    void secondSearchReplacesColumnMap();
    void keptConnectionFollowsTheFile();
    void keptStatementsLeaveTheFileFree_data();
    void keptStatementsLeaveTheFileFree();
    void keptCodeSetsFollowTheData();
    void distinctRows_data();
    void distinctRows();
    void interruptionStopsTheFetch();
    void oneWorkerForEverySearch();

private:
    QTemporaryDir m_Dir;
    QString m_File;
    // Many matches on both halves of a two-level search, house groups repeating rows.
    QString m_RepeatFile;
};

void TestThreadDataBaseFind::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    m_File = m_Dir.filePath(QStringLiteral("KLADR.sqlite"));
    SearchTestDatabase db(m_File);
    db.addLocality("Москва", "г", "Город", "77000000000", "101000");
    db.addLocality("Москва", "г", "Город", "77000000000", "999999", "51"); // no longer current
    db.addLocality("Московская", "обл", "Область", "50000000000", "");
    db.addLocality("Ленинский", "р-н", "Район", "50027000000", "");
    db.addLocality("Видное", "г", "Город", "50027001000", "142700");
    db.addLocality("Химки", "г", "Город", "50000002000", "141400");
    db.addLocality("Ростов-на-Дону", "г", "Город", "61000001000", "344000");
    db.addLocality("Ростов", "г", "Город", "76013001000", "152150");
    db.addStreet("Лесная", "ул", "Улица", "500270010000001", "142701");
    db.addStreet("Ленина", "ул", "Улица", "500270010000002", "");
    db.addStreet("Д'Арка", "ул", "Улица", "500000020000003", "141402");
    db.addStreet("Ленинградская", "ул", "Улица", "770000000000004", "125000");
    db.addHouses("1-9", "500270010000002", "142703");
    db.addHouses("Н(11-19)", "500270010000002", "142704");
    db.addNameTables();
    QVERIFY2(db.isValid(), qPrintable(db.error()));

    m_RepeatFile = m_Dir.filePath(QStringLiteral("repeat.sqlite"));
    SearchTestDatabase repeat(m_RepeatFile);
    repeat.addLocality("Кратово", "п", "Поселок", "50027002000", "140130");
    // A former record of the same locality, when it was a village: its streets are the current
    // record's, and no row of the search may come from it.
    repeat.addLocality("Кратово", "д", "Деревня", "50027002000", "140999", "51");
    repeat.addLocality("Дубль", "д", "Деревня", "50027003000", "140140");
    repeat.addLocality("Дубль", "д", "Деревня", "50027003000", "140140");
    for (int i = 1; i <= 120; ++i) {
        const QString number = QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
        const QString code = "500270020000" + number;
        const QString index = "140" + number;
        repeat.addStreet("Садовая " + number, "ул", "Улица", code, index);
        // Two groups give the same row; a group named "---" with the street's own index gives
        // the row of the street-level half.
        repeat.addHouses("1-9", code, "140200");
        repeat.addHouses("1-9", code, "140200");
        repeat.addHouses("---", code, index);
    }
    repeat.addNameTables();
    QVERIFY2(repeat.isValid(), qPrintable(repeat.error()));
}

void TestThreadDataBaseFind::statement_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("statement");

    QTest::newRow("locality, lower case, no mask") << "москва"
                                                   << "" << LocalityOnly.arg("= 'МОСКВА' ");
    QTest::newRow("locality mask") << "_остов%"
                                   << "" << LocalityOnly.arg("LIKE '_ОСТОВ%' ");
    QTest::newRow("underscore alone is a mask") << "_"
                                                << "" << LocalityOnly.arg("LIKE '_' ");
    QTest::newRow("outer blanks dropped, inner runs made one") << "  новая   москва "
                                                               << "" << LocalityOnly.arg("= 'НОВАЯ МОСКВА' ");
    QTest::newRow("a typed %1 stays text") << "Мос%1"
                                           << "" << LocalityOnly.arg("LIKE 'МОС%1' ");
    QTest::newRow("street mask") << ""
                                 << "Лен%" << StreetOnly.arg("LIKE 'ЛЕН%' ");
    QTest::newRow("street with apostrophe") << ""
                                            << "Д'Арка" << StreetOnly.arg("= 'Д''АРКА' ");
    QTest::newRow("both, street mask") << "видное"
                                       << "Лен%" << Both.arg("= 'ВИДНОЕ' ", "LIKE 'ЛЕН%' ");
    QTest::newRow("both, locality mask") << "Вид%"
                                         << "лесная" << Both.arg("LIKE 'ВИД%' ", "= 'ЛЕСНАЯ' ");
    QTest::newRow("quote cannot end the literal") << "x' OR '1'='1"
                                                  << "" << LocalityOnly.arg("= 'X'' OR ''1''=''1' ");
}

void TestThreadDataBaseFind::statement()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QString, statement);

    SearchParams params = paramsFor(locality, street);
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.stateLines.value(0), ">>>: " + statement);
    // Every statement is valid SQL for the schema: it ran.
    QCOMPARE(run.results.size(), 1);
}

void TestThreadDataBaseFind::columnMap_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QStringList>("entries");

    const QStringList city { "city|Населенный пункт|1", "city_code|_city_code|4",
        "city_code_ggg|_city_code_ggg|7", "city_code_rrr|_city_code_rrr|6", "city_code_ss|_city_code_ss|5",
        "city_t_|_city_type|3", "city_t|Тип пункта|2", "index|Индекс|0" };
    const QStringList street { "street_t_|_street_type|10", "street_t|Тип объекта|9", "street|Улица|8" };
    const QStringList home { "home|Номера домов (Н-нечетные, Ч-четные, --- все)|11" };

    QTest::newRow("locality") << "Москва"
                              << "" << city;
    QTest::newRow("street") << ""
                            << "Ленина" << city + street;
    QTest::newRow("both") << "Видное"
                          << "Ленина" << city + street + home;
}

void TestThreadDataBaseFind::columnMap()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QStringList, entries);

    SearchParams params = paramsFor(locality, street);
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.results.size(), 1);
    // The map travels with the result; the caller's block is left alone.
    QVERIFY(params.columns.isEmpty());

    const QHash<QString, ResultColumn>& columns = run.results.first().columnMap;
    QStringList actual;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        QVERIFY(it->value.isEmpty());
        actual << QStringLiteral("%1|%2|%3").arg(it.key(), it->header).arg(it->column);
    }
    actual.sort();
    entries.sort();
    QCOMPARE(actual, entries);
    QCOMPARE(run.results.first().columns.count(), entries.size());
}

void TestThreadDataBaseFind::rows_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("current record only") << "москва"
                                         << "" << QStringList { "101000|Москва" };
    QTest::newRow("one-letter mask") << "_остов%"
                                     << "" << QStringList { "152150|Ростов", "344000|Ростов-на-Дону" };
    QTest::newRow("exact name") << "РОСТОВ"
                                << "" << QStringList { "152150|Ростов" };
    QTest::newRow("leading blank dropped") << " москва"
                                           << "" << QStringList { "101000|Москва" };
    QTest::newRow("tab and blanks dropped") << "\tмосква  "
                                            << "" << QStringList { "101000|Москва" };
    QTest::newRow("street with apostrophe") << ""
                                            << "Д'Арка" << QStringList { "141402|Химки|Д'Арка" };
    QTest::newRow("street mask, mixed case")
        << ""
        << "лЕн%" << QStringList { "125000|Москва|Ленинградская", "|Видное|Ленина" };
    QTest::newRow("houses of the street")
        << "Видное"
        << "Ленина" << QStringList { "142703|Видное|Ленина|1-9", "142704|Видное|Ленина|Н(11-19)" };
    QTest::newRow("both, locality with a former record")
        << "Москва"
        << "Ленинградская" << QStringList { "125000|Москва|Ленинградская|---" };
    QTest::newRow("both, exact locality, street mask")
        << "Видное"
        << "Лен%" << QStringList { "142703|Видное|Ленина|1-9", "142704|Видное|Ленина|Н(11-19)" };
    QTest::newRow("street with its own index, all houses")
        << "видное"
        << "лесная" << QStringList { "142701|Видное|Лесная|---" };
    QTest::newRow("mask beginning with %") << "%ов"
                                           << "" << QStringList { "152150|Ростов" };
    QTest::newRow("mask beginning with _, inner %")
        << "_ос%"
        << "" << QStringList { "101000|Москва", "152150|Ростов", "344000|Ростов-на-Дону", "|Московская" };
    QTest::newRow("street mask beginning with %")
        << ""
        << "%ен%" << QStringList { "125000|Москва|Ленинградская", "|Видное|Ленина" };
    QTest::newRow("both, masks beginning with a wildcard")
        << "%дное"
        << "_ени%" << QStringList { "142703|Видное|Ленина|1-9", "142704|Видное|Ленина|Н(11-19)" };
    QTest::newRow("mask beginning with %, no match") << "%ЩЩЩ"
                                                     << "" << QStringList {};
    QTest::newRow("mask of wildcards only")
        << "%_%"
        << ""
        << QStringList { "101000|Москва", "141400|Химки", "142700|Видное", "152150|Ростов",
               "344000|Ростов-на-Дону", "|Ленинский", "|Московская" };
    QTest::newRow("quote in the text is only a letter") << "x' OR '1'='1"
                                                        << "" << QStringList {};
    QTest::newRow("comment marker is only letters") << "Москва' --"
                                                    << "" << QStringList {};
}

void TestThreadDataBaseFind::rows()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QStringList, rows);

    SearchParams params = paramsFor(locality, street);
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.results.size(), 1);
    QCOMPARE(rowTexts(run.results.first()), rows);
}

void TestThreadDataBaseFind::emptyResultIsAResult()
{
    SearchParams params = paramsFor("Нигдеево%", "");
    const SearchRun run = runSearch(params, m_File);
    QCOMPARE(run.results.size(), 1);
    QVERIFY(run.results.first().rows.isEmpty());
    QCOMPARE(run.results.first().columns.count(), 8);
    QCOMPARE(run.stateLines.size(), 1);
}

void TestThreadDataBaseFind::signalOrder()
{
    ThreadTimer timer;
    SearchParams params = paramsFor("Видное", "Ленина");
    const SearchRun run = runSearch(params, m_File, &timer);
    QVERIFY(!timer.isRunning());

    // Ticks may fall anywhere while the timer runs; the order around them is fixed.
    QStringList events = run.events;
    events.erase(std::remove_if(events.begin(), events.end(),
                     [](const QString& e) { return e.startsWith("timer value") && e.endsWith(" -1"); }),
        events.end());
    const int startBools = events.indexOf("timer bools 0 0");
    for (int i = events.size() - 1; i > startBools; --i) {
        if (events.at(i) == "timer bools 0 0" || events.at(i) == "timer bools 0 1")
            events.removeAt(i);
    }
    QCOMPARE(events,
        (QStringList { "text Выполнение запроса...", "progress 0 1", "visible 1", "timer bools 0 0",
            "timer value 0 100", "find 2", "timer bools 1 0", "visible 0" }));
}

void TestThreadDataBaseFind::refusesWithoutLevels()
{
    ThreadTimer timer;
    SearchParams params = paramsFor("", "");
    params.columns.insert("index", ResultColumn { "Индекс", 0, QString() });
    const SearchRun run = runSearch(params, m_File, &timer);

    QCOMPARE(run.events, QStringList { "visible 0" });
    QCOMPARE(run.stateLines.size(), 1);
    QVERIFY(!run.stateLines.first().startsWith(">>>"));
    QVERIFY(run.stateLines.first().contains("улиц"));
    QVERIFY(run.results.isEmpty());
}

void TestThreadDataBaseFind::prepareFailure()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("KLADR.sqlite");
    {
        SearchTestDatabase db(file, SearchTestDatabase::WithoutIndexes);
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    ThreadTimer timer;
    SearchParams params = paramsFor("Видное", "Ленина");
    const SearchRun run = runSearch(params, file, &timer);

    QVERIFY(run.results.isEmpty());
    QCOMPARE(run.events, (QStringList { "text Выполнение запроса...", "progress 0 1", "visible 0" }));
    QCOMPARE(run.stateLines.size(), 2);
    QVERIFY(run.stateLines.at(0).startsWith(">>>: SELECT"));
    QVERIFY(run.stateLines.at(1).startsWith("Ошибка: "));
    QVERIFY(run.stateLines.at(1).contains("index_doma_index"));
}

void TestThreadDataBaseFind::executionFailure()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("KLADR.sqlite");
    {
        // A KLADR whose rows fail while they are read: the statement prepares, the steps fail.
        SearchTestDatabase db(file);
        db.exec("DROP TABLE KLADR");
        db.exec("CREATE VIEW KLADR AS SELECT 'X' AS name, 'X' AS name_upper, '' AS socr, '' AS scname, "
                "'' AS code, '' AS code_ss, '' AS code_rrr, '' AS code_ggg, "
                "abs(-9223372036854775807 - 1) AS index_, '00' AS code_st");
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    ThreadTimer timer;
    SearchParams params = paramsFor("x", "");
    const SearchRun run = runSearch(params, file, &timer);

    QVERIFY(run.results.isEmpty());
    QVERIFY(!run.events.contains("find 0"));
    QCOMPARE(run.events.mid(0, 5),
        (QStringList { "text Выполнение запроса...", "progress 0 1", "visible 1", "timer bools 0 0",
            "timer value 0 100" }));
    QCOMPARE(run.events.mid(run.events.size() - 2), (QStringList { "timer bools 1 0", "visible 0" }));
    QCOMPARE(run.stateLines.size(), 2);
    QCOMPARE(run.stateLines.at(1), QStringLiteral("Ошибка: integer overflow Unable to fetch row"));
}

void TestThreadDataBaseFind::missingDatabaseFileIsNotCreated()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("KLADR.sqlite");
    SearchParams params = paramsFor("Москва", "");
    const SearchRun run = runSearch(params, file);

    QVERIFY(run.results.isEmpty());
    QCOMPARE(run.events.last(), QStringLiteral("visible 0"));
    QVERIFY(!run.events.contains("visible 1"));
    QVERIFY(run.stateLines.last().startsWith("Ошибка: "));
    QVERIFY(!QFileInfo::exists(file));
}

void TestThreadDataBaseFind::secondSearchReplacesColumnMap()
{
    // One thread object, as the window keeps it: the second run starts from its own parameters.
    RecordingHost host;
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(m_File);
    QList<SearchResult> results;
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalFind, [&](const SearchResult& result) { results << result; });

    thread.find(paramsFor("Видное", "Ленина"));
    QVERIFY(thread.waitIdle(60000));
    thread.find(paramsFor("Видное", ""));
    QVERIFY(thread.waitIdle(60000));

    QCOMPARE(results.size(), 2);
    QVERIFY(results.at(0).columnMap.contains("home"));
    QCOMPARE(results.at(1).columnMap.size(), 8);
    QVERIFY(!results.at(1).columnMap.contains("home"));
    QVERIFY(!results.at(1).columnMap.contains("street"));
}

void TestThreadDataBaseFind::keptConnectionFollowsTheFile()
{
    // The window keeps one thread, and the thread its connection, from search to search. The
    // file under it is written by an import, replaced by an update or deleted by hand; no search
    // may show rows of a file that is no longer there, nor keep the writer out.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("KLADR.sqlite"));
    {
        SearchTestDatabase db(file);
        db.addLocality("Кратово", "п", "Поселок", "50027002000", "140130");
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }

    RecordingHost host;
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(file);
    QStringList indexes;
    QStringList addresses;
    QObject::connect(&thread, &ThreadDataBaseFind::signalFind, [&](const SearchResult& result) {
        indexes << (result.rows.isEmpty() ? QStringLiteral("none") : result.rows.first().value(0).toString());
        addresses << result.addresses.value(0);
    });
    const auto search = [&thread] {
        thread.find(paramsFor("Кратово", ""));
        return thread.waitIdle(60000);
    };

    QVERIFY(search());
    QCOMPARE(indexes, QStringList { "140130" });
    QCOMPARE(addresses.last(), QStringLiteral("140130,п.Кратово"));

    // Written into the same file: the writer gets the whole file at once, and the next search
    // reads what it wrote.
    {
        SearchTestDatabase writer(file, SearchTestDatabase::Existing);
        writer.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        writer.exec(QStringLiteral("UPDATE KLADR SET index_ = '140131'"));
        writer.exec(QStringLiteral("COMMIT"));
        QVERIFY2(writer.isValid(), qPrintable(writer.error()));
    }
    QVERIFY(search());
    QCOMPARE(indexes.last(), QStringLiteral("140131"));

    // Another file renamed over it, as the update installs one.
    const QString other = dir.filePath(QStringLiteral("other.sqlite"));
    {
        SearchTestDatabase db(other);
        db.addLocality("Кратово", "п", "Поселок", "50027002000", "150000");
        db.addLocality("Московская", "обл", "Область", "50000000000", "");
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    QVERIFY(QFile::remove(file));
    QVERIFY(QFile::rename(other, file));
    QVERIFY(search());
    QCOMPARE(indexes.last(), QStringLiteral("150000"));
    // The address names come from the file searched, not from the one the worker read first.
    QCOMPARE(addresses.last(), QStringLiteral("150000,Московская обл,п.Кратово"));

    // Gone: an error, not the rows of the file the connection still holds.
    QVERIFY(QFile::remove(file));
    const int linesBefore = host.lines().size();
    QVERIFY(search());
    QCOMPARE(indexes.size(), 3);
    QVERIFY(!QFileInfo::exists(file));
    const QString newLines = host.lines().mid(linesBefore).join('\n');
    QVERIFY2(newLines.contains(QStringLiteral("Ошибка: ")), qPrintable(newLines));

    // And back: the search after that opens it again.
    {
        SearchTestDatabase db(file);
        db.addLocality("Кратово", "п", "Поселок", "50027002000", "160000");
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    QVERIFY(search());
    QCOMPARE(indexes.last(), QStringLiteral("160000"));
}

void TestThreadDataBaseFind::keptStatementsLeaveTheFileFree_data()
{
    QTest::addColumn<SearchParams>("params");
    QTest::addColumn<int>("rows");

    SearchParams byIndex;
    byIndex.index = QStringLiteral("140131");
    SearchParams byIndexAndName = byIndex;
    byIndexAndName.level(SearchParams::StreetLevel) = { QStringLiteral("Садовая"), false };
    QTest::newRow("locality") << paramsFor("Кратово", "") << 1;
    QTest::newRow("both levels") << paramsFor("Кратово", "Садовая") << 2;
    QTest::newRow("both levels, Е for Ё") << paramsFor("Кратово", "Зеленая") << 1;
    QTest::newRow("house") << paramsFor("Кратово", "Садовая", "5") << 1;
    QTest::newRow("postal index") << byIndex << 2;
    QTest::newRow("postal index and street") << byIndexAndName << 1;
}

void TestThreadDataBaseFind::keptStatementsLeaveTheFileFree()
{
    // The worker keeps its statements prepared from one search to the next: none may keep the
    // file locked once a search has reported, and a commit by another connection reaches the
    // next search, the address names included.
    QFETCH(SearchParams, params);
    QFETCH(int, rows);

    WorkerOnFile worker;
    QVERIFY(worker.dir.isValid());
    const QString& file = worker.file;
    {
        SearchTestDatabase db(file);
        db.addLocality("Московская", "обл", "Область", "50000000000", "");
        db.addLocality("Кратово", "п", "Поселок", "50027002000", "140130");
        db.addStreet("Садовая", "ул", "Улица", "500270020000001", "140131");
        db.addStreet("Зелёная", "ул", "Улица", "500270020000002", "140131");
        db.addHouses("1-9", "500270020000001", "140132");
        db.addNameTables();
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }

    ThreadDataBaseFind& thread = worker.thread;
    QList<SearchResult>& results = worker.results;
    for (const QString& region : { QStringLiteral("Московская"), QStringLiteral("Подмосковная") }) {
        // Twice each: the second search runs on the statements the first one left prepared.
        for (int i = 0; i < 2; ++i) {
            thread.find(params);
            QVERIFY(thread.waitIdle(60000));
            QCoreApplication::processEvents();
            QCOMPARE(results.size(), 1);
            QCOMPARE(results.first().rows.size(), rows);
            for (const QString& address : qAsConst(results.first().addresses))
                QVERIFY2(address.contains(region + QStringLiteral(" обл,")), qPrintable(address));
            results.clear();
        }
        // The whole file to a writer, at once: no statement of the worker holds it.
        SearchTestDatabase writer(file, SearchTestDatabase::Existing);
        writer.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        writer.exec(QStringLiteral("UPDATE KLADR SET name = 'Подмосковная' WHERE code = '50000000000'"));
        writer.exec(QStringLiteral("COMMIT"));
        QVERIFY2(writer.isValid(), qPrintable(writer.error()));
    }
}

void TestThreadDataBaseFind::keptCodeSetsFollowTheData()
{
    // The localities that bear both names searched are found from the names' code sets, kept from
    // one search to the next: a commit that gives another locality of the name a street of the
    // name reaches the next search, and one that takes a street away as well.
    WorkerOnFile worker;
    QVERIFY(worker.dir.isValid());
    const QString& file = worker.file;
    {
        SearchTestDatabase db(file);
        db.addLocality("Кратово", "п", "Поселок", "50027002000", "140130");
        db.addLocality("Кратово", "д", "Деревня", "50027003000", "140140");
        db.addStreet("Садовая", "ул", "Улица", "500270020000001", "140131");
        db.addNameTables();
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    ThreadDataBaseFind& thread = worker.thread;
    QList<SearchResult>& results = worker.results;
    const auto indexes = [&] {
        results.clear();
        thread.find(paramsFor("Кратово", "Садовая"));
        if (!thread.waitIdle(60000))
            return QStringList { QStringLiteral("timed out") };
        QCoreApplication::processEvents();
        QStringList found;
        for (const SearchResult& result : qAsConst(results)) {
            for (const QSqlRecord& row : result.rows)
                found << row.value(0).toString();
        }
        return found;
    };
    const auto write = [&file](const std::function<void(SearchTestDatabase&)>& change) {
        SearchTestDatabase writer(file, SearchTestDatabase::Existing);
        change(writer);
        // The names and their counts, as the import writes them.
        writer.exec(QStringLiteral("DROP TABLE KLADR_NAMES"));
        writer.exec(QStringLiteral("DROP TABLE STREET_NAMES"));
        writer.addNameTables();
        return writer.isValid() ? QString() : writer.error();
    };

    // Three times each: a name's first search reads no set, its second reads them, the third
    // finds them kept.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(indexes(), QStringList { "140131" });
    QCOMPARE(write([](SearchTestDatabase& db) {
        db.addStreet("Садовая", "ул", "Улица", "500270030000001", "140141");
    }),
        QString());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(indexes(), (QStringList { "140131", "140141" }));
    QCOMPARE(write([](SearchTestDatabase& db) {
        db.exec(QStringLiteral("DELETE FROM STREET WHERE code = '500270020000001'"));
    }),
        QString());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(indexes(), QStringList { "140141" });
}

void TestThreadDataBaseFind::distinctRows_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<int>("count");

    QTest::newRow("both, more than 100 on each half") << "Кратово"
                                                      << "Садовая%" << 100;
    QTest::newRow("both, one street") << "Кратово"
                                      << "Садовая 007" << 2;
    QTest::newRow("both, street mask beginning with %") << "Кратово"
                                                        << "%007" << 2;
    QTest::newRow("street only, more than 100") << ""
                                                << "Садовая%" << 100;
    // The statement of one level has no UNION: a record held twice is two rows.
    QTest::newRow("locality recorded twice") << "Дубль"
                                             << "" << 2;
}

void TestThreadDataBaseFind::distinctRows()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(int, count);

    const SearchRun run = runSearch(paramsFor(locality, street), m_RepeatFile);
    QCOMPARE(run.results.size(), 1);
    const SearchResult& result = run.results.first();

    // Every row the logged statement has before its limit, as often as it has it: its UNION
    // makes the rows of both levels distinct, the statement of one level does not.
    QString statement = run.stateLines.value(0).mid(QStringLiteral(">>>: ").size());
    QVERIFY(statement.endsWith(" LIMIT 100"));
    statement.chop(QStringLiteral(" LIMIT 100").size());
    QHash<QString, int> expected;
    int expectedRows = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "reference");
        db.setDatabaseName(m_RepeatFile);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec("PRAGMA case_sensitive_like=ON"));
        QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
        while (query.next()) {
            QStringList cells;
            for (int c = 0; c < query.record().count(); ++c)
                cells << query.value(c).toString();
            ++expected[cells.join('|')];
            ++expectedRows;
        }
    }
    QSqlDatabase::removeDatabase("reference");

    for (const QSqlRecord& record : result.rows) {
        QCOMPARE(record.count(), result.columns.count());
        QStringList cells;
        for (int c = 0; c < record.count(); ++c)
            cells << record.value(c).toString();
        const QString row = cells.join('|');
        QVERIFY2(
            expected.value(row) > 0, qPrintable("not a row of the statement, or shown too often: " + row));
        --expected[row];
    }
    QCOMPARE(result.rows.size(), count);
    QCOMPARE(result.rows.size(), qMin(100, expectedRows));
    // The result knows when rows were left out.
    QCOMPARE(result.truncated, expectedRows > 100);
}

void TestThreadDataBaseFind::interruptionStopsTheFetch()
{
    ThreadTimer timer;
    RecordingHost host;
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setTimer(&timer);
    thread.setDatabaseFile(m_RepeatFile);

    // The request arrives once the statements are prepared, just before the rows are fetched.
    EventLog log;
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalVisible, &thread,
        [&](bool v) {
            log.append(QStringLiteral("visible %1").arg(v));
            if (v)
                thread.cancel();
        },
        Qt::DirectConnection);
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalFind, &thread, [&](const SearchResult&) { log.append("find"); },
        Qt::DirectConnection);

    thread.find(paramsFor("Кратово", "Садовая%"));
    QVERIFY(thread.waitIdle(60000));

    QCOMPARE(log.events(), (QStringList { "visible 1", "visible 0" }));
    QVERIFY(!timer.isRunning());
    // An interrupted search is no error.
    QCOMPARE(host.lines().size(), 1);
    QVERIFY(host.lines().first().startsWith(">>>: "));
}

void TestThreadDataBaseFind::oneWorkerForEverySearch()
{
    // The window and velmora-tool keep one worker: every search, a refused or stopped one
    // included, runs on the same thread, and each ends with signalSearchDone.
    RecordingHost host;
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(m_RepeatFile);
    QSet<QThread*> threads;
    int done = 0;
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalVisible, &thread,
        [&](bool v) {
            threads.insert(QThread::currentThread());
            if (v && done == 1)
                thread.cancel();
        },
        Qt::DirectConnection);
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalSearchDone, &thread, [&] { ++done; }, Qt::DirectConnection);
    QList<SearchResult> results;
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalFind, &thread, [&](const SearchResult& r) { results << r; },
        Qt::DirectConnection);

    for (const SearchParams& params : { paramsFor("Кратово", ""), paramsFor("Кратово", "Садовая%"),
             paramsFor("", ""), paramsFor("Дубль", "") }) {
        thread.find(params);
        QVERIFY(thread.waitIdle(60000));
    }
    QCOMPARE(done, 4);
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.last().rows.size(), 2);
    QCOMPARE(threads.size(), 1);
    QVERIFY(!threads.contains(QThread::currentThread()));
    QVERIFY(thread.isRunning());
    QVERIFY(!thread.isBusy());
}

QTEST_GUILESS_MAIN(TestThreadDataBaseFind)
#include "tst_threaddatabasefind.moc"
