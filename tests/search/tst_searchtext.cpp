// SPDX-License-Identifier: GPL-3.0-or-later
// The text the search makes without a database: statements, the postal-address line of every
// row shape, the line that says what was found, and the input as it is searched.

#include "postaladdress.h"
#include "searchquery.h"
#include "searchstatement.h"
#include "searchsummary.h"
#include "sqltext.h"

#include <QtTest>

namespace {

LevelFilter level(const QString& text)
{
    return { text, SqlText::isMask(text) };
}

} // namespace

class TestSearchText : public QObject {
    Q_OBJECT

private slots:
    void userTextIsOnlyALiteral_data();
    void userTextIsOnlyALiteral();
    void distinctNamesOnlyWhereListed();
    void address_data();
    void address();
    void summary_data();
    void summary();
    void normalized_data();
    void normalized();
    void refusals_data();
    void refusals();
    void bound_data();
    void bound();
};

void TestSearchText::userTextIsOnlyALiteral_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("literal");

    QTest::newRow("format placeholder") << "Мос%1"
                                        << "Лен%2"
                                        << "'МОС%1'";
    QTest::newRow("placeholder first, names table") << "%1ква"
                                                    << ""
                                                    << "'%1КВА'";
    QTest::newRow("apostrophe") << "x' OR '1'='1"
                                << ""
                                << "'X'' OR ''1''=''1'";
}

void TestSearchText::userTextIsOnlyALiteral()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QString, literal);

    const SearchStatement::NameStatements statements
        = SearchStatement::names(level(locality), level(street), { "KLADR_NAMES", "STREET_NAMES" });
    QVERIFY2(statements.logged.contains(literal), qPrintable(statements.logged));
    for (const QString& executed : statements.executed)
        QVERIFY2(executed.contains(literal), qPrintable(executed));
    QVERIFY(!statements.logged.contains("101"));
    if (!street.isEmpty())
        QVERIFY(SearchStatement::houseStreets(level(locality), level(street)).contains(literal));
}

void TestSearchText::distinctNamesOnlyWhereListed()
{
    // A mask that begins with a wildcard goes through the names table when the database has it.
    const LevelFilter mask = level("%ловка");
    const QString listed = SearchStatement::names(mask, {}, { "KLADR_NAMES" }).executed.join(' ');
    QVERIFY(listed.contains("k.name_upper IN (SELECT name_upper FROM KLADR_NAMES WHERE name_upper LIKE "
                            "'%ЛОВКА' )"));
    const QString plain = SearchStatement::names(mask, {}, {}).executed.join(' ');
    QVERIFY(plain.contains("k.name_upper LIKE '%ЛОВКА' "));
    QVERIFY(!plain.contains("KLADR_NAMES"));
    // Logged as the plain statement either way.
    QCOMPARE(SearchStatement::names(mask, {}, { "KLADR_NAMES" }).logged,
        SearchStatement::names(mask, {}, {}).logged);
}

void TestSearchText::address_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("street");
    QTest::addColumn<QString>("house");
    QTest::addColumn<QString>("address");

    // Regions 50 and 77 and district 50 027 have records; district 50 099 has none.
    QTest::newRow("region's own record") << "101000"
                                         << "77000000000"
                                         << "г"
                                         << "Москва" << false << ""
                                         << "101000,г.Москва";
    QTest::newRow("in a region, no district") << "141400"
                                              << "50000002000"
                                              << "г"
                                              << "Химки" << false << ""
                                              << "141400,Московская обл,г.Химки";
    QTest::newRow("in a district") << "142700"
                                   << "50027001000"
                                   << "г"
                                   << "Видное" << false << ""
                                   << "142700,Московская обл,Ленинский р-н.,г.Видное";
    QTest::newRow("district without a record") << "140000"
                                               << "50099001000"
                                               << "д"
                                               << "Глушь" << false << ""
                                               << "140000,Московская обл,д.Глушь";
    QTest::newRow("street") << "142701"
                            << "50027001000"
                            << "г"
                            << "Видное" << true << ""
                            << "142701,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная";
    QTest::newRow("house") << "142703"
                           << "50027001000"
                           << "г"
                           << "Видное" << true << "12к1"
                           << "142703,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная,д.12к1";
    QTest::newRow("street of a region's own record") << "125000"
                                                     << "77000000000"
                                                     << "г"
                                                     << "Москва" << true << ""
                                                     << "125000,г.Москва,ул.Лесная";
    // Mended: a district found by a locality mask named its district twice.
    QTest::newRow("district's own record") << "101582"
                                           << "50027000000"
                                           << "р-н"
                                           << "Ленинский" << false << ""
                                           << "101582,Московская обл,р-н.Ленинский";
    // Mended: a record without an index began with a comma.
    QTest::newRow("no index") << ""
                              << "50027001000"
                              << "с"
                              << "Мостовица" << false << ""
                              << "Московская обл,Ленинский р-н.,с.Мостовица";
    QTest::newRow("no index, region's own record") << ""
                                                   << "77000000000"
                                                   << "г"
                                                   << "Москва" << true << ""
                                                   << "г.Москва,ул.Лесная";
}

