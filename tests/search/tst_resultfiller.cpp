#include "resultfiller.h"
#include "searchtestdatabase.h"
#include "tablemodel.h"
#include "threaddatabasefind.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Address = QStringLiteral("Почтовый адрес");
const QStringList CityHeaders { "Индекс", "Населенный пункт", "Тип пункта" };
const QStringList StreetHeaders { "Улица", "Тип объекта" };
const QString HomeHeader = QStringLiteral("Номера домов (Н-нечетные, Ч-четные, --- все)");

void setLevels(SearchParams& params, const QString& locality, const QString& street)
{
    static const QRegularExpression maskCharacters(QStringLiteral("[%_]"));
    params.level(SearchParams::LocalityLevel) = { locality, locality.contains(maskCharacters) };
    params.level(SearchParams::StreetLevel) = { street, street.contains(maskCharacters) };
}

QStringList headers(const TableModel& model)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.headerData(column, Qt::Horizontal).toString();
    return texts;
}

QStringList column(const TableModel& model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.data(model.index(row, column)).toString();
    texts.sort();
    return texts;
}

} // namespace

class TestResultFiller : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void address_data();
    void address();
    void noStreetPartWithoutStreetLevel();
    void headersAndCells_data();
    void headersAndCells();
    void emptyResultStillGetsHeaders();
    void refillReplacesEverything();
    void everyRowOfAFullResultGetsItsAddress();
    void failingLookupAddsNothing();

private:
    // Runs the real search thread, so the rows and the column map are what the window gets.
    SearchResult search(SearchParams& params, const QString& locality, const QString& street,
        const QString& file = QString());

    QTemporaryDir m_Dir;
    QString m_File;
    QSqlDatabase m_Lookup;
};

void TestResultFiller::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    m_File = m_Dir.filePath("KLADR.sqlite");
    {
        SearchTestDatabase db(m_File);
        db.addLocality("Москва", "г", "Город", "77000000000", "101000");
        db.addLocality("Московская", "обл", "Область", "50000000000", "");
        db.addLocality("Ленинский", "р-н", "Район", "50027000000", "");
        db.addLocality("Видное", "г", "Город", "50027001000", "142700");
        db.addLocality("Химки", "г", "Город", "50000002000", "141400");
        db.addLocality("Заречный", "п", "Поселок", "50099003000", "143000"); // district 099 has no record
        db.addLocality("Кострома", "г", "Город", "44000001000", "156000"); // region 44 has no record
        db.addLocality("Кавычкинская", "обл", "Область", "7'000000000", "");
        db.addLocality("Апостроф", "с", "Село", "7'000004000", "700004");
        db.addLocality("Владимирская", "обл", "Область", "33000000000", "");
        for (int i = 1; i <= 120; ++i)
            db.addLocality("Ивановка", "д", "Деревня", QStringLiteral("33000%1").arg(i, 6, 10, QLatin1Char('0')), "601000");
        db.addStreet("Лесная", "ул", "Улица", "500270010000001", "142701");
        db.addStreet("Д'Арка", "ул", "Улица", "500000020000003", "141402");
        db.addHouses("1-9", "500270010000001", "142703");
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    m_Lookup = QSqlDatabase::addDatabase("QSQLITE", "filler-lookup");
    m_Lookup.setDatabaseName(m_File);
    QVERIFY(m_Lookup.open());
}

void TestResultFiller::cleanupTestCase()
{
    m_Lookup.close();
    m_Lookup = QSqlDatabase();
    QSqlDatabase::removeDatabase("filler-lookup");
}

SearchResult TestResultFiller::search(SearchParams& params, const QString& locality, const QString& street,
    const QString& file)
{
    setLevels(params, locality, street);
    RecordingHost host;
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(file.isEmpty() ? m_File : file);
    thread.setSearchParams(&params);
    SearchResult result;
    bool bFound = false;
    QObject::connect(&thread, &ThreadDataBaseFind::signalFind, [&](const SearchResult& rows) {
        result = rows;
        bFound = true;
    });
    thread.start();
    thread.wait();
    if (!bFound)
        qWarning() << "search failed:" << host.lines();
    return result;
}

void TestResultFiller::address_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("region-level locality: no region, no district") << "Москва" << "" << QStringList { "101000,г.Москва" };
    QTest::newRow("district digits 000: region only")
        << "Химки" << "" << QStringList { "141400,Московская обл,г.Химки" };
    QTest::newRow("locality in a district") << "видное" << ""
                                            << QStringList { "142700,Московская обл,Ленинский р-н.,г.Видное" };
    QTest::newRow("district without a record") << "Заречный" << "" << QStringList { "143000,Московская обл,п.Заречный" };
    QTest::newRow("region without a record") << "Кострома" << "" << QStringList { "156000,г.Кострома" };
    QTest::newRow("street in a district's locality")
        << "Видное" << "Лесная"
        << QStringList { "142701,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная",
               "142703,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная" };
    QTest::newRow("street with apostrophe")
        << "" << "Д'Арка" << QStringList { "141402,Московская обл,г.Химки,ул.Д'Арка" };
    QTest::newRow("apostrophe in the looked-up code")
        << "Апостроф" << "" << QStringList { "700004,Кавычкинская обл,с.Апостроф" };
}

