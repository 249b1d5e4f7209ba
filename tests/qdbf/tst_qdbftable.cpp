// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbfbuilder.h"
#include "forwardonlydevice.h"

#include <qdbf/qdbftable.h>

#include <QBuffer>
#include <QDate>
#include <QDebug>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

using namespace QDbf;

Q_DECLARE_METATYPE(QDbfTable::Codepage)
Q_DECLARE_METATYPE(QDbfTable::TableError)
Q_DECLARE_METATYPE(QDbfField::QDbfType)

namespace {

QStringList g_messages;

void catchMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_messages << message;
}

// Collects Qt messages for one scope, to check that an operation stays silent.
struct MessageCatcher {
    MessageCatcher()
        : previous(qInstallMessageHandler(catchMessage))
    {
        g_messages.clear();
    }
    ~MessageCatcher() { qInstallMessageHandler(previous); }
    QtMessageHandler previous;
};

QByteArray ibm866(const char* utf8)
{
    return QTextCodec::codecForName("IBM 866")->fromUnicode(QString::fromUtf8(utf8));
}

QByteArray cp1251(const char* utf8)
{
    return QTextCodec::codecForName("Windows-1251")->fromUnicode(QString::fromUtf8(utf8));
}

// Three records: NAME C10, AMOUNT N6.2, DAY D8, FLAG L1, MEMO M4 (kept opaque).
DbfBuilder threeRecords()
{
    DbfBuilder b;
    b.field("NAME", 'C', 10)
        .field("AMOUNT", 'N', 6, 2)
        .field("DAY", 'D', 8)
        .field("FLAG", 'L', 1)
        .field("MEMO", 'M', 4);
    b.record(" Anna        1.2520240517Tm001");
    b.record(" Boris     -10.0019991231Fm002");
    b.record(" Vera        0.00        ?m003");
    return b;
}

QString debugText(const QDbfTable& table)
{
    QString text;
    QDebug(&text) << table;
    return text;
}

} // namespace

class tst_QDbfTable : public QObject {
    Q_OBJECT

private slots:
    void init();

    void newTable();
    void openMissingFile();
    void versionByte_data();
    void versionByte();
    void refusedHeaders_data();
    void refusedHeaders();
    void shortDescriptorAreaKeepsHeaderValues();
    void fieldCountAndOffsets_data();
    void fieldCountAndOffsets();
    void nameSkipsZeroBytes_data();
    void nameSkipsZeroBytes();
    void typeLetters_data();
    void typeLetters();
    void decodeValues_data();
    void decodeValues();
    void codepageByte_data();
    void codepageByte();

    void navigation_data();
    void navigation();
    void navigationOnEmptyTable();
    void handlesShareCursor();
    void recordIsCachedPerPosition();
    void recordsStayIndependent();
    void recordBeforeFirstIsFieldList();
    void recordOfClosedTableWarns();
    void recordBeyondEndOfFile();
    void forwardOnlyDevice();
    void deviceNotOwned();
    void fieldsBeyondRecordLength();
    void damagedCounts_data();
    void damagedCounts();

    void encodeValues_data();
    void encodeValues();
    void updateWritesOnlyItsRecord();
    void updateKeepsCacheUntilCursorMoves();
    void updateRefusesForeignRecords_data();
    void updateRefusesForeignRecords();
    void updateRefusesIndexOutsideTable_data();
    void updateRefusesIndexOutsideTable();
    void appendToThreeRecords();
    void appendBlankRecord();
    void appendDeletedRecord();
    void appendRefusedOnReadOnly();
    void appendRefusedWhenRecordsMissing();
    void navigationWithCountIntMin();
    void removeRecord();
    void removeRecordOutsideTable_data();
    void removeRecordOutsideTable();
    void setCodepage_data();
    void setCodepage();
    void closedTableOperations();

    void compareAndDebug();

private:
    QString writeTable(const DbfBuilder& builder, const QString& name = QStringLiteral("t.dbf"));
    QTemporaryDir m_dir;
};

void tst_QDbfTable::init()
{
    QVERIFY(m_dir.isValid());
}

QString tst_QDbfTable::writeTable(const DbfBuilder& builder, const QString& name)
{
    const QString path = m_dir.filePath(name);
    if (!builder.write(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void tst_QDbfTable::newTable()
{
    QDbfTable table(QStringLiteral("somewhere.dbf"));
    QCOMPARE(table.size(), -1);
    QCOMPARE(table.at(), -1);
    QCOMPARE(table.fileName(), QString());
    QCOMPARE(table.codepage(), QDbfTable::NoCodepage);
    QCOMPARE(table.openMode(), QDbfTable::ReadOnly);
    QCOMPARE(table.error(), QDbfTable::NoError);
    QVERIFY(!table.isOpen());
    // Never opened: there is no record to move to.
    QVERIFY(!table.next());
    QCOMPARE(table.at(), -1);
}

void tst_QDbfTable::openMissingFile()
{
    QDbfTable table;
    QVERIFY(!table.open(m_dir.filePath(QStringLiteral("missing.dbf")), QDbfTable::ReadWrite));
    QCOMPARE(table.error(), QDbfTable::OpenError);
    QCOMPARE(table.openMode(), QDbfTable::ReadWrite);
    QVERIFY(!table.isOpen());
    QCOMPARE(table.size(), -1);
    // Opening for writing never creates the file.
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("missing.dbf"))));
}

void tst_QDbfTable::versionByte_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("accepted");

    for (int v : { 0x02, 0x03, 0x04, 0x05, 0x07, 0x30, 0x31 })
        QTest::addRow("0x%02x", v) << v << true;
    // 0x83/0x8B: dBASE with memo file, 0xF5: FoxPro with memo.
    for (int v : { 0x00, 0x01, 0x06, 0x32, 0x83, 0x8B, 0xF5, 0xFF })
        QTest::addRow("0x%02x", v) << v << false;
}

void tst_QDbfTable::versionByte()
{
    QFETCH(int, version);
    QFETCH(bool, accepted);

    DbfBuilder b;
    b.version = quint8(version);
    b.field("NAME", 'C', 4).record(" abcd");
    QDbfTable table;
    QCOMPARE(table.open(writeTable(b)), accepted);
    QCOMPARE(table.error(), QDbfTable::NoError);
    if (accepted) {
        QCOMPARE(table.size(), 1);
        QCOMPARE(table.record().count(), 1);
        QVERIFY(table.next());
        QCOMPARE(table.value(0).toString(), QStringLiteral("abcd"));
    } else {
        // Refused before the header values are taken.
        QCOMPARE(table.size(), -1);
        QCOMPARE(table.codepage(), QDbfTable::NoCodepage);
        QCOMPARE(table.record().count(), 0);
    }
}