void TestSearchText::address()
{
    QFETCH(QString, index);
    QFETCH(QString, code);
    QFETCH(QString, type);
    QFETCH(QString, name);
    QFETCH(bool, street);
    QFETCH(QString, house);
    QFETCH(QString, address);

    const QHash<QString, NameLookup> records {
        { "50000000000", { true, "Московская", "обл" } },
        { "77000000000", { true, "Москва", "г" } },
        { "50027000000", { true, "Ленинский", "р-н" } },
    };
    PostalAddress::Fields fields;
    fields.index = index;
    fields.locality = name;
    fields.localityType = type;
    fields.code = code;
    fields.codeSs = code.left(2);
    fields.codeRrr = code.mid(2, 3);
    fields.street = street ? "Лесная" : QString();
    fields.streetType = street ? "ул" : QString();
    AddressShape shape;
    shape.street = street;
    shape.house = !house.isEmpty();
    const auto lookup = [&](const QString& c) { return records.value(c); };
    QCOMPARE(PostalAddress::compose(fields, shape, house, lookup), address);
    // The search worker composes the rest of a line once for rows that differ in their index.
    fields.index.clear();
    const QString rest = PostalAddress::compose(fields, shape, house, lookup);
    QCOMPARE(index.isEmpty() ? rest : index + ',' + rest, address);
}

void TestSearchText::summary_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("truncated");
    QTest::addColumn<QString>("line");

    QTest::newRow("nothing") << 0 << false
                             << "Ничего не найдено. Проверьте написание или задайте маску, например Гогол% "
                                "(% – любые буквы, _ – одна буква).";
    QTest::newRow("one") << 1 << false << "Найден 1 вариант.";
    QTest::newRow("two") << 2 << false << "Найдено 2 варианта.";
    QTest::newRow("five") << 5 << false << "Найдено 5 вариантов.";
    QTest::newRow("eleven") << 11 << false << "Найдено 11 вариантов.";
    QTest::newRow("twenty-one") << 21 << false << "Найден 21 вариант.";
    QTest::newRow("a hundred, all") << 100 << false << "Найдено 100 вариантов.";
    QTest::newRow("a hundred of more")
        << 100 << true << "Показаны первые 100 вариантов, найдено больше: уточните запрос.";
}

void TestSearchText::summary()
{
    QFETCH(int, rows);
    QFETCH(bool, truncated);
    QFETCH(QString, line);

    SearchResult result;
    result.rows.resize(rows);
    result.truncated = truncated;
    QCOMPARE(searchSummary(result), line);
}

void TestSearchText::normalized_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("searched");
    QTest::addColumn<bool>("mask");

    QTest::newRow("trailing blank") << "Москва "
                                    << "Москва" << false;
    QTest::newRow("blanks and tabs around") << " \tНовая Москва\t "
                                            << "Новая Москва" << false;
    QTest::newRow("inner run") << "Новая    Москва"
                               << "Новая Москва" << false;
    QTest::newRow("no-break space") << "Новая\u00a0Москва"
                                    << "Новая Москва" << false;
    QTest::newRow("mask") << " Гогол% "
                          << "Гогол%" << true;
    QTest::newRow("blanks only") << "   "
                                 << "" << false;
    QTest::newRow("byte-order mark kept") << "\ufeffМосква"
                                          << "\ufeffМосква" << false;
}

