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
    void batchGivesEachSearchItsOwnTable();
    void badBatch_data();
    void badBatch();
    void batchStopsAtARefusedSearch();
    void batchSearchesByIndex();
    void byteOrderMarkOnlyAtTheStart();
    void saysWhatWasFound();

private:
    // A batch file in the test's directory holding these bytes.
    QString writeBatch(const QByteArray& content);
    // Each search of a batch run again alone from the command line (fields: locality, street,
    // house, index) gives the batch's table, and the batch logged its time under its line number.
    void compareWithSingleRuns(const QList<QStringList>& searches, const QList<int>& lineNumbers,
        const ToolRun& run, const QStringList& tables, QStringList* rowCounts);

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
    db.addLocality("Бутово", "п", "Поселок", "50027002000", "142705");
    db.addStreet("Садовая", "ул", "Улица", "500270020000001", "142706");
    db.addStreet("Полевая", "пер", "Переулок", "500270020000002", "142707");
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
    // Searched without its street it would be another search than asked for.
    QTest::newRow("house without a street") << QStringList { ".", "--locality", "видное", "--house", "12" };
}

void TestSearchCommand::badArguments()
{
    QFETCH(QStringList, arguments);
    const ToolRun run = runSearch(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(!run.err.isEmpty());
}

QString TestSearchCommand::writeBatch(const QByteArray& content)
{
    const QString fileName = m_Dir.filePath(QStringLiteral("batch.txt"));
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return QString();
    return fileName;
}

void TestSearchCommand::compareWithSingleRuns(const QList<QStringList>& searches,
    const QList<int>& lineNumbers, const ToolRun& run, const QStringList& tables, QStringList* rowCounts)
{
    const QStringList options { "--locality", "--street", "--house", "--index" };
    for (int i = 0; i < searches.size(); ++i) {
        QStringList arguments { m_Dir.path() };
        for (int field = 0; field < searches.at(i).size(); ++field) {
            if (!searches.at(i).at(field).isEmpty())
                arguments << options.at(field) << searches.at(i).at(field);
        }
        const ToolRun single = runSearch(arguments);
        QCOMPARE(single.exitCode, 0);
        QCOMPARE(tables.at(i) + '\n', single.outText);
        const QString time = QStringLiteral("search %1: %2 rows in [0-9.]+ ms\n")
                                 .arg(lineNumbers.at(i))
                                 .arg(single.out.size() - 1);
        QVERIFY2(run.err.contains(QRegularExpression(time)), qPrintable(time + run.err));
        if (rowCounts)
            *rowCounts << QString::number(single.out.size() - 1);
    }
}

void TestSearchCommand::batchGivesEachSearchItsOwnTable()
{
    // Each search after another on the same thread, house searches among others: nothing of one
    // search (its columns, its house, its rows) may reach the next. The first search comes again
    // last, after all the others.
    const QList<QStringList> searches { { "видное" }, { "", "Лес%" }, { "Видное", "Лесная" },
        { "Видное", "Лесная", "12 корп. 1" }, { "", "Лесная", "д. 40" }, { "Нигде" }, { "Бутово", "Сад%" },
        { "%о%", "%ая" }, { "видное" } };
    QByteArray content = "# locality, street, house\n\n";
    QList<int> lineNumbers;
    int lineNumber = 2;
    for (const QStringList& fields : searches) {
        content += fields.join('\t').toUtf8() + (lineNumber % 2 ? "\r\n" : "\n");
        lineNumbers << ++lineNumber;
    }
    const QString batch = writeBatch(content);
    QVERIFY(!batch.isEmpty());

    const ToolRun run = runSearch({ m_Dir.path(), "--batch", batch });
    QCOMPARE(run.exitCode, 0);
    const QStringList tables = run.outText.split("\n\n");
    // Each table ends with an empty line, the last one included.
    QCOMPARE(tables.size(), searches.size() + 1);
    QCOMPARE(tables.last(), QString());
    QCOMPARE(run.err.count("search: address names read in "), 1);
    // One search at a time, as the window runs them, gives the same tables.
    const ToolRun oneAtATime = runSearch({ m_Dir.path(), "--batch", batch, "--one-at-a-time" });
    QCOMPARE(oneAtATime.exitCode, 0);
    QCOMPARE(oneAtATime.outText, run.outText);

    compareWithSingleRuns(searches, lineNumbers, run, tables, nullptr);
    if (QTest::currentTestFailed())
        return;
    // The search from a second locality does find its rows: the batch is no run of empty results.
    QVERIFY(tables.at(6).contains("\tСадовая\t"));
}

void TestSearchCommand::badBatch_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");

    const QByteArray good = "Видное\tЛесная\n";
    QTest::newRow("house without a street") << good + "# a comment\n\tЛесная\t12\nВидное\t\t12\n"
                                            << QStringList {} << "batch.txt line 4: a house needs a street";
    QTest::newRow("five fields") << good + "Видное\tЛесная\t\t142701\tкв. 3\n"
                                 << QStringList {} << "batch.txt line 2: 5 fields; a line holds at most";
    QTest::newRow("no level") << "\t\t\t\n" + good << QStringList {}
                              << "batch.txt line 1: no locality, street, house or postal index to search for";
    QTest::newRow("index with a house")
        << good + "Видное\tЛесная\t12\t142701\n"
        << QStringList {} << "batch.txt line 2: a postal index cannot be searched with a house";
    QTest::newRow("index of five digits") << good + "\t\t\t14270\n"
                                          << QStringList {} << "batch.txt line 2: Индекс «14270» не принят";
    QTest::newRow("index with a letter") << good + "\t\t\t14270б\n"
                                         << QStringList {} << "batch.txt line 2: Индекс «14270б» не принят";
    QTest::newRow("not UTF-8") << good + "\xc2\xc8\xc4\xcd\xce\xc5\n"
                               << QStringList {} << "batch.txt line 2: not UTF-8 text";
    QTest::newRow("NUL in a field") << good + QByteArray("Вид\0ное\tЛесная\n", 27) << QStringList {}
                                    << "batch.txt line 2: holds a NUL character";
    QTest::newRow("missing file") << QByteArray() << QStringList {} << "search: cannot read ";
    QTest::newRow("no search") << QByteArray("# nothing\n\n") << QStringList {}
                               << "batch.txt holds no search";
    QTest::newRow("with --locality") << good << QStringList { "--locality", "Видное" }
                                     << "--batch takes the searches from its file; it cannot be combined";
    QTest::newRow("with --house") << good << QStringList { "--house", "12" }
                                  << "--batch takes the searches from its file; it cannot be combined";
}

