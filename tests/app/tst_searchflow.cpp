// SPDX-License-Identifier: GPL-3.0-or-later
// The road of a search through the window, offscreen: the first request imports a small
// classifier, then every request runs the search thread and fills the result table.

#include "threaddatabasecreate.h"
#include "threaddatabasefind.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using WindowFixture::writeTable;

namespace {

const QString Success = QStringLiteral("Запрос успешно выполнен");
const QString ImportStart = QStringLiteral("Начало проверки и/или создания базы данных.");
const QString Address = QStringLiteral("Почтовый адрес");
const QStringList CityHeaders { "Индекс", "Населенный пункт", "Тип пункта" };
const QStringList StreetHeaders { "Улица", "Тип объекта" };
const QString HomeHeader = QStringLiteral("Номера домов (Н-нечетные, Ч-четные, --- все)");

} // namespace

class TestSearchFlow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void firstRequestImportsThenSearches();
    void headers_data();
    void headers();
    void addresses_data();
    void addresses();
    void moreThanHundredMatches();
    void saysWhatWasFound_data();
    void saysWhatWasFound();
    void emptyFieldIsRefused();
    void houseSearch_data();
    void houseSearch();
    void houseRowClearSearchesAsBefore();
    void houseWithoutDigitIsRefused();
    // Last: it replaces the classifier's localities.
    void addressesFollowAnImport();

private:
    template <typename T> T* child(const char* name) const
    {
        return WindowFixture::child<T>(m_pWindow, name);
    }
    QStringList logLines() const;
    // Fills the level fields as a user would and presses Enter; returns when the search has ended.
    // The house row is ticked when a house is given and bHouseTicked holds.
    void search(const QString& locality, const QString& street, const QString& house = QString(),
        bool bHouseTicked = true);
    QStringList tableHeaders() const;
    QStringList column(int column) const;
    // Every row as "index|houses|address", sorted.
    QStringList houseRows() const;

    QTemporaryDir m_Dir;
    MainWindow* m_pWindow = nullptr;
};

void TestSearchFlow::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    // The window's own settings go to the test's directory, not to the user's.
    const QString base = WindowFixture::useAsAppDir(m_Dir);
    QVERIFY(!base.isEmpty());

    // KLADR codes: region 2, district 3, city 3, settlement 3, actuality 2.
    QList<QStringList> kladr {
        { "Москва", "г", "7700000000000", "101000" },
        { "Московская", "обл", "5000000000000", "" },
        { "Ленинский", "р-н", "5002700000000", "" },
        { "Видное", "г", "5002700100000", "142700" },
        { "Химки", "г", "5000000200000", "141400" },
        { "Владимирская", "обл", "3300000000000", "" },
        { "Заречный", "п", "5009900300000", "143000" }, // district 099 has no record
        { "Кострома", "г", "4400000100000", "156000" }, // region 44 has no record
        { "Кавычкинская", "обл", "7'00000000000", "" }, // a code the look-up must quote
        { "Апостроф", "с", "7'00000400000", "700004" },
    };
    for (int i = 1; i <= 150; ++i)
        kladr << QStringList { "Ивановка", "д",
            QStringLiteral("33000%1").arg(i, 6, 10, QLatin1Char('0')) + "00", "601000" };
    QVERIFY(writeTable(base + "/KLADR.DBF", KladrSample::Table::Kladr, kladr));
    QVERIFY(writeTable(base + "/STREET.DBF", KladrSample::Table::Street,
        { { "Лесная", "ул", "50027001000000100", "142701" },
            { "Д'Арка", "ул", "50000002000000200", "141402" },
            { "Тверская", "ул", "77000000000000300", "125009" },
            { "Садовая", "ул", "50027001000000200", "142710" } }));
    QVERIFY(writeTable(base + "/DOMA.DBF", KladrSample::Table::Doma,
        { { "1-9", "", "ДОМ", "5002700100000010001", "142703" },
            { "Н(1-15),Ч(2-20),12к1", "", "ДОМ", "5002700100000020001", "142711" },
            { "12к1,12к2", "", "ДОМ", "5002700100000020002", "142712" },
            { "12А", "", "ДОМ", "5002700100000020003", "" } }));

    m_pWindow = new MainWindow;
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
}

