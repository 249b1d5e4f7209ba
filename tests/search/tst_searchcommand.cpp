// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchtestdatabase.h"
#include "toolrun.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The search command with these arguments.
ToolRun runSearch(const QStringList& arguments)
{
    return runTool(QStringList { QStringLiteral("search") } + arguments);
}

} // namespace

class TestSearchCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void printsTheVisibleTable_data();
    void printsTheVisibleTable();
    void noRowsIsASearchThatRan();
    void refusesWithoutLevels();
    void refusesHouseWithoutDigit();
    void missingDatabase();
    void badArguments_data();
    void badArguments();

private:
    QTemporaryDir m_Dir;
};

void TestSearchCommand::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    SearchTestDatabase db(m_Dir.filePath("KLADR.sqlite"));
    db.addLocality("Московская", "обл", "Область", "50000000000", "");
    db.addLocality("Ленинский", "р-н", "Район", "50027000000", "");
    db.addLocality("Видное", "г", "Город", "50027001000", "142700");
    db.addStreet("Лесная", "ул", "Улица", "500270010000001", "142701");
    db.addHouses("1-9", "500270010000001", "142703");
    db.addHouses("12к1,Н(11-19)", "500270010000001", "142704");
    QVERIFY2(db.isValid(), qPrintable(db.error()));
}

void TestSearchCommand::printsTheVisibleTable_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("locality") << QStringList { "--locality", "видное" }
                              << QStringList { "Индекс\tНаселенный пункт\tТип пункта\tПочтовый адрес",
                                     "142700\tВидное\tГород\t142700,Московская обл,Ленинский р-н.,г.Видное" };
    QTest::newRow("street mask")
        << QStringList { "--street", "Лес%" }
        << QStringList {
               "Индекс\tНаселенный пункт\tТип пункта\tУлица\tТип объекта\tПочтовый адрес",
               "142701\tВидное\tГород\tЛесная\tУлица\t142701,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная"
           };
    QTest::newRow("both, houses first by index")
        << QStringList { "--locality", "Видное", "--street", "Лесная" }
        << QStringList { "Индекс\tНаселенный пункт\tТип пункта\tУлица\tТип объекта\t"
                         "Номера домов (Н-нечетные, Ч-четные, --- все)\tПочтовый адрес",
               "142701\tВидное\tГород\tЛесная\tУлица\t---\t142701,Московская обл,Ленинский "
               "р-н.,г.Видное,ул.Лесная",
               "142703\tВидное\tГород\tЛесная\tУлица\t1-9\t142703,Московская обл,Ленинский "
               "р-н.,г.Видное,ул.Лесная",
               "142704\tВидное\tГород\tЛесная\tУлица\t12к1,Н(11-19)\t142704,Московская обл,Ленинский "
               "р-н.,г.Видное,ул.Лесная" };
    QTest::newRow("house named in a list")
        << QStringList { "--locality", "Видное", "--street", "Лесная", "--house", "12 корп. 1" }
        << QStringList { "Индекс\tНаселенный пункт\tТип пункта\tУлица\tТип объекта\t"
                         "Номера домов (Н-нечетные, Ч-четные, --- все)\tПочтовый адрес",
               "142704\tВидное\tГород\tЛесная\tУлица\t12к1,Н(11-19)\t142704,Московская обл,Ленинский "
               "р-н.,г.Видное,ул.Лесная,д.12к1" };
    QTest::newRow("house in no list, street only")
        << QStringList { "--street", "Лесная", "--house", "д. 40" }
        << QStringList { "Индекс\tНаселенный пункт\tТип пункта\tУлица\tТип объекта\t"
                         "Номера домов (Н-нечетные, Ч-четные, --- все)\tПочтовый адрес",
               "142701\tВидное\tГород\tЛесная\tУлица\t---\t142701,Московская обл,Ленинский "
               "р-н.,г.Видное,ул.Лесная,д.40" };
    QTest::newRow("house without a street is not searched")
        << QStringList { "--locality", "видное", "--house", "12" }
        << QStringList { "Индекс\tНаселенный пункт\tТип пункта\tПочтовый адрес",
               "142700\tВидное\tГород\t142700,Московская обл,Ленинский р-н.,г.Видное" };
}

void TestSearchCommand::printsTheVisibleTable()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, lines);

    ToolRun run = runSearch(QStringList { m_Dir.path() } + arguments);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(!run.out.isEmpty());
    // The header stays first; the rows come in the statement's order, which SQL leaves open.
    QStringList rows = run.out.mid(1);
    rows.sort();
    QCOMPARE(QStringList { run.out.first() } + rows, lines);
    QVERIFY2(run.err.contains(
                 QRegularExpression(QStringLiteral("search: %1 rows in [0-9.]+ ms").arg(lines.size() - 1))),
        qPrintable(run.err));
}

void TestSearchCommand::noRowsIsASearchThatRan()
{
    const ToolRun run = runSearch({ m_Dir.path(), "--locality", "Нигде" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringList { "Индекс\tНаселенный пункт\tТип пункта\tПочтовый адрес" });
    QVERIFY(run.err.contains("search: 0 rows in "));
}

void TestSearchCommand::refusesWithoutLevels()
{
    const ToolRun run = runSearch({ m_Dir.path() });
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("Поиск не выполнен"), qPrintable(run.err));
}

void TestSearchCommand::refusesHouseWithoutDigit()
{
    const ToolRun run = runSearch({ m_Dir.path(), "--street", "Лесная", "--house", "дом" });
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("Поиск не выполнен: в номере дома \"дом\" нет ни одной цифры."),
        qPrintable(run.err));
    QVERIFY(!run.err.contains(">>>"));
}

void TestSearchCommand::missingDatabase()
{
    QTemporaryDir empty;
    const ToolRun run = runSearch({ empty.path(), "--locality", "Видное" });
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.contains("KLADR.sqlite"));
    QVERIFY(!QFile::exists(empty.filePath("KLADR.sqlite")));
}

void TestSearchCommand::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no directory") << QStringList {};
    QTest::newRow("two directories") << QStringList { "a", "b" };
    QTest::newRow("unknown option") << QStringList { ".", "--town", "x" };
    QTest::newRow("option without value") << QStringList { ".", "--locality" };
}

void TestSearchCommand::badArguments()
{
    QFETCH(QStringList, arguments);
    const ToolRun run = runSearch(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(!run.err.isEmpty());
}

QTEST_GUILESS_MAIN(TestSearchCommand)
#include "tst_searchcommand.moc"