void TestSearchCommand::badBatch()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, options);
    QFETCH(QString, message);

    // No content: a file that is not there.
    const QString batch = content.isNull() ? m_Dir.filePath("no-such-batch.txt") : writeBatch(content);
    QVERIFY(!batch.isEmpty());
    const ToolRun run = runSearch(QStringList { m_Dir.path(), "--batch", batch } + options);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    // Refused before any search ran.
    QVERIFY2(!run.err.contains(">>>"), qPrintable(run.err));
}

void TestSearchCommand::batchStopsAtARefusedSearch()
{
    const QString batch = writeBatch("Видное\n\tЛесная\tдом\nБутово\n");
    QVERIFY(!batch.isEmpty());
    const ToolRun run = runSearch({ m_Dir.path(), "--batch", batch });
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("search 1: 1 rows in "), qPrintable(run.err));
    QVERIFY2(run.err.contains("нет ни одной цифры"), qPrintable(run.err));
    QVERIFY2(run.err.contains("search 2: not run; the batch stops here"), qPrintable(run.err));
    QVERIFY(!run.err.contains("search 3:"));
    QCOMPARE(run.out.size(), 2);
}

void TestSearchCommand::batchSearchesByIndex()
{
    // Index lines among name searches: each table, its office line and its time as the search of
    // the command line gives them, whatever searched before it on the same worker.
    const QList<QStringList> searches { { "", "", "", "142704" }, { "Видное" }, { "", "", "", "142 701" },
        { "Видное", "", "", "142700" }, { "", "Лес%", "", "142704" }, { "Бутово", "", "", "142704" },
        { "", "", "", "000000" }, { "", "", "", "142704" } };
    QByteArray content;
    for (const QStringList& fields : searches)
        content += fields.join('\t').toUtf8() + '\n';
    const QString batch = writeBatch(content);
    QVERIFY(!batch.isEmpty());

    const ToolRun run = runSearch({ m_Dir.path(), "--batch", batch });
    QCOMPARE(run.exitCode, 0);
    const QStringList tables = run.outText.split("\n\n");
    QCOMPARE(tables.size(), searches.size() + 1);

    QList<int> lineNumbers;
    for (int i = 1; i <= searches.size(); ++i)
        lineNumbers << i;
    QStringList rowCounts;
    compareWithSingleRuns(searches, lineNumbers, run, tables, &rowCounts);
    if (QTest::currentTestFailed())
        return;
    // The next search runs while a table is printed: still, each search's log lines come between
    // the time of the one before and its own time, its statement once.
    const QStringList perSearch
        = run.err.split(QRegularExpression("search [0-9]+: [0-9]+ rows in [0-9.]+ ms\n"));
    QCOMPARE(perSearch.size(), searches.size() + 1);
    for (int i = 0; i < searches.size(); ++i)
        QVERIFY2(perSearch.at(i).count(">>>: ") == 1, qPrintable(perSearch.at(i)));
    // The street's house groups, the street itself, the locality; narrowed by a name, none for
    // another locality or an index nothing carries.
    QCOMPARE(rowCounts, QStringList({ "1", "1", "1", "1", "1", "0", "0", "1" }));
    QVERIFY2(tables.at(0).contains("\t12к1,Н(11-19)\t"), qPrintable(tables.at(0)));
    QVERIFY2(tables.at(2).contains("\tЛесная\t"), qPrintable(tables.at(2)));
}

