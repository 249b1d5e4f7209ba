// SPDX-License-Identifier: GPL-3.0-or-later
// CSV files as spreadsheets write them, read and written back with the four columns added.

#include "addressfile.h"
#include "csvfile.h"
#include "searchtestdatabase.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

namespace {

class Recorder : public AddressFile::Reporter {
public:
    void progress(qint64 nDone, qint64 nTotal) override
    {
        lastDone = nDone;
        total = nTotal;
        ++calls;
    }
    void note(qint64 nLine, const QString& text) override
    {
        notes << QStringLiteral("%1: %2").arg(nLine).arg(text);
    }
    bool isCancelled() const override { return calls >= cancelAfter; }

    qint64 lastDone = -1;
    qint64 total = -1;
    int calls = 0;
    int cancelAfter = 1 << 30;
    QStringList notes;
};

QByteArray cp1251(const QString& text)
{
    return QTextCodec::codecForName("Windows-1251")->fromUnicode(text);
}

} // namespace

class TestAddressFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void records_data();
    void records();
    void chunkBoundaries();
    void files_data();
    void files();
    void emptyFile();
    void cancelled();

private:
    QString write(const QString& name, const QByteArray& bytes);
    QTemporaryDir m_Dir;
    QString m_Database;
};

void TestAddressFile::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    m_Database = m_Dir.filePath("KLADR.sqlite");
    SearchTestDatabase db(m_Database);
    db.addLocality("Тула", "г", "Город", "71000001000", "300000");
    db.addStreet("Ленина", "ул", "Улица", "710000010000001", "300001");
    db.addHouses("12", "710000010000001", "300012");
    db.addLocality("Ивановка", "с", "Село", "71002000001", "301001");
    db.addLocality("Ивановка", "с", "Село", "71003000001", "301002");
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    db.close();
}

QString TestAddressFile::write(const QString& name, const QByteArray& bytes)
{
    const QString path = m_Dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

void TestAddressFile::records_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields"); // of the second record
    QTest::addColumn<char>("separator");
    QTest::addColumn<bool>("problem");

    QTest::newRow("comma") << QByteArray("a,b\nx,y\n") << QStringList { "x", "y" } << ',' << false;
    QTest::newRow("semicolon") << QByteArray("a;b\nx;y\n") << QStringList { "x", "y" } << ';' << false;
    QTest::newRow("semicolon with commas inside") << QByteArray("a;b\n\"г Тула, ул Ленина\";y\n")
                                                  << QStringList { "г Тула, ул Ленина", "y" } << ';' << false;
    QTest::newRow("one column, commas in the rows")
        << QByteArray("Адрес\nТула, Ленина, 5\n") << QStringList { "Тула, Ленина, 5" } << ';' << false;
    QTest::newRow("quoted separator")
        << QByteArray("a,b\n\"x,1\",y\n") << QStringList { "x,1", "y" } << ',' << false;
    QTest::newRow("quoted line break")
        << QByteArray("a,b\r\n\"x\r\nz\",y\r\n") << QStringList { "x\r\nz", "y" } << ',' << false;
    QTest::newRow("doubled quote") << QByteArray("a,b\n\"x \"\"q\"\"\",y\n") << QStringList { "x \"q\"", "y" }
                                   << ',' << false;
    QTest::newRow("empty fields") << QByteArray("a,b,c\n,,\n") << QStringList { "", "", "" } << ',' << false;
    QTest::newRow("no line end at the end")
        << QByteArray("a,b\nx,y") << QStringList { "x", "y" } << ',' << false;
    QTest::newRow("text after the closing quote")
        << QByteArray("a,b\n\"x\"z,y\n") << QStringList { "xz", "y" } << ',' << true;
    QTest::newRow("quote left open") << QByteArray("a,b\n\"x,y\nz\n") << QStringList { "x,y\nz\n" } << ','
                                     << true;
}

void TestAddressFile::records()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    QFETCH(char, separator);
    QFETCH(bool, problem);

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    Csv::Reader reader(&buffer);
    Csv::Record record;
    QVERIFY(reader.next(&record));
    QCOMPARE(reader.separator(), separator);
    QCOMPARE(record.line, qint64(1));
    QVERIFY(reader.next(&record));
    QCOMPARE(record.fields, fields);
    QCOMPARE(record.line, qint64(2));
    QCOMPARE(!record.problem.isEmpty(), problem);
    // The record's bytes are the file's, to be written back unchanged.
    QVERIFY(bytes.contains(record.raw));
    QVERIFY(!reader.next(&record));
}

void TestAddressFile::chunkBoundaries()
{
    // Records long enough to cross the reader's 64 KiB chunks, line breaks inside quotes too.
    QByteArray bytes("адрес;n\r\n");
    QStringList expected;
    for (int i = 0; i < 3000; ++i) {
        const QString field = QStringLiteral("г Тула, ул Ленина, д %1\r\nкв %2").arg(i).arg(i % 7);
        expected << field;
        bytes += '"' + field.toUtf8() + "\";" + QByteArray::number(i) + "\r\n";
    }
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    Csv::Reader reader(&buffer);
    Csv::Record record;
    QVERIFY(reader.next(&record));
    for (int i = 0; i < expected.size(); ++i) {
        QVERIFY(reader.next(&record));
        QCOMPARE(record.fields, (QStringList { expected.at(i), QString::number(i) }));
        QCOMPARE(record.line, qint64(2 + 2 * i));
        QVERIFY(record.problem.isEmpty());
    }
    QVERIFY(!reader.next(&record));
    QCOMPARE(reader.position(), qint64(bytes.size()));
}