void tst_QDbfTable::refusedHeaders_data()
{
    QTest::addColumn<QByteArray>("bytes");

    DbfBuilder dbase;
    dbase.field("NAME", 'C', 4).record(" abcd");
    DbfBuilder fox = dbase;
    fox.version = 0x30;

    QTest::newRow("zero-length file") << QByteArray();
    QTest::newRow("31-byte header") << dbase.bytes().left(31);
    QTest::newRow("text file") << QByteArray("Hello, this is not a table at all.\n");
    DbfBuilder b = dbase;
    b.headerLengthOverride = 0;
    QTest::newRow("header length 0") << b.bytes();
    b.headerLengthOverride = 32;
    QTest::newRow("header length 32, no terminator") << b.bytes();
    // 0x8000 and above read as a negative 16-bit length.
    b.headerLengthOverride = 0x8021;
    QTest::newRow("header length 0x8021") << b.bytes();
    // A dBASE-sized header under a Visual FoxPro version byte.
    b = fox;
    b.headerLengthOverride = 65;
    QTest::newRow("fox header 65") << b.bytes();
    b.headerLengthOverride = 295;
    QTest::newRow("fox header 295") << b.bytes();
}

void tst_QDbfTable::refusedHeaders()
{
    QFETCH(QByteArray, bytes);

    const QString path = m_dir.filePath(QStringLiteral("bad.dbf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();

    QDbfTable table;
    QVERIFY(!table.open(path, QDbfTable::ReadWrite));
    QCOMPARE(table.error(), QDbfTable::NoError);
    QCOMPARE(table.record().count(), 0);
    table.next();
    QCOMPARE(table.record().count(), 0);
    // A refused table is never written to, even though the file stays open.
    QVERIFY(!table.addRecord());
    QCOMPARE(table.error(), QDbfTable::OpenError);
    QVERIFY(!table.removeRecord(0));
    QCOMPARE(table.error(), QDbfTable::OpenError);
    QVERIFY(!table.updateRecordInTable(table.record()));
    QVERIFY(!table.setCodepage(QDbfTable::IBM866));
    QCOMPARE(table.error(), QDbfTable::OpenError);
    QCOMPARE(readAll(path), bytes);
}

void tst_QDbfTable::shortDescriptorAreaKeepsHeaderValues()
{
    DbfBuilder b;
    b.codepageByte = 0xC9;
    b.field("NAME", 'C', 4).record(" abcd");
    b.headerLengthOverride = 33 + 32 * 40; // 40 descriptors announced, 1 present
    b.recordCountOverride = 7;
    const QString path = m_dir.filePath(QStringLiteral("short-area.dbf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(b.bytes().left(32 + 32 + 10));
    file.close();
    QDbfTable table;
    QVERIFY(!table.open(path));
    QCOMPARE(table.error(), QDbfTable::NoError);
    QCOMPARE(table.size(), 7);
    QCOMPARE(table.codepage(), QDbfTable::Windows1251);
    QVERIFY(table.isOpen());
}

void tst_QDbfTable::fieldCountAndOffsets_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("headerLength");
    QTest::addColumn<QList<int>>("offsets");

    QTest::newRow("dBASE, 97 bytes: 2 fields") << 0x03 << 97 << QList<int> { 1, 6 };
    // A remainder shorter than a descriptor is ignored.
    QTest::newRow("dBASE, 97+31 bytes: 2 fields") << 0x03 << 128 << QList<int> { 1, 6 };
    QTest::newRow("dBASE, 129 bytes: 3 fields") << 0x03 << 129 << QList<int> { 1, 6, 9 };
    QTest::newRow("dBASE, 33 bytes: no fields") << 0x03 << 33 << QList<int> {};
    QTest::newRow("fox, 360 bytes: 2 fields") << 0x30 << 360 << QList<int> { 1, 6 };
    QTest::newRow("fox, 296 bytes: no fields") << 0x31 << 296 << QList<int> {};
}

void tst_QDbfTable::fieldCountAndOffsets()
{
    QFETCH(int, version);
    QFETCH(int, headerLength);
    QFETCH(QList<int>, offsets);

    DbfBuilder b;
    b.version = quint8(version);
    b.field("A", 'C', 5).field("B", 'N', 3).field("C", 'L', 1);
    b.headerLengthOverride = headerLength;
    // Descriptors beyond the header length are cut by the builder.
    b.record(" hello 42T");
    QDbfTable table;
    QVERIFY(table.open(writeTable(b)));
    const QDbfRecord fields = table.record();
    QCOMPARE(fields.count(), offsets.size());
    for (int i = 0; i < offsets.size(); ++i)
        QCOMPARE(fields.field(i).offset(), offsets.at(i));
}

void tst_QDbfTable::nameSkipsZeroBytes_data()
{
    QTest::addColumn<int>("codepageByte");
    QTest::addColumn<QByteArray>("nameBytes");
    QTest::addColumn<QString>("name");

    QTest::newRow("zero in the middle") << 0x00 << QByteArray("AB\0CD", 5) << QStringLiteral("ABCD");
    QTest::newRow("junk after zero") << 0x00 << QByteArray("REGN\0tz\x05S", 9)
                                     << QStringLiteral("REGNtz\x05S");
    QTest::newRow("all eleven bytes") << 0x00 << QByteArray("ABCDEFGHIJK") << QStringLiteral("ABCDEFGHIJK");
    QTest::newRow("IBM 866 name") << 0x65 << ibm866("ИМЯ") << QString::fromUtf8("ИМЯ");
    QTest::newRow("Windows-1251 name") << 0xC9 << cp1251("ИМЯ") << QString::fromUtf8("ИМЯ");
}

void tst_QDbfTable::nameSkipsZeroBytes()
{
    QFETCH(int, codepageByte);
    QFETCH(QByteArray, nameBytes);
    QFETCH(QString, name);

    DbfBuilder b;
    b.codepageByte = quint8(codepageByte);
    b.field(nameBytes, 'C', 2);
    QDbfTable table;
    QVERIFY(table.open(writeTable(b)));
    QCOMPARE(table.record().fieldName(0), name);
    QCOMPARE(table.record().indexOf(name), 0);
}

void tst_QDbfTable::typeLetters_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<int>("type");
    QTest::addColumn<QDbfField::QDbfType>("dbfType");

    QTest::newRow("C") << 'C' << int(QVariant::String) << QDbfField::Character;
    QTest::newRow("D") << 'D' << int(QVariant::Date) << QDbfField::Date;
    QTest::newRow("F") << 'F' << int(QVariant::Double) << QDbfField::Float;
    QTest::newRow("L") << 'L' << int(QVariant::Bool) << QDbfField::Logical;
    QTest::newRow("N") << 'N' << int(QVariant::Double) << QDbfField::Numeric;
    for (char c : { 'M', 'I', 'B', 'G', 'T', 'c', '0' })
        QTest::addRow("%c", c) << c << int(QVariant::Invalid) << QDbfField::UndefinedType;
}

void tst_QDbfTable::typeLetters()
{
    QFETCH(char, letter);
    QFETCH(int, type);
    QFETCH(QDbfField::QDbfType, dbfType);

    DbfBuilder b;
    b.field("X", letter, 9, 3).record(" 123456789");
    QDbfTable table;
    QVERIFY(table.open(writeTable(b)));
    const QDbfField field = table.record().field(0);
    QCOMPARE(int(field.type()), type);
    QCOMPARE(field.dbfType(), dbfType);
    QCOMPARE(field.length(), 9);
    QCOMPARE(field.precision(), 3);
    QVERIFY(table.next());
    QCOMPARE(int(table.value(0).type()), type);
}

void tst_QDbfTable::decodeValues_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("C keeps trailing blanks")
        << 'C' << QByteArray("Anna    ") << QVariant(QStringLiteral("Anna    "));
    QTest::newRow("C keeps NUL bytes")
        << 'C' << QByteArray("ab\0\0", 4) << QVariant(QString::fromLatin1("ab\0\0", 4));
    QTest::newRow("C IBM 866") << 'C' << ibm866("Привет  ") << QVariant(QString::fromUtf8("Привет  "));
    QTest::newRow("D date") << 'D' << QByteArray("20240517") << QVariant(QDate(2024, 5, 17));
    QTest::newRow("D blank") << 'D' << QByteArray("        ") << QVariant(QDate());
    QTest::newRow("D not a year") << 'D' << QByteArray("NotAYear") << QVariant(QDate());
    QTest::newRow("D 31 February") << 'D' << QByteArray("20230231") << QVariant(QDate());
    QTest::newRow("D short field") << 'D' << QByteArray("202405") << QVariant(QDate());
    QTest::newRow("N blank") << 'N' << QByteArray("        ") << QVariant(QVariant::Double);
    QTest::newRow("N right-aligned") << 'N' << QByteArray("  -1.50") << QVariant(-1.5);
    QTest::newRow("N left-aligned") << 'N' << QByteArray("42      ") << QVariant(42.0);
    QTest::newRow("N overflow stars") << 'N' << QByteArray("*****") << QVariant(QVariant::Double);
    // NUL padding is not blank: the text is not a number (a C-string parse would give 1234).
    QTest::newRow("N NUL padded") << 'N' << QByteArray("1234\0\0\0\0", 8) << QVariant(QVariant::Double);
    QTest::newRow("N decimal comma") << 'N' << QByteArray("  1,5") << QVariant(QVariant::Double);
    QTest::newRow("F") << 'F' << QByteArray("   3.125") << QVariant(3.125);
    QTest::newRow("F lone point") << 'F' << QByteArray("  .") << QVariant(QVariant::Double);
    QTest::newRow("L T") << 'L' << QByteArray("T") << QVariant(true);
    QTest::newRow("L y") << 'L' << QByteArray("y") << QVariant(true);
    QTest::newRow("L t") << 'L' << QByteArray("t") << QVariant(true);
    QTest::newRow("L Y") << 'L' << QByteArray("Y") << QVariant(true);
    QTest::newRow("L F") << 'L' << QByteArray("F") << QVariant(false);
    QTest::newRow("L N") << 'L' << QByteArray("N") << QVariant(false);
    QTest::newRow("L ?") << 'L' << QByteArray("?") << QVariant(QVariant::Bool);
    QTest::newRow("L blank") << 'L' << QByteArray(" ") << QVariant(false);
    QTest::newRow("L 1") << 'L' << QByteArray("1") << QVariant(false);
    QTest::newRow("M") << 'M' << QByteArray("0000000012") << QVariant();
}

void tst_QDbfTable::decodeValues()
{
    QFETCH(char, letter);
    QFETCH(QByteArray, bytes);
    QFETCH(QVariant, expected);

    DbfBuilder b;
    b.codepageByte = 0x00;
    b.field("V", letter, quint8(bytes.size())).record(' ' + bytes);
    QDbfTable table;
    QVERIFY(table.open(writeTable(b)));
    QVERIFY(table.next());
    const QVariant value = table.value(0);
    QCOMPARE(value.type(), expected.type());
    QCOMPARE(value, expected);
    QCOMPARE(value.isNull(), expected.isNull());
    QCOMPARE(table.error(), QDbfTable::NoError);
}

void tst_QDbfTable::codepageByte_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QDbfTable::Codepage>("codepage");
    QTest::addColumn<QString>("text"); // 0x8F 0xE0 decoded

    const QString ibm = QString::fromUtf8("Пр");
    const QString win = QString::fromUtf8("Џа");
    // The locale is C.UTF-8 in the test run: lone high bytes are invalid UTF-8.
    const QString locale = QTextCodec::codecForLocale()->toUnicode("\x8F\xE0");
    QTest::newRow("0x00") << 0x00 << QDbfTable::IBM866 << ibm;
    QTest::newRow("0x65") << 0x65 << QDbfTable::IBM866 << ibm;
    QTest::newRow("0xC9") << 0xC9 << QDbfTable::Windows1251 << win;
    QTest::newRow("0x26") << 0x26 << QDbfTable::OtherCodepage << locale;
    QTest::newRow("0x57") << 0x57 << QDbfTable::OtherCodepage << locale;
    QTest::newRow("0x01") << 0x01 << QDbfTable::OtherCodepage << locale;
}