void TestResultFiller::address()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QStringList, addresses);

    SearchParams params;
    const SearchResult result = search(params, locality, street);
    TableModel model;
    ResultFiller(params, m_Lookup).fill(result, model);

    QCOMPARE(model.headerData(model.columnCount() - 1, Qt::Horizontal).toString(), Address);
    QCOMPARE(column(model, model.columnCount() - 1), addresses);
}

void TestResultFiller::noStreetPartWithoutStreetLevel()
{
    SearchParams params;
    const SearchResult result = search(params, "Видное", "Лесная");
    // The street columns hold values, but the street level is no longer searched for.
    params.level(SearchParams::StreetLevel).text.clear();
    TableModel model;
    ResultFiller(params, m_Lookup).fill(result, model);
    QCOMPARE(column(model, model.columnCount() - 1),
        (QStringList { "142701,Московская обл,Ленинский р-н.,г.Видное", "142703,Московская обл,Ленинский р-н.,г.Видное" }));
}

void TestResultFiller::headersAndCells_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QStringList>("expectedHeaders");
    QTest::addColumn<QStringList>("firstRow");

    QTest::newRow("locality") << "Химки" << "" << CityHeaders + QStringList { Address }
                              << QStringList { "141400", "Химки", "Город", "141400,Московская обл,г.Химки" };
    QTest::newRow("street") << "" << "Д'Арка" << CityHeaders + StreetHeaders + QStringList { Address }
                            << QStringList { "141402", "Химки", "Город", "Д'Арка", "Улица",
                                   "141402,Московская обл,г.Химки,ул.Д'Арка" };
    QTest::newRow("both") << "Видное" << "Лесная" << CityHeaders + StreetHeaders + QStringList { HomeHeader, Address }
                          << QStringList { "142701", "Видное", "Город", "Лесная", "Улица", "---",
                                 "142701,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная" };
}

void TestResultFiller::headersAndCells()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QStringList, expectedHeaders);
    QFETCH(QStringList, firstRow);

    SearchParams params;
    const SearchResult result = search(params, locality, street);
    TableModel model;
    ResultFiller(params, m_Lookup).fill(result, model);

    QCOMPARE(headers(model), expectedHeaders);
    QVERIFY(model.rowCount() >= 1);
    // The row whose index is the lowest, so the "both" case does not depend on the row order.
    int first = 0;
    for (int row = 1; row < model.rowCount(); ++row) {
        if (model.data(model.index(row, 0)).toString() < model.data(model.index(first, 0)).toString())
            first = row;
    }
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c)
        cells << model.data(model.index(first, c)).toString();
    QCOMPARE(cells, firstRow);
}

void TestResultFiller::emptyResultStillGetsHeaders()
{
    SearchParams params;
    const SearchResult result = search(params, "", "Нет такой%");
    QCOMPARE(result.columns.count(), 11);
    TableModel model;
    ResultFiller(params, m_Lookup).fill(result, model);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(headers(model), CityHeaders + StreetHeaders + QStringList { Address });
}

void TestResultFiller::refillReplacesEverything()
{
    TableModel model;
    SearchParams params;
    ResultFiller(params, m_Lookup).fill(search(params, "Видное", "Лесная"), model);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 7);

    ResultFiller(params, m_Lookup).fill(search(params, "Москва", ""), model);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(headers(model), CityHeaders + QStringList { Address });
    QCOMPARE(column(model, 3), QStringList { "101000,г.Москва" });
}

void TestResultFiller::everyRowOfAFullResultGetsItsAddress()
{
    SearchParams params;
    const SearchResult result = search(params, "Ивановка", "");
    TableModel model;
    ResultFiller(params, m_Lookup).fill(result, model);
    QCOMPARE(model.rowCount(), 100);
    QCOMPARE(column(model, 3), QVector<QString>(100, "601000,Владимирская обл,д.Ивановка").toList());
}

void TestResultFiller::failingLookupAddsNothing()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("KLADR.sqlite");
    {
        // Without index_kladr_code the lookup statement fails to prepare.
        SearchTestDatabase db(file, SearchTestDatabase::WithoutIndexes);
        db.addLocality("Московская", "обл", "Область", "50000000000", "");
        db.addLocality("Ленинский", "р-н", "Район", "50027000000", "");
        db.addLocality("Видное", "г", "Город", "50027001000", "142700");
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    QSqlDatabase lookup = QSqlDatabase::addDatabase("QSQLITE", "filler-no-index");
    lookup.setDatabaseName(file);
    QVERIFY(lookup.open());
    {
        SearchParams params;
        const SearchResult result = search(params, "Видное", "", file);
        TableModel model;
        ResultFiller filler(params, lookup);
        QVERIFY(!filler.lookupName("50000000000").found);
        filler.fill(result, model);
        QCOMPARE(column(model, 3), QStringList { "142700,г.Видное" });
    }
    lookup.close();
    lookup = QSqlDatabase();
    QSqlDatabase::removeDatabase("filler-no-index");
}

QTEST_GUILESS_MAIN(TestResultFiller)
#include "tst_resultfiller.moc"