void TestAddressFile::files_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("notes");

    QTest::newRow("UTF-8, comma")
        << QString("Имя,Адрес\nИван,\"г Тула, ул Ленина, 12\"\n").toUtf8() << QString()
        << QString("Имя,Адрес,Индекс,Почтовый адрес,Точность,Вариантов\n"
                   "Иван,\"г Тула, ул Ленина, 12\",300012,\"300012,г.Тула,ул.Ленина,д.12\",дом,1\n")
               .toUtf8()
        << 0;
    QTest::newRow("UTF-8 with BOM, semicolon, CRLF")
        << "\xEF\xBB\xBF" + QString("Адрес;Сумма\r\nг Тула, ул Ленина;5\r\n").toUtf8() << QString()
        << "\xEF\xBB\xBF"
            + QString("Адрес;Сумма;Индекс;Почтовый адрес;Точность;Вариантов\r\n"
                      "г Тула, ул Ленина;5;300001;300001,г.Тула,ул.Ленина;улица;1\r\n")
                  .toUtf8()
        << 0;
    QTest::newRow("Windows-1251, by number")
        << cp1251("Код;Куда\n1;\"Тула\nЛенина\"\n") << QString("2")
        << cp1251("Код;Куда;Индекс;Почтовый "
                  "адрес;Точность;Вариантов\n1;\"Тула\nЛенина\";300001;300001,г.Тула,ул.Ленина;"
                  "улица;1\n")
        << 0;
    QTest::newRow("by header name, ambiguous and not found")
        << QString("a,куда\n1,с Ивановка\n2,Москва\n").toUtf8() << QString("КУДА")
        << QString("a,куда,Индекс,Почтовый адрес,Точность,Вариантов\n"
                   "1,с Ивановка,,подходят объекты с разными индексами: 2,неоднозначно,2\n"
                   "2,Москва,,«МОСКВА» нет в классификаторе,не найден,0\n")
               .toUtf8()
        << 0;
    QTest::newRow("ragged and broken rows pass unchanged")
        << QString("a,адрес\n1\n2,\"Тула\"x\n3,\"Тула, Ленина\"\n").toUtf8() << QString()
        << QString("a,адрес,Индекс,Почтовый адрес,Точность,Вариантов\n1\n2,\"Тула\"x\n"
                   "3,\"Тула, Ленина\",300001,\"300001,г.Тула,ул.Ленина\",улица,1\n")
               .toUtf8()
        << 2;
    QTest::newRow("an index in the line that differs")
        << QString("адрес\n\"301000, Тула, Ленина, 12\"\n").toUtf8() << QString()
        << QString("адрес;Индекс;Почтовый адрес;Точность;Вариантов\n"
                   "\"301000, Тула, Ленина, 12\";300012;300012,г.Тула,ул.Ленина,д.12;дом;1\n")
               .toUtf8()
        << 1;
}

void TestAddressFile::files()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, column);
    QFETCH(QByteArray, expected);
    QFETCH(int, notes);

    AddressResolver resolver(m_Database);
    QVERIFY2(resolver.isReady(), qPrintable(resolver.error()));
    AddressFile::Options options;
    options.input = write("in.csv", input);
    options.column = column;
    Recorder recorder;
    AddressFile::Summary summary;
    QString error;
    QVERIFY2(AddressFile::run(resolver, options, recorder, &summary, &error), qPrintable(error));
    QCOMPARE(summary.output, m_Dir.filePath("in-индексы.csv"));
    QFile out(summary.output);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll(), expected);
    QCOMPARE(recorder.notes.size(), notes);
    QCOMPARE(recorder.lastDone, recorder.total);
    qint64 counted = summary.malformed;
    for (const qint64 n : summary.grades)
        counted += n;
    QCOMPARE(counted, summary.rows);
}

void TestAddressFile::emptyFile()
{
    AddressResolver resolver(m_Database);
    AddressFile::Options options;
    options.input = write("empty.csv", QByteArray());
    options.output = m_Dir.filePath("empty-out.csv");
    Recorder recorder;
    AddressFile::Summary summary;
    QString error;
    QVERIFY(!AddressFile::run(resolver, options, recorder, &summary, &error));
    QVERIFY2(error.contains(QStringLiteral("пуст")), qPrintable(error));
    QVERIFY(!QFile::exists(options.output));
}

void TestAddressFile::cancelled()
{
    AddressResolver resolver(m_Database);
    QByteArray input("адрес\n");
    for (int i = 0; i < 20000; ++i)
        input += "\"г Тула, ул Ленина, " + QByteArray::number(i % 50) + "\"\n";
    AddressFile::Options options;
    options.input = write("long.csv", input);
    options.output = m_Dir.filePath("long-out.csv");
    // A result from an earlier run stays as it was.
    QVERIFY(!write("long-out.csv", "earlier\n").isEmpty());
    Recorder recorder;
    recorder.cancelAfter = 3;
    AddressFile::Summary summary;
    QString error;
    QVERIFY(!AddressFile::run(resolver, options, recorder, &summary, &error));
    QCOMPARE(error, QStringLiteral("отменено"));
    QFile out(options.output);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll(), QByteArray("earlier\n"));
    // Nothing half written is left beside it.
    QCOMPARE(QDir(m_Dir.path()).entryList({ "long-out.csv*" }, QDir::Files), QStringList { "long-out.csv" });
}

QTEST_GUILESS_MAIN(TestAddressFile)
#include "tst_addressfile.moc"