void tst_QDbfTable::codepageByte()
{
    QFETCH(int, byte);
    QFETCH(QDbfTable::Codepage, codepage);
    QFETCH(QString, text);

    DbfBuilder b;
    b.codepageByte = quint8(byte);
    b.field("V", 'C', 2).record(QByteArray(" \x8F\xE0"));
    QDbfTable table;
    QVERIFY(table.open(writeTable(b)));
    QCOMPARE(table.codepage(), codepage);
    QVERIFY(table.next());
    QCOMPARE(table.value(0).toString(), text);
}

void tst_QDbfTable::navigation_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("argument");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("at");

    // A table of 3 records.
    QTest::newRow("next from -1") << -1 << "next" << 0 << true << 0;
    QTest::newRow("next from 0") << 0 << "next" << 0 << true << 1;
    QTest::newRow("next at last") << 2 << "next" << 0 << false << 2;
    QTest::newRow("previous from -1") << -1 << "previous" << 0 << false << -1;
    QTest::newRow("previous at 0") << 0 << "previous" << 0 << false << 0;
    QTest::newRow("previous from 2") << 2 << "previous" << 0 << true << 1;
    QTest::newRow("first") << 1 << "first" << 0 << true << 0;
    QTest::newRow("last") << -1 << "last" << 0 << true << 2;
    QTest::newRow("seek 1") << -1 << "seek" << 1 << true << 1;
    QTest::newRow("seek 10 clamps") << 0 << "seek" << 10 << true << 2;
    QTest::newRow("seek -3") << 1 << "seek" << -3 << true << -1;
    QTest::newRow("seek 3 clamps") << 0 << "seek" << 3 << true << 2;
}