void TestSearchCommand::byteOrderMarkOnlyAtTheStart()
{
    // At the very start of the file the mark is dropped; at the start of a later line it is a
    // character of the locality, which stays a locality search (it finds nothing) rather than
    // turn into a search by the street alone.
    const QString batch = writeBatch("\xEF\xBB\xBFВидное\n\xEF\xBB\xBF\tЛесная\n");
    QVERIFY(!batch.isEmpty());
    const ToolRun run = runSearch({ m_Dir.path(), "--batch", batch });
    QCOMPARE(run.exitCode, 0);
    const QStringList tables = run.outText.split("\n\n");
    QCOMPARE(tables.size(), 3);
    QVERIFY2(tables.at(0).contains("\tВидное\t"), qPrintable(tables.at(0)));
    QVERIFY2(run.err.contains("search 1: 1 rows in "), qPrintable(run.err));
    QCOMPARE(tables.at(1).split('\n').size(), 1);
    QVERIFY2(tables.at(1).contains("Номера домов"), qPrintable(tables.at(1)));
    QVERIFY2(run.err.contains("search 2: 0 rows in "), qPrintable(run.err));
}

void TestSearchCommand::saysWhatWasFound()
{
    // The line the window logs after the result, on standard error before the time.
    const ToolRun found = runSearch({ m_Dir.path(), "--locality", " видное " });
    QCOMPARE(found.exitCode, 0);
    QVERIFY2(found.err.contains("Найден 1 вариант.\nsearch: 1 rows in "), qPrintable(found.err));
    const ToolRun none = runSearch({ m_Dir.path(), "--street", "Нигдеевская" });
    QCOMPARE(none.exitCode, 0);
    QVERIFY2(none.err.contains("Ничего не найдено. Проверьте написание"), qPrintable(none.err));
}

QTEST_GUILESS_MAIN(TestSearchCommand)
#include "tst_searchcommand.moc"