void TestSearchFlow::cleanupTestCase()
{
    delete m_pWindow;
    m_pWindow = nullptr;
}

QStringList TestSearchFlow::logLines() const
{
    const auto* status = child<QComboBox>("status");
    QStringList lines;
    for (int i = 0; i < status->count(); ++i)
        lines << status->itemText(i).mid(QStringLiteral("hh:mm:ss.zzz: ").size());
    return lines;
}

void TestSearchFlow::search(
    const QString& locality, const QString& street, const QString& house, bool bHouseTicked)
{
    auto* fourth = child<QLineEdit>("leFourthLevel");
    auto* fifth = child<QLineEdit>("leFifthLevel");
    auto* houseEdit = child<QLineEdit>("leHouseLevel");
    child<QCheckBox>("cbFourthLevel")->setChecked(!locality.isEmpty() || street.isEmpty());
    child<QCheckBox>("cbFifthLevel")->setChecked(!street.isEmpty());
    child<QCheckBox>("cbHouseLevel")->setChecked(!house.isEmpty() && bHouseTicked);
    fourth->setText(locality);
    fifth->setText(street);
    houseEdit->setText(house);

    const int before = logLines().size();
    QTest::keyClick(houseEdit->isEnabled() ? houseEdit
            : fourth->isEnabled()          ? fourth
                                           : fifth,
        Qt::Key_Return);
    // Done when the search has written its outcome and the busy display is gone.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QStringList added = logLines().mid(before);
            return added.contains(Success)
                || std::any_of(added.cbegin(), added.cend(), [](const QString& line) {
                       return line.startsWith("Ошибка") || line.startsWith("Поиск не выполнен");
                   });
        }(),
        120000);
    QTRY_VERIFY(!m_pWindow->searchThread()->isBusy());
    QTRY_VERIFY(child<QWidget>("frame")->isHidden());
}

QStringList TestSearchFlow::tableHeaders() const
{
    const QAbstractItemModel* model = child<QTableView>("tResults")->model();
    QStringList headers;
    for (int c = 0; model && c < model->columnCount(); ++c)
        headers << model->headerData(c, Qt::Horizontal).toString();
    return headers;
}

QStringList TestSearchFlow::column(int column) const
{
    const QAbstractItemModel* model = child<QTableView>("tResults")->model();
    QStringList cells;
    for (int r = 0; model && r < model->rowCount(); ++r)
        cells << model->index(r, column).data().toString();
    cells.sort();
    return cells;
}

QStringList TestSearchFlow::houseRows() const
{
    const QAbstractItemModel* model = child<QTableView>("tResults")->model();
    QStringList rows;
    for (int r = 0; model && r < model->rowCount(); ++r) {
        rows << QStringList { model->index(r, 0).data().toString(), model->index(r, 5).data().toString(),
            model->index(r, 6).data().toString() }
                    .join(QLatin1Char('|'));
    }
    rows.sort();
    return rows;
}

void TestSearchFlow::firstRequestImportsThenSearches()
{
    QVERIFY(!m_pWindow->isDataBaseReady());
    search("Химки", "");

    const QStringList lines = logLines();
    QCOMPARE(lines.count(ImportStart), 1);
    QCOMPARE(lines.count(Success), 1);
    QVERIFY(lines.indexOf(ImportStart) < lines.indexOf(Success));
    QVERIFY(m_pWindow->isDataBaseReady());
    QVERIFY(QFile::exists(m_Dir.filePath("KLADR.sqlite")));
    QCOMPARE(column(3), QStringList { "141400,Московская обл,г.Химки" });
}

void TestSearchFlow::headers_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("locality") << "Видное"
                              << "" << CityHeaders + QStringList { Address };
    QTest::newRow("street") << ""
                            << "Лесная" << CityHeaders + StreetHeaders + QStringList { Address };
    QTest::newRow("both") << "Видное"
                          << "Лесная" << CityHeaders + StreetHeaders + QStringList { HomeHeader, Address };
    QTest::newRow("no rows") << "Нигде"
                             << "" << CityHeaders + QStringList { Address };
}