void tst_QDbfTable::navigation()
{
    QFETCH(int, start);
    QFETCH(QString, step);
    QFETCH(int, argument);
    QFETCH(bool, result);
    QFETCH(int, at);

    QDbfTable table;
    QVERIFY(table.open(writeTable(threeRecords())));
    QVERIFY(table.seek(start));
    QCOMPARE(table.at(), start);
    bool moved = false;
    if (step == QLatin1String("next"))
        moved = table.next();
    else if (step == QLatin1String("previous"))
        moved = table.previous();
    else if (step == QLatin1String("first"))
        moved = table.first();
    else if (step == QLatin1String("last"))
        moved = table.last();
    else if (step == QLatin1String("seek"))
        moved = table.seek(argument);
    QCOMPARE(moved, result);
    QCOMPARE(table.at(), at);
    QCOMPARE(table.record().recordIndex(), at);
    QCOMPARE(table.error(), QDbfTable::NoError);
}

void tst_QDbfTable::navigationOnEmptyTable()
{
    DbfBuilder b;
    b.field("NAME", 'C', 4);
    QDbfTable table;
    QVERIFY(table.open(writeTable(b)));
    QCOMPARE(table.size(), 0);
    QVERIFY(table.first());
    QCOMPARE(table.at(), -1);
    QVERIFY(table.last());
    QCOMPARE(table.at(), -1);
    QVERIFY(!table.next());
    QCOMPARE(table.at(), -1);
    QVERIFY(!table.previous());
    QVERIFY(table.seek(5));
    QCOMPARE(table.at(), -1);
}

void tst_QDbfTable::handlesShareCursor()
{
    QDbfTable table;
    QVERIFY(table.open(writeTable(threeRecords())));
    QDbfTable other = table;
    QVERIFY(other.next());
    QVERIFY(other.next());
    QCOMPARE(table.at(), 1);
    QCOMPARE(table.value(0).toString(), QStringLiteral("Boris     "));
    table.close();
    QVERIFY(!other.isOpen());
    QDbfTable third;
    third = other;
    QCOMPARE(third.at(), 1);
    QCOMPARE(third.size(), 3);
}

void tst_QDbfTable::recordIsCachedPerPosition()
{
    const QString path = writeTable(threeRecords());
    QDbfTable table;
    QVERIFY(table.open(path));
    QVERIFY(table.next());
    QCOMPARE(table.value(0).toString(), QStringLiteral("Anna      "));

    // Change record 0 behind the table's back: the cached record does not see it ...
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(threeRecords().headerLength() + 1));
        file.write("Zoya");
    }
    QCOMPARE(table.value(0).toString(), QStringLiteral("Anna      "));
    QVERIFY(table.first()); // index unchanged: the cache stays
    QCOMPARE(table.record().value(0).toString(), QStringLiteral("Anna      "));
    // ... until the cursor has been elsewhere.
    QVERIFY(table.next());
    QVERIFY(table.previous());
    QCOMPARE(table.value(0).toString(), QStringLiteral("Zoya      "));
}

void tst_QDbfTable::recordsStayIndependent()
{
    // Reading reuses the previous record's storage only when nobody holds on to it.
    QDbfTable table;
    QVERIFY(table.open(writeTable(threeRecords())));
    QVERIFY(table.next());
    const QDbfRecord first = table.record();
    const QString kept = table.value(0).toString();
    QVERIFY(table.next());
    QDbfRecord second = table.record();
    QCOMPARE(first.value(0).toString(), QStringLiteral("Anna      "));
    QCOMPARE(first.recordIndex(), 0);
    QCOMPARE(second.value(0).toString(), QStringLiteral("Boris     "));
    second = QDbfRecord();
    const QVariant amount = table.value(1);
    QVERIFY(table.next());
    QCOMPARE(table.value(0).toString(), QStringLiteral("Vera      "));
    QCOMPARE(kept, QStringLiteral("Anna      "));
    QCOMPARE(amount, QVariant(-10.0));
    QVERIFY(table.previous());
    QCOMPARE(table.value(0).toString(), QStringLiteral("Boris     "));
    QCOMPARE(table.record().recordIndex(), 1);
}

void tst_QDbfTable::recordBeforeFirstIsFieldList()
{
    QDbfTable table;
    QVERIFY(table.open(writeTable(threeRecords())));
    table.close();
    MessageCatcher catcher;
    const QDbfRecord record = table.record();
    QCOMPARE(g_messages, QStringList());
    QCOMPARE(record.count(), 5);
    QCOMPARE(record.recordIndex(), -1);
    QVERIFY(!record.isDeleted());
    for (int i = 0; i < record.count(); ++i)
        QVERIFY(!record.value(i).isValid());
}

void tst_QDbfTable::recordOfClosedTableWarns()
{
    QDbfTable table;
    QVERIFY(table.open(writeTable(threeRecords())));
    QVERIFY(table.next());
    const QDbfRecord cached = table.record();
    table.close();
    // A cached record is still there after close; an uncached one warns.
    QCOMPARE(table.record(), cached);
    QVERIFY(table.next());
    QTest::ignoreMessage(QtWarningMsg, "QDbfTablePrivate::record(): IODevice is not open");
    const QDbfRecord record = table.record();
    QCOMPARE(record.recordIndex(), -1);
    QVERIFY(!record.value(0).isValid());
    QCOMPARE(table.error(), QDbfTable::NoError);
    QCOMPARE(table.size(), 3);
    QCOMPARE(table.at(), 1);
}