void TestSearchText::normalized()
{
    QFETCH(QString, typed);
    QFETCH(QString, searched);
    QFETCH(bool, mask);

    SearchParams params;
    params.level(SearchParams::LocalityLevel) = { typed, false };
    params.level(SearchParams::StreetLevel) = { typed, false };
    params.house = typed;
    const SearchParams normal = SearchQuery::normalized(params);
    for (int i : { SearchParams::LocalityLevel, SearchParams::StreetLevel }) {
        QCOMPARE(normal.level(i).text, searched);
        QCOMPARE(normal.level(i).isMask, mask);
    }
    QCOMPARE(normal.house, searched);
}

void TestSearchText::refusals_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("house");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("nothing") << ""
                             << ""
                             << ""
                             << "Поиск не выполнен: введите название населенного пункта или улицы.";
    QTest::newRow("blanks only") << "  "
                                 << " "
                                 << ""
                                 << "Поиск не выполнен: введите название населенного пункта или улицы.";
    QTest::newRow("house without digit") << ""
                                         << "Лесная"
                                         << "дом"
                                         << "Поиск не выполнен: в номере дома \"дом\" нет ни одной цифры.";
    QTest::newRow("NUL") << QString("Мос") + QChar(0) + "ква"
                         << ""
                         << ""
                         << "Поиск не выполнен: в тексте запроса есть нулевой символ (NUL).";
    QTest::newRow("searchable") << ""
                                << "Лесная"
                                << "12"
                                << "";
}

void TestSearchText::refusals()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QString, house);
    QFETCH(QString, refusal);

    SearchParams params;
    params.level(SearchParams::LocalityLevel) = level(locality);
    params.level(SearchParams::StreetLevel) = level(street);
    params.house = house;
    QString refused = SearchQuery::inputRefusal(params);
    if (refused.isEmpty())
        refused = SearchQuery::create(params)->refusal();
    QCOMPARE(refused, refusal);
}

void TestSearchText::bound_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("values");

    QTest::newRow("none") << "SELECT 1"
                          << "SELECT 1" << QStringList();
    QTest::newRow("names and constants")
        << "SELECT CASE h WHEN 0 THEN d ELSE '---' END FROM k WHERE n = 'МОСКВА' AND s IN ('ЁЛКИ', 'ЕЛКИ') "
           "AND st = '00'"
        << "SELECT CASE h WHEN 0 THEN d ELSE ? END FROM k WHERE n = ? AND s IN (?, ?) AND st = ?"
        << QStringList { "---", "МОСКВА", "ЁЛКИ", "ЕЛКИ", "00" };
    // A doubled apostrophe is one apostrophe of the value, never the end of the literal.
    QTest::newRow("apostrophes") << "WHERE n = 'X'' OR ''1''=''1' AND e = ''"
                                 << "WHERE n = ? AND e = ?" << QStringList { "X' OR '1'='1", "" };
    QTest::newRow("apostrophe last in the value") << "WHERE n = 'Д''' LIMIT 1"
                                                  << "WHERE n = ? LIMIT 1" << QStringList { "Д'" };
    // Left open, the statement stays as it was, and fails to compile as it would have.
    QTest::newRow("open literal") << "WHERE a = 'b' AND n = 'x"
                                  << "WHERE a = ? AND n = 'x" << QStringList { "b" };
}

void TestSearchText::bound()
{
    QFETCH(QString, statement);
    QFETCH(QString, text);
    QFETCH(QStringList, values);
    const SearchStatement::Bound bound = SearchStatement::bound(statement);
    QCOMPARE(bound.text, text);
    QCOMPARE(bound.values, values);
}

QTEST_GUILESS_MAIN(TestSearchText)
#include "tst_searchtext.moc"
