// SPDX-License-Identifier: GPL-3.0-or-later
// The region and district names read once per database give every row the address that a
// look-up per row gives, and are read again when the database changes.

#include "addressnamecache.h"
#include "recordinghost.h"
#include "resultfiller.h"
#include "searchtestdatabase.h"
#include "sqltext.h"
#include "tablemodel.h"
#include "threaddatabasefind.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Connection = QStringLiteral("addresses");

SearchParams paramsFor(const QString& locality, const QString& street)
{
    SearchParams params;
    params.level(SearchParams::LocalityLevel) = { locality, SqlText::isMask(locality) };
    params.level(SearchParams::StreetLevel) = { street, SqlText::isMask(street) };
    return params;
}

SearchResult search(const SearchParams& params, const QString& file)
{
    RecordingHost host;
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(file);
    SearchResult found;
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalFind, [&](const SearchResult& result) { found = result; });
    thread.find(params);
    thread.waitIdle();
    return found;
}

// The name look-up as a statement per row: the reference the cache must agree with.
QString lookedUp(const QSqlDatabase& db, const QString& code, bool bDistrict)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT name, scname FROM kladr INDEXED BY index_kladr_code WHERE code=")
            + SqlText::literal(code) + QStringLiteral(" LIMIT 1"))
        || !query.next())
        return QString();
    return QLatin1Char(',') + query.value(0).toString() + QLatin1Char(' ') + query.value(1).toString()
        + (bDistrict ? QStringLiteral(".") : QString());
}

QString addressByLookUps(const QSqlDatabase& db, const QSqlRecord& row, bool bStreet)
{
    const QString ss = row.value(5).toString();
    const QString regionCode = ss + QStringLiteral("000000000");
    QString address = row.value(0).toString();
    if (regionCode != row.value(4).toString())
        address += lookedUp(db, regionCode, false);
    // A district's own record is not its own district.
    const QString districtCode = ss + row.value(6).toString() + QStringLiteral("000000");
    if (districtCode != regionCode && districtCode != row.value(4).toString())
        address += lookedUp(db, districtCode, true);
    address += QLatin1Char(',') + row.value(3).toString() + QLatin1Char('.') + row.value(1).toString();
    // A row without an index starts with its first part.
    if (address.startsWith(QLatin1Char(',')))
        address.remove(0, 1);
    if (bStreet)
        address += QLatin1Char(',') + row.value(10).toString() + QLatin1Char('.') + row.value(8).toString();
    return address;
}

} // namespace

class TestAddressNames : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sameAsLookUpPerRow_data();
    void sameAsLookUpPerRow();
    void readAgainWhenTheDatabaseChanges();
    void missingCodeIndexFindsNothing();

private:
    QTemporaryDir m_Dir;
    QString m_File;
};

void TestAddressNames::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    m_File = m_Dir.filePath(QStringLiteral("KLADR.sqlite"));
    SearchTestDatabase db(m_File);
    db.addLocality("Москва", "г", "Город", "77000000000", "101000");
    db.addLocality("Московская", "обл", "Область", "50000000000", "");
    db.addLocality("Ленинский", "р-н", "Район", "50027000000", "");
    // A second record with the district's code: the look-up took the first.
    db.addLocality("Ленинский старый", "р-н", "Район", "50027000000", "", "51");
    db.addLocality("Видное", "г", "Город", "50027001000", "142700");
    db.addLocality("Химки", "г", "Город", "50000002000", "141400");
    db.addLocality("Заречный", "п", "Поселок", "50099003000", "143000"); // district 099 has no record
    db.addLocality("Кострома", "г", "Город", "44000001000", "156000"); // region 44 has no record
    db.addLocality("Кавычкинская", "обл", "Область", "7'000000000", "");
    db.addLocality("Апостроф", "с", "Село", "7'000004000", "700004");
    db.addLocality("Короткий", "с", "Село", "5", "700005"); // code shorter than its parts
    db.addStreet("Лесная", "ул", "Улица", "500270010000001", "142701");
    db.addStreet("Ленина", "ул", "Улица", "500270010000002", "");
    db.addStreet("Тверская", "ул", "Улица", "770000000000003", "125009");
    db.addStreet("Д'Арка", "ул", "Улица", "7'0000040000004", "700044");
    db.addStreet("Речная", "ул", "Улица", "500990030000005", "143001");
    db.addHouses("1-9", "500270010000002", "142703");
    db.addHouses("Ч(2-10)", "500990030000005", "143002");
    db.addNameTables();
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    db.close();

    QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection);
    connection.setDatabaseName(m_File);
    QVERIFY(connection.open());
}

void TestAddressNames::cleanupTestCase()
{
    QSqlDatabase::database(Connection, false).close();
    QSqlDatabase::removeDatabase(Connection);
}

void TestAddressNames::sameAsLookUpPerRow_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<int>("rows");

    QTest::newRow("locality") << "%"
                              << "" << 10;
    QTest::newRow("street") << ""
                            << "%" << 5;
    QTest::newRow("both") << "%"
                          << "%" << 6;
}

void TestAddressNames::sameAsLookUpPerRow()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(int, rows);

    const QSqlDatabase db = QSqlDatabase::database(Connection, false);
    const SearchParams searched = paramsFor(locality, street);
    const SearchResult result = search(searched, m_File);
    QCOMPARE(result.rows.size(), rows);

    TableModel model;
    ResultFiller::fill(result, model);

    const int address = model.columnCount() - 1;
    for (int row = 0; row < result.rows.size(); ++row) {
        QCOMPARE(model.data(model.index(row, address)).toString(),
            addressByLookUps(db, result.rows.at(row), !street.isEmpty()));
    }
}

void TestAddressNames::readAgainWhenTheDatabaseChanges()
{
    const QSqlDatabase db = QSqlDatabase::database(Connection, false);
    AddressNameCache names;
    QVERIFY(names.refresh(db));
    QCOMPARE(names.lookup("50000000000").name, QStringLiteral("Московская"));
    QVERIFY(names.refresh(db));
    QCOMPARE(names.loadCount(), 1);

    {
        // Another connection writes, as the import thread does.
        SearchTestDatabase writer(m_File, SearchTestDatabase::Existing);
        writer.exec("UPDATE KLADR SET name = 'Подмосковная' WHERE code = '50000000000'");
        QVERIFY2(writer.isValid(), qPrintable(writer.error()));
    }
    QVERIFY(names.refresh(db));
    QCOMPARE(names.loadCount(), 2);
    QCOMPARE(names.lookup("50000000000").name, QStringLiteral("Подмосковная"));
    QCOMPARE(names.lookup("50027000000").name, QStringLiteral("Ленинский"));
    QVERIFY(!names.lookup("50099000000").found);
}

void TestAddressNames::missingCodeIndexFindsNothing()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("KLADR.sqlite");
    {
        SearchTestDatabase db(file, SearchTestDatabase::WithoutIndexes);
        db.addLocality("Московская", "обл", "Область", "50000000000", "");
        QVERIFY2(db.isValid(), qPrintable(db.error()));
    }
    const QString connection = QStringLiteral("no-index");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(file);
        QVERIFY(db.open());
        // The look-up names index_kladr_code and fails without it; the cache finds nothing too.
        AddressNameCache names;
        QVERIFY(!names.refresh(db));
        QVERIFY(!names.lookup("50000000000").found);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

QTEST_GUILESS_MAIN(TestAddressNames)
#include "tst_addressnames.moc"