void tst_QDbfTable::recordBeyondEndOfFile()
{
    // The header promises 5 records, the file holds 2 and a half.
    DbfBuilder b = threeRecords();
    b.recordCountOverride = 5;
    QByteArray bytes = b.bytes();
    bytes.chop(1 + b.recordLength() / 2);
    const QString path = m_dir.filePath(QStringLiteral("short.dbf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    QDbfTable table;
    QVERIFY(table.open(path));
    QCOMPARE(table.size(), 5);
    QVERIFY(table.seek(1));
    QDbfRecord record = table.record();
    QCOMPARE(table.error(), QDbfTable::NoError);
    QVERIFY(table.seek(2)); // half a record is no record
    record = table.record();
    QCOMPARE(table.error(), QDbfTable::RecordError);
    QCOMPARE(record.recordIndex(), 2);
    QVERIFY(!record.value(0).isValid());
    QVERIFY(!record.value(3).isValid());
    QVERIFY(table.seek(4));
    record = table.record();
    QCOMPARE(table.error(), QDbfTable::RecordError);
    QCOMPARE(record.recordIndex(), 4);
    QVERIFY(!record.value(0).isValid());
    QVERIFY(!record.value(1).isValid());
    QVERIFY(table.seek(0));
    QCOMPARE(table.value(0).toString(), QStringLiteral("Anna      "));
    QCOMPARE(table.error(), QDbfTable::NoError);
}

void tst_QDbfTable::fieldsBeyondRecordLength()
{
    // Descriptors add up to 15 bytes, the header says 6: fields are cut to what was read.
    DbfBuilder b;
    b.field("A", 'C', 3).field("B", 'C', 6).field("C", 'N', 5);
    b.recordLengthOverride = 6;
    b.record(" abcdefghijklmn").record(" opqrstuvwxyz12");
    const QString path = writeTable(b);
    const QByteArray before = readAll(path);

    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.next());
    QCOMPARE(table.value(0).toString(), QStringLiteral("abc"));
    QCOMPARE(table.value(1).toString(), QStringLiteral("de"));
    QCOMPARE(table.value(2).toDouble(), 0.0);
    QVERIFY(table.last());
    QCOMPARE(table.value(0).toString(), QStringLiteral("opq"));

    // Writing back stays inside the 6 bytes of the record.
    QDbfRecord record = table.record();
    record.setValue(1, QStringLiteral("XYZXYZ"));
    record.setValue(2, 12345.0);
    QVERIFY(table.updateRecordInTable(record));
    QByteArray expected = before;
    expected.replace(b.headerLength() + 6, 6, " opqXY");
    QCOMPARE(readAll(path), expected);
}

void tst_QDbfTable::damagedCounts_data()
{
    QTest::addColumn<int>("recordCount");
    QTest::addColumn<int>("recordLength");
    QTest::addColumn<int>("size");

    // 0xFFFFFFFF reads as -1 and 0x8000 as a negative record length.
    QTest::newRow("count 0xFFFFFFFF") << -1 << 6 << -1;
    QTest::newRow("count 0x80000000") << int(0x80000000u) << 6 << int(0x80000000u);
    QTest::newRow("record length 0") << 2 << 0 << 2;
    QTest::newRow("record length 0x8000") << 2 << 0x8000 << 2;
}

void tst_QDbfTable::damagedCounts()
{
    QFETCH(int, recordCount);
    QFETCH(int, recordLength);
    QFETCH(int, size);

    DbfBuilder b;
    b.field("A", 'C', 5).record(" abcde").record(" fghij");
    b.recordCountOverride = quint32(recordCount);
    b.recordLengthOverride = recordLength;
    QByteArray bytes = b.bytes();
    // The builder cuts records to the announced length; keep the real ones in the file.
    bytes.truncate(b.headerLength());
    bytes += " abcde fghij\x1A";
    const QString path = m_dir.filePath(QStringLiteral("damaged.dbf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QCOMPARE(table.size(), size);
    if (size > 0) {
        QVERIFY(table.next());
        const QDbfRecord record = table.record();
        QCOMPARE(table.error(), QDbfTable::RecordError);
        QVERIFY(!record.value(0).isValid());
        QVERIFY(!table.updateRecordInTable(record));
        QCOMPARE(table.error(), QDbfTable::RecordError);
    } else {
        // No record to move to, and no arithmetic on the count that could overflow.
        QVERIFY(!table.next());
        QVERIFY(table.last());
        QVERIFY(!table.previous());
        QVERIFY(table.seek(5));
        QVERIFY(table.first());
        QCOMPARE(table.at(), -1);
    }
    QVERIFY(!table.addRecord());
    QCOMPARE(table.error(), QDbfTable::RecordError);
    QVERIFY(!table.removeRecord(0));
    QCOMPARE(table.error(), QDbfTable::RecordError);
    QCOMPARE(readAll(path), bytes);
}

void tst_QDbfTable::encodeValues_data()
{
    QTest::addColumn<int>("codepageByte");
    QTest::addColumn<char>("letter");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("C cut") << 0x65 << 'C' << 10 << 0 << QVariant(QStringLiteral("ABCDEFGHIJKL"))
                           << QByteArray("ABCDEFGHIJ");
    QTest::newRow("C filled") << 0x65 << 'C' << 10 << 0 << QVariant(QStringLiteral("AB"))
                              << QByteArray("AB        ");
    QTest::newRow("C null") << 0x65 << 'C' << 4 << 0 << QVariant() << QByteArray("    ");
    QTest::newRow("C number") << 0x65 << 'C' << 4 << 0 << QVariant(42) << QByteArray("42  ");
    QTest::newRow("C IBM 866") << 0x65 << 'C' << 8 << 0 << QVariant(QString::fromUtf8("Привет"))
                               << ibm866("Привет  ");
    QTest::newRow("C Windows-1251") << 0xC9 << 'C' << 8 << 0 << QVariant(QString::fromUtf8("Привет"))
                                    << cp1251("Привет  ");
    // UTF-8 locale: a character never straddles the end of the field.
    QTest::newRow("C locale multi-byte cut")
        << 0x57 << 'C' << 5 << 0 << QVariant(QString::fromUtf8("ЯЯЯ")) << QByteArray("\xD0\xAF\xD0\xAF ");
    QTest::newRow("N -1.5") << 0x65 << 'N' << 6 << 2 << QVariant(-1.5) << QByteArray(" -1.50");
    QTest::newRow("N cut to length") << 0x65 << 'N' << 5 << 2 << QVariant(123456.789) << QByteArray("12345");
    QTest::newRow("N null") << 0x65 << 'N' << 6 << 2 << QVariant() << QByteArray("  0.00");
    QTest::newRow("N integer") << 0x65 << 'N' << 4 << 0 << QVariant(7) << QByteArray("   7");
    QTest::newRow("N rounds") << 0x65 << 'N' << 6 << 1 << QVariant(2.25001) << QByteArray("   2.3");
    QTest::newRow("F") << 0x65 << 'F' << 8 << 3 << QVariant(3.14159) << QByteArray("   3.142");
    QTest::newRow("D") << 0x65 << 'D' << 8 << 0 << QVariant(QDate(2024, 5, 17)) << QByteArray("20240517");
    QTest::newRow("D null") << 0x65 << 'D' << 8 << 0 << QVariant(QDate()) << QByteArray("        ");
    QTest::newRow("D invalid") << 0x65 << 'D' << 8 << 0 << QVariant() << QByteArray("        ");
    QTest::newRow("L true") << 0x65 << 'L' << 1 << 0 << QVariant(true) << QByteArray("T");
    QTest::newRow("L false") << 0x65 << 'L' << 1 << 0 << QVariant(false) << QByteArray("F");
    QTest::newRow("L null") << 0x65 << 'L' << 1 << 0 << QVariant() << QByteArray("F");
    QTest::newRow("L wide") << 0x65 << 'L' << 3 << 0 << QVariant(true) << QByteArray("T  ");
}

void tst_QDbfTable::encodeValues()
{
    QFETCH(int, codepageByte);
    QFETCH(char, letter);
    QFETCH(int, length);
    QFETCH(int, decimals);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, bytes);

    DbfBuilder b;
    b.codepageByte = quint8(codepageByte);
    b.field("V", letter, quint8(length), quint8(decimals)).field("TAIL", 'C', 2);
    b.record(QByteArray(" ") + QByteArray(length, '#') + "zz");
    const QString path = writeTable(b);
    QByteArray expected = readAll(path);
    expected.replace(b.headerLength() + 1, length, bytes);

    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.next());
    QDbfRecord record = table.record();
    record.setValue(0, value);
    QVERIFY(table.updateRecordInTable(record));
    QCOMPARE(table.error(), QDbfTable::NoError);
    QCOMPARE(readAll(path), expected);
}

void tst_QDbfTable::updateWritesOnlyItsRecord()
{
    const DbfBuilder b = threeRecords();
    const QString path = writeTable(b);
    const QByteArray before = readAll(path);

    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.seek(1));
    QDbfRecord record = table.record();
    record.setValue(QStringLiteral("name"), QStringLiteral("Gleb"));
    record.setValue(QStringLiteral("AMOUNT"), -1.5);
    record.setValue(QStringLiteral("DAY"), QDate(2024, 1, 2));
    record.setValue(QStringLiteral("FLAG"), true);
    record.setValue(QStringLiteral("MEMO"), QStringLiteral("lost"));
    record.setDeleted(true);
    QVERIFY(table.updateRecordInTable(record));
    QCOMPARE(table.error(), QDbfTable::NoError);

    QByteArray expected = before;
    // The memo field's bytes stay as they were on disk.
    expected.replace(b.headerLength() + b.recordLength(), b.recordLength(), "*Gleb       -1.5020240102Tm002");
    QCOMPARE(readAll(path), expected);
}