void TestSearchFlow::headers()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QStringList, expected);

    search(locality, street);
    QCOMPARE(logLines().value(logLines().size() - 2), Success);
    QCOMPARE(tableHeaders(), expected);
}

void TestSearchFlow::addresses_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("locality in a district")
        << "видное"
        << "" << QStringList { "142700,Московская обл,Ленинский р-н.,г.Видное" };
    QTest::newRow("street in a district's locality")
        << "Видное"
        << "Лесная"
        << QStringList { "142701,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная",
               "142703,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная" };
    QTest::newRow("region-level locality") << "Москва"
                                           << "" << QStringList { "101000,г.Москва" };
    QTest::newRow("street of a region-level locality")
        << ""
        << "Тверская" << QStringList { "125009,г.Москва,ул.Тверская" };
    QTest::newRow("name with an apostrophe")
        << ""
        << "Д'Арка" << QStringList { "141402,Московская обл,г.Химки,ул.Д'Арка" };
    QTest::newRow("mask") << "Хим%"
                          << "" << QStringList { "141400,Московская обл,г.Химки" };
    QTest::newRow("district without a record") << "Заречный"
                                               << "" << QStringList { "143000,Московская обл,п.Заречный" };
    QTest::newRow("region without a record") << "Кострома"
                                             << "" << QStringList { "156000,г.Кострома" };
    // A district's own record, found by a mask, names its district once; without an index the
    // line starts with the region.
    QTest::newRow("district's own record") << "Ленин%"
                                           << "" << QStringList { "Московская обл,р-н.Ленинский" };
    QTest::newRow("blanks and Ё typed")
        << "  видноё "
        << "" << QStringList { "142700,Московская обл,Ленинский р-н.,г.Видное" };
    QTest::newRow("apostrophe in the looked-up code")
        << "Апостроф"
        << "" << QStringList { "700004,Кавычкинская обл,с.Апостроф" };
}

void TestSearchFlow::addresses()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QStringList, expected);

    search(locality, street);
    QCOMPARE(logLines().value(logLines().size() - 2), Success);
    QCOMPARE(tableHeaders().last(), Address);
    QCOMPARE(column(tableHeaders().size() - 1), expected);
}

void TestSearchFlow::moreThanHundredMatches()
{
    search("Ивановка", "");
    const QAbstractItemModel* model = child<QTableView>("tResults")->model();
    QCOMPARE(model->rowCount(), 100);
    QCOMPARE(column(3), QVector<QString>(100, "601000,Владимирская обл,д.Ивановка").toList());
}

void TestSearchFlow::saysWhatWasFound_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("line");

    QTest::newRow("one") << "Видное"
                         << "Найден 1 вариант.";
    QTest::newRow("nothing") << "Нигде"
                             << "Ничего не найдено. Проверьте написание или задайте маску, например Гогол% "
                                "(% – любые буквы, _ – одна буква).";
    QTest::newRow("more than shown") << "Ивановка"
                                     << "Показаны первые 100 вариантов, найдено больше: уточните запрос.";
}

void TestSearchFlow::saysWhatWasFound()
{
    QFETCH(QString, locality);
    QFETCH(QString, line);

    search(locality, QString());
    const QStringList lines = logLines();
    QCOMPARE(lines.value(lines.size() - 2), Success);
    QCOMPARE(lines.last(), line);
}

void TestSearchFlow::emptyFieldIsRefused()
{
    search("Видное", "");
    const QStringList before = column(3);
    QVERIFY(!before.isEmpty());

    search("", "");
    QVERIFY(logLines().last().startsWith("Поиск не выполнен"));
    QVERIFY(!logLines().last().startsWith(">>>"));
    // The last result does not stand under the refusal, and the window is usable again.
    QVERIFY(column(3).isEmpty());
    QVERIFY(child<QWidget>("gbFindParams")->isEnabled());
    QVERIFY(child<QWidget>("gpResults")->isEnabled());
}

