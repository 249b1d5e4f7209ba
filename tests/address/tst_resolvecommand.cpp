// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-tool resolve run as a process: one line, a CSV file, and input it refuses.

#include "searchtestdatabase.h"
#include "toolrun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestResolveCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void runs_data();
    void runs();

private:
    QTemporaryDir m_Dir;
};

void TestResolveCommand::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    SearchTestDatabase db(m_Dir.filePath("KLADR.sqlite"));
    db.addLocality("Тула", "г", "Город", "71000001000", "300000");
    db.addStreet("Ленина", "ул", "Улица", "710000010000001", "300001");
    db.addHouses("91к1,92", "710000010000001", "300091");
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    db.close();
    QFile list(m_Dir.filePath("list.csv"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(QString("Кому;Адрес\nИванову;\"Тула, Ленина, 92\"\nПетрову;Тула, Пушкина\n").toUtf8());
}

void TestResolveCommand::runs_data()
{
    QTest::addColumn<QStringList>("arguments"); // after "resolve DIR"; OUT names the output
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // on stdout for a line, on stderr otherwise
    QTest::addColumn<QString>("written"); // the output file, or empty: none is left

    QTest::newRow("line") << QStringList { "г Тула, ул Ленина, д 91 корп 1" } << 0
                          << "300091\tдом\t300091,г.Тула,ул.Ленина,д.91к1\n"
                          << "";
    QTest::newRow("line not found") << QStringList { "Тула, Пушкина" } << 1 << "\tне найден\t"
                                    << "";
    QTest::newRow("csv") << QStringList { "--csv", "list.csv", "--out", "OUT" } << 0
                         << "Строк 2: дом 1, не найден 1"
                         << "Кому;Адрес;Индекс;Почтовый адрес;Точность;Вариантов\n"
                            "Иванову;\"Тула, Ленина, 92\";300091;300091,г.Тула,ул.Ленина,д.92;дом;1\n"
                            "Петрову;Тула, Пушкина;;«ПУШКИНА» нет в классификаторе;не найден;0\n";
    QTest::newRow("missing file") << QStringList { "--csv", "none.csv", "--out", "OUT" } << 1
                                  << "resolve: не удалось открыть"
                                  << "";
    QTest::newRow("no such column") << QStringList { "--csv", "list.csv", "--column", "3", "--out", "OUT" }
                                    << 1 << "resolve: столбца 3 нет"
                                    << "";
    QTest::newRow("no such column name")
        << QStringList { "--csv", "list.csv", "--column", "Индекс", "--out", "OUT" } << 1
        << "resolve: столбца «Индекс» нет"
        << "";
    QTest::newRow("option without --csv") << QStringList { "Тула", "--out", "OUT" } << 2 << "go with --csv"
                                          << "";
}

void TestResolveCommand::runs()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(QString, written);

    const QString output = m_Dir.filePath("out.csv");
    QFile::remove(output);
    for (QString& argument : arguments) {
        if (argument == QLatin1String("OUT"))
            argument = output;
        else if (argument.endsWith(QLatin1String(".csv")))
            argument = m_Dir.filePath(argument);
    }
    const ToolRun run = runTool(QStringList { "resolve", m_Dir.path() } + arguments);
    QCOMPARE(run.exitCode, exitCode);
    const bool bLine = !arguments.contains(QStringLiteral("--csv")) && exitCode != 2;
    QVERIFY2((bLine ? run.outText : run.err).contains(said), qPrintable(run.outText + run.err));
    QFile file(output);
    QCOMPARE(file.exists(), !written.isEmpty());
    if (!written.isEmpty()) {
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text == written, qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(TestResolveCommand)
#include "tst_resolvecommand.moc"