void tst_QDbfTable::updateKeepsCacheUntilCursorMoves()
{
    QDbfTable table;
    QVERIFY(table.open(writeTable(threeRecords()), QDbfTable::ReadWrite));
    QVERIFY(table.next());
    QDbfRecord record = table.record();
    record.setValue(0, QStringLiteral("Olga"));
    QVERIFY(table.updateRecordInTable(record));
    QCOMPARE(table.value(0).toString(), QStringLiteral("Anna      "));
    QVERIFY(table.next());
    QVERIFY(table.previous());
    QCOMPARE(table.value(0).toString(), QStringLiteral("Olga      "));
}

void tst_QDbfTable::updateRefusesForeignRecords_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("from another table") << "other";
    QTest::newRow("field definition changed") << "changed";
    QTest::newRow("field replaced by an equal one") << "rebuilt";
    QTest::newRow("field removed") << "removed";
    QTest::newRow("empty record") << "empty";
}

void tst_QDbfTable::updateRefusesForeignRecords()
{
    QFETCH(QString, kind);

    const QString path = writeTable(threeRecords());
    const QString otherPath = writeTable(threeRecords(), QStringLiteral("other.dbf"));
    const QByteArray before = readAll(path);
    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.next());
    QDbfRecord record = table.record();
    if (kind == QLatin1String("other")) {
        QDbfTable other(otherPath);
        QVERIFY(other.open(QDbfTable::ReadWrite));
        QVERIFY(other.next());
        record = other.record();
    } else if (kind == QLatin1String("changed")) {
        QDbfField field = record.field(0);
        field.setLength(3);
        record.replace(0, field);
    } else if (kind == QLatin1String("rebuilt")) {
        const QDbfField original = record.field(0);
        QDbfField field(original.name(), original.type());
        field.setQDbfType(original.dbfType());
        field.setLength(original.length());
        field.setPrecision(original.precision());
        field.setOffset(original.offset());
        field.setValue(original.value());
        QCOMPARE(field, original); // equal, but not the table's own definition
        record.replace(0, field);
    } else if (kind == QLatin1String("removed")) {
        record.remove(4);
    } else {
        record = QDbfRecord();
        record.setRecordIndex(0);
    }
    record.setValue(1, 99.0);
    QVERIFY(!table.updateRecordInTable(record));
    QCOMPARE(table.error(), QDbfTable::WriteError);
    QVERIFY(!table.addRecord(record));
    QCOMPARE(table.error(), QDbfTable::WriteError);
    QCOMPARE(table.size(), 3);
    QCOMPARE(readAll(path), before);
}

void tst_QDbfTable::updateRefusesIndexOutsideTable_data()
{
    QTest::addColumn<int>("index");

    QTest::newRow("-1") << -1;
    QTest::newRow("-2") << -2;
    QTest::newRow("size") << 3;
    QTest::newRow("far beyond") << 1000000;
}

void tst_QDbfTable::updateRefusesIndexOutsideTable()
{
    QFETCH(int, index);

    const QString path = writeTable(threeRecords());
    const QByteArray before = readAll(path);
    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.next());
    QDbfRecord record = table.record();
    record.setRecordIndex(index);
    QVERIFY(!table.updateRecordInTable(record));
    QCOMPARE(table.error(), QDbfTable::RecordError);
    QCOMPARE(readAll(path), before);
    // The table is still usable afterwards.
    record.setRecordIndex(0);
    QVERIFY(table.updateRecordInTable(record));
    QCOMPARE(table.error(), QDbfTable::NoError);
}

void tst_QDbfTable::appendToThreeRecords()
{
    const DbfBuilder b = threeRecords();
    const QString path = writeTable(b);
    const QByteArray before = readAll(path);

    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.seek(1));
    QDbfRecord record = table.record();
    record.setValue(0, QStringLiteral("Dmitri"));
    record.setValue(1, 3.5);
    record.setValue(2, QDate(2000, 2, 29));
    record.setValue(3, true);
    QVERIFY(table.addRecord(record));
    QCOMPARE(table.error(), QDbfTable::NoError);
    QCOMPARE(table.size(), 4);
    QCOMPARE(table.at(), 1); // the cursor does not move

    QByteArray expected = before;
    expected.chop(1); // the old end-of-file byte is overwritten
    expected += " Dmitri      3.5020000229T    ";
    expected += char(0x1A);
    expected[4] = 4; // record count; date bytes 1 to 3 stay
    QCOMPARE(readAll(path), expected);

    QVERIFY(table.last());
    QCOMPARE(table.at(), 3);
    QCOMPARE(table.value(0).toString(), QStringLiteral("Dmitri    "));
    QCOMPARE(table.value(2).toDate(), QDate(2000, 2, 29));
}