void TestSearchFlow::addressesFollowAnImport()
{
    search("Химки", "");
    QCOMPARE(column(3), QStringList { "141400,Московская обл,г.Химки" });

    // The region is renamed in the classifier and its table imported again into the same
    // database, while the window keeps its connection open.
    QVERIFY(writeTable(m_Dir.filePath("BASE/KLADR.DBF"), KladrSample::Table::Kladr,
        { { "Подмосковная", "обл", "5000000000000", "" }, { "Химки", "г", "5000000200000", "141400" },
            { "Новосёлки", "д", "5000000300000", "141500" } }));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "drop");
        db.setDatabaseName(m_Dir.filePath("KLADR.sqlite"));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec("DROP TABLE KLADR"));
        db.close();
    }
    QSqlDatabase::removeDatabase("drop");
    QSignalSpy created(m_pWindow->importThread(), &ThreadDataBaseCreate::signalDataBaseCreated);
    m_pWindow->startDataBaseCreate();
    QVERIFY(created.wait(120000) || created.count() == 1);
    QCOMPARE(created.first().first().toBool(), true);
    QTRY_VERIFY(!m_pWindow->importThread()->isRunning());
    QTRY_VERIFY(child<QWidget>("frame")->isHidden());

    search("Химки", "");
    QCOMPARE(column(3), QStringList { "141400,Подмосковная обл,г.Химки" });
    // A mask beginning with a wildcard finds a name that only the new table has.
    search("%сёлки", "");
    QCOMPARE(column(3), QStringList { "141500,Подмосковная обл,д.Новосёлки" });
}

void TestSearchFlow::houseSearch_data()
{
    QTest::addColumn<QString>("house");
    QTest::addColumn<QStringList>("rows");

    const QString street = QStringLiteral("Московская обл,Ленинский р-н.,г.Видное,ул.Садовая,д.");
    QTest::newRow("named in two groups")
        << "12 корп. 1"
        << QStringList { "142711|Н(1-15),Ч(2-20),12к1|142711," + street + "12к1",
               "142712|12к1,12к2|142712," + street + "12к1" };
    QTest::newRow("named in a group without index")
        << "д. 12а" << QStringList { "142710|12А|142710," + street + "12А" };
    QTest::newRow("inside a range") << "7"
                                    << QStringList { "142711|Н(1-15),Ч(2-20),12к1|142711," + street + "7" };
    QTest::newRow("in no list") << "99" << QStringList { "142710|---|142710," + street + "99" };
}

void TestSearchFlow::houseSearch()
{
    QFETCH(QString, house);
    QFETCH(QStringList, rows);

    search("Видное", "Садовая", house);
    QCOMPARE(logLines().value(logLines().size() - 2), Success);
    QCOMPARE(tableHeaders(), (CityHeaders + StreetHeaders + QStringList { HomeHeader, Address }));
    rows.sort();
    QCOMPARE(houseRows(), rows);
}

void TestSearchFlow::houseRowClearSearchesAsBefore()
{
    // A house typed but not ticked: the street's groups as without the house row.
    search("Видное", "Садовая", "7", false);
    QCOMPARE(logLines().value(logLines().size() - 2), Success);
    const QString street = QStringLiteral("Московская обл,Ленинский р-н.,г.Видное,ул.Садовая");
    QStringList rows { "142710|---|142710," + street, "|12А|" + street,
        "142711|Н(1-15),Ч(2-20),12к1|142711," + street, "142712|12к1,12к2|142712," + street };
    rows.sort();
    QCOMPARE(houseRows(), rows);
}

void TestSearchFlow::houseWithoutDigitIsRefused()
{
    search("Видное", "Садовая", "7");
    QVERIFY(!houseRows().isEmpty());

    search("Видное", "Садовая", "корпус");
    QCOMPARE(
        logLines().last(), QStringLiteral("Поиск не выполнен: в номере дома \"корпус\" нет ни одной цифры."));
    QVERIFY(houseRows().isEmpty());
    QVERIFY(child<QWidget>("gbFindParams")->isEnabled());
}

QTEST_MAIN(TestSearchFlow)
#include "tst_searchflow.moc"