void tst_QDbfTable::appendBlankRecord()
{
    DbfBuilder b = threeRecords();
    b.endOfFile = false;
    const QString path = writeTable(b);
    QByteArray expected = readAll(path);

    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.next());
    QVERIFY(table.addRecord()); // from the record under the cursor, values cleared
    QVERIFY(table.addRecord()); // and again, with the new count
    const QByteArray blank = QByteArray(11, ' ') + "  0.00" + QByteArray(8, ' ') + "F" + QByteArray(4, ' ');
    // The second append overwrites the first one's end-of-file byte.
    expected += blank + blank + char(0x1A);
    expected[4] = 5;
    QByteArray actual = readAll(path);
    QCOMPARE(actual.size(), expected.size());
    QCOMPARE(actual, expected);
    QCOMPARE(table.size(), 5);
}

void tst_QDbfTable::appendDeletedRecord()
{
    const QString path = writeTable(threeRecords());
    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.next());
    QDbfRecord record = table.record();
    record.setDeleted(true);
    record.setRecordIndex(-1); // the index is not used for appending
    QVERIFY(table.addRecord(record));
    QVERIFY(table.last());
    QVERIFY(table.record().isDeleted());
    QCOMPARE(table.value(0).toString(), QStringLiteral("Anna      "));
    QCOMPARE(readAll(path).at(threeRecords().headerLength() + 3 * threeRecords().recordLength()), '*');
}

void tst_QDbfTable::appendRefusedOnReadOnly()
{
    const QString path = writeTable(threeRecords());
    const QByteArray before = readAll(path);
    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadOnly));
    QVERIFY(table.next());
    QVERIFY(!table.addRecord());
    QCOMPARE(table.error(), QDbfTable::WriteError);
    QVERIFY(!table.updateRecordInTable(table.record()));
    QCOMPARE(table.error(), QDbfTable::WriteError);
    QVERIFY(!table.removeRecord(0));
    QCOMPARE(table.error(), QDbfTable::WriteError);
    QVERIFY(!table.setCodepage(QDbfTable::Windows1251));
    QCOMPARE(table.error(), QDbfTable::WriteError);
    QCOMPARE(table.size(), 3);
    QCOMPARE(readAll(path), before);
    // A successful read clears the error again.
    QVERIFY(table.next());
    table.record();
    QCOMPARE(table.error(), QDbfTable::NoError);
}

void tst_QDbfTable::appendRefusedWhenRecordsMissing()
{
    // Found by fuzzing: a damaged record count (721420288 records announced in a
    // 225-byte file) had the append write 44 GB into the file. Such a table is refused.
    const QString path = QStringLiteral(VELMORA_TESTDATA_DIR "/qdbf/append-count-beyond-eof.dbf");
    const QString copy = m_dir.filePath(QStringLiteral("copy.dbf"));
    QVERIFY(QFile::copy(path, copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray before = readAll(copy);

    QDbfTable table(copy);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QCOMPARE(table.size(), 721420288);
    QVERIFY(!table.addRecord());
    QCOMPARE(table.error(), QDbfTable::RecordError);
    QVERIFY(table.last());
    QDbfRecord record = table.record();
    QCOMPARE(table.error(), QDbfTable::RecordError);
    QVERIFY(!table.updateRecordInTable(record));
    QCOMPARE(table.error(), QDbfTable::RecordError);
    QVERIFY(!table.removeRecord(table.at()));
    QCOMPARE(table.error(), QDbfTable::RecordError);
    table.close();
    QCOMPARE(readAll(copy), before);
}

void tst_QDbfTable::navigationWithCountIntMin()
{
    // Found by fuzzing: a record count of 0x80000000 reads as INT_MIN, and last() computed
    // INT_MIN - 1 (undefined behaviour, caught by UBSan).
    QDbfTable table(QStringLiteral(VELMORA_TESTDATA_DIR "/qdbf/count-int-min.dbf"));
    QVERIFY(table.open(QDbfTable::ReadOnly));
    QCOMPARE(table.size(), int(0x80000000u));
    QVERIFY(table.last());
    QCOMPARE(table.at(), -1);
    QVERIFY(table.seek(3));
    QCOMPARE(table.at(), -1);
    QVERIFY(!table.next());
    QVERIFY(!table.previous());
    QCOMPARE(table.record().recordIndex(), -1);
}

void tst_QDbfTable::removeRecord()
{
    const DbfBuilder b = threeRecords();
    const QString path = writeTable(b);
    QByteArray expected = readAll(path);

    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.seek(1));
    QVERIFY(!table.record().isDeleted());
    QVERIFY(table.removeRecord(1));
    QCOMPARE(table.error(), QDbfTable::NoError);
    QCOMPARE(table.size(), 3);
    expected[b.headerLength() + b.recordLength()] = '*';
    QCOMPARE(readAll(path), expected);
    // The cached record is not touched; a fresh read sees the mark.
    QVERIFY(!table.record().isDeleted());
    QVERIFY(table.next());
    QVERIFY(table.previous());
    QVERIFY(table.record().isDeleted());
    QCOMPARE(table.value(0).toString(), QStringLiteral("Boris     "));
}

void tst_QDbfTable::removeRecordOutsideTable_data()
{
    QTest::addColumn<int>("index");

    QTest::newRow("-1") << -1;
    QTest::newRow("size") << 3;
    QTest::newRow("far beyond") << (1 << 30);
}

void tst_QDbfTable::removeRecordOutsideTable()
{
    QFETCH(int, index);

    const QString path = writeTable(threeRecords());
    const QByteArray before = readAll(path);
    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(!table.removeRecord(index));
    QCOMPARE(table.error(), QDbfTable::RecordError);
    QCOMPARE(readAll(path), before);
}

void tst_QDbfTable::setCodepage_data()
{
    QTest::addColumn<QDbfTable::Codepage>("codepage");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("text"); // bytes 0x8F 0xE0 read after the change

    // The byte written for NoCodepage reads back as IBM 866, but this table decodes with
    // the locale's codec until it is opened again.
    QTest::newRow("NoCodepage") << QDbfTable::NoCodepage << true << 0x65
                                << QTextCodec::codecForLocale()->toUnicode("\x8F\xE0");
    QTest::newRow("IBM866") << QDbfTable::IBM866 << true << 0x65 << QString::fromUtf8("Пр");
    QTest::newRow("Windows1251") << QDbfTable::Windows1251 << true << 0xC9 << QString::fromUtf8("Џа");
    QTest::newRow("OtherCodepage") << QDbfTable::OtherCodepage << false << 0x57
                                   << QTextCodec::codecForLocale()->toUnicode("\x8F\xE0");
}

void tst_QDbfTable::setCodepage()
{
    QFETCH(QDbfTable::Codepage, codepage);
    QFETCH(bool, result);
    QFETCH(int, byte);
    QFETCH(QString, text);

    DbfBuilder b;
    b.codepageByte = 0x57;
    b.field("V", 'C', 2).record(" \x8F\xE0").record(" \x8F\xE0");
    const QString path = writeTable(b);
    QByteArray expected = readAll(path);
    expected[29] = char(byte);

    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.next());
    const QString before = table.value(0).toString();
    QCOMPARE(table.setCodepage(codepage), result);
    QCOMPARE(table.error(), QDbfTable::NoError);
    QCOMPARE(table.codepage(), result ? codepage : QDbfTable::OtherCodepage);
    QCOMPARE(readAll(path), expected);
    // The cached record keeps its text; the next read uses the new codec.
    QCOMPARE(table.value(0).toString(), before);
    QVERIFY(table.next());
    QCOMPARE(table.value(0).toString(), text);
}

void tst_QDbfTable::closedTableOperations()
{
    const QString path = writeTable(threeRecords());
    const QByteArray before = readAll(path);
    QDbfTable table(path);
    QVERIFY(table.open(QDbfTable::ReadWrite));
    QVERIFY(table.next());
    const QDbfRecord record = table.record();
    table.close();
    QVERIFY(!table.isOpen());

    {
        MessageCatcher catcher;
        QVERIFY(!table.updateRecordInTable(record));
        QCOMPARE(g_messages, QStringList());
    }
    QTest::ignoreMessage(QtWarningMsg, "QDbfTablePrivate::addRecord(): IODevice is not open");
    QVERIFY(!table.addRecord(record));
    QTest::ignoreMessage(QtWarningMsg, "QDbfTablePrivate::removeRecord(): IODevice is not open");
    QVERIFY(!table.removeRecord(0));
    QTest::ignoreMessage(QtWarningMsg, "QDbfTablePrivate::setCodepage(): IODevice is not open");
    QVERIFY(!table.setCodepage(QDbfTable::Windows1251));
    QCOMPARE(table.error(), QDbfTable::NoError);
    QCOMPARE(table.size(), 3);
    QCOMPARE(table.fileName(), path);
    QCOMPARE(readAll(path), before);

    // Reopening starts from scratch.
    QVERIFY(table.open(QDbfTable::ReadOnly));
    QCOMPARE(table.at(), -1);
    QCOMPARE(table.openMode(), QDbfTable::ReadOnly);
}

// A device that cannot seek is read forward: skipping ahead works, going back fails with
// ReadError (the cursor still moves), writing is refused, a cut record is a RecordError.
void tst_QDbfTable::forwardOnlyDevice()
{
    DbfBuilder b = threeRecords();
    b.recordCountOverride = 4;
    ForwardOnlyDevice device(b.bytes());
    QDbfTable table;
    QVERIFY(table.open(&device));
    QVERIFY(device.isOpen());
    QCOMPARE(table.size(), 4);
    QVERIFY(table.seek(1)); // record 0 is skipped, not read
    QCOMPARE(table.record().value(0).toString(), QStringLiteral("Boris     "));
    QCOMPARE(table.error(), QDbfTable::NoError);
    QVERIFY(table.first());
    QVERIFY(!table.record().value(0).isValid());
    QCOMPARE(table.error(), QDbfTable::ReadError);
    QVERIFY(table.seek(2));
    QDbfRecord vera = table.record();
    QCOMPARE(vera.value(0).toString(), QStringLiteral("Vera      "));
    QCOMPARE(table.error(), QDbfTable::NoError);
    QVERIFY(table.next()); // announced, but only the end-of-file byte is there
    QVERIFY(!table.record().value(0).isValid());
    QCOMPARE(table.error(), QDbfTable::RecordError);

    vera.setValue(0, QStringLiteral("Vika"));
    QVERIFY(!table.updateRecordInTable(vera));
    QCOMPARE(table.error(), QDbfTable::WriteError);
    QVERIFY(!table.setCodepage(QDbfTable::Windows1251));
    QCOMPARE(table.fileName(), QString());
    table.close();
    QVERIFY(!device.isOpen()); // the table opened it
}

// A device the caller opened stays open; the table reads a random-access one from its start
// whatever its position, and writes go through to it.
void tst_QDbfTable::deviceNotOwned()
{
    QBuffer buffer;
    buffer.setData(threeRecords().bytes());
    QVERIFY(buffer.open(QIODevice::ReadWrite));
    QVERIFY(buffer.seek(40));
    QDbfTable table;
    QVERIFY(table.open(&buffer, QDbfTable::ReadWrite));
    QVERIFY(table.last());
    QDbfRecord record = table.record();
    QCOMPARE(record.value(0).toString(), QStringLiteral("Vera      "));
    record.setValue(0, QStringLiteral("Vika"));
    QVERIFY(table.updateRecordInTable(record));
    QVERIFY(table.first());
    QCOMPARE(table.record().value(0).toString(), QStringLiteral("Anna      "));
    table.close();
    QVERIFY(buffer.isOpen());
    QVERIFY(buffer.data().contains("Vika      "));
}

void tst_QDbfTable::compareAndDebug()
{
    const QString path = writeTable(threeRecords());
    QDbfTable a(path);
    QDbfTable b(path);
    QVERIFY(a == b); // neither opened yet
    QVERIFY(a.open());
    QVERIFY(a != b);
    QVERIFY(b.open());
    QVERIFY(b.next()); // the cursor is not compared
    QVERIFY(a == b);

    QDbfTable c(writeTable(threeRecords(), QStringLiteral("c.dbf")));
    QVERIFY(c.open());
    QVERIFY(a != c);

    QCOMPARE(debugText(a), QStringLiteral("QDbfTable(\"%1\", size: 5 x 3) ").arg(path));
    a.close();
    QDbfTable closed(path);
    QCOMPARE(debugText(closed), QStringLiteral("QDbfTable(\"\", size: 0 x -1) "));
}

QTEST_GUILESS_MAIN(tst_QDbfTable)
#include "tst_qdbftable.moc"
