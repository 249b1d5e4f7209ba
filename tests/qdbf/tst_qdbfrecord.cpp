// SPDX-License-Identifier: GPL-3.0-or-later
#include <qdbf/qdbfrecord.h>

#include <QDebug>
#include <QTest>

using namespace QDbf;

namespace {

QDbfField makeField(const char* name, QVariant::Type type, const QVariant& value)
{
    QDbfField field(QString::fromLatin1(name), type);
    field.setValue(value);
    return field;
}

// NAME C, AMOUNT N, Name C: two names that differ only in case.
QDbfRecord threeFields()
{
    QDbfRecord record;
    record.append(makeField("NAME", QVariant::String, QStringLiteral("Anna")));
    record.append(makeField("AMOUNT", QVariant::Double, 1.5));
    record.append(makeField("Name", QVariant::String, QStringLiteral("second")));
    record.setRecordIndex(4);
    return record;
}

} // namespace

class tst_QDbfRecord : public QObject {
    Q_OBJECT

private slots:
    void empty();
    void indexOf_data();
    void indexOf();
    void outOfRange_data();
    void outOfRange();
    void copiesDetach_data();
    void copiesDetach();
    void readOnlyFieldKeepsValue();
    void editing();
    void equality_data();
    void equality();
    void debugText();
};

void tst_QDbfRecord::empty()
{
    const QDbfRecord record;
    QCOMPARE(record.recordIndex(), -1);
    QVERIFY(!record.isDeleted());
    QCOMPARE(record.count(), 0);
    QVERIFY(record.isEmpty());
    QVERIFY(record.field(0).name().isNull());
}

void tst_QDbfRecord::indexOf_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");

    QTest::newRow("exact") << "AMOUNT" << 1;
    QTest::newRow("lower case") << "amount" << 1;
    QTest::newRow("first of two case variants") << "name" << 0;
    QTest::newRow("mixed") << "NaMe" << 0;
    QTest::newRow("missing") << "other" << -1;
    QTest::newRow("empty") << "" << -1;
}

void tst_QDbfRecord::indexOf()
{
    QFETCH(QString, name);
    QFETCH(int, index);

    const QDbfRecord record = threeFields();
    QCOMPARE(record.indexOf(name), index);
    QCOMPARE(record.contains(name), index != -1);
    QCOMPARE(record.value(name), record.value(index));
    QCOMPARE(record.field(name), record.field(index));
}

void tst_QDbfRecord::outOfRange_data()
{
    QTest::addColumn<int>("index");

    QTest::newRow("-1") << -1;
    QTest::newRow("count") << 3;
    QTest::newRow("5") << 5;
}

void tst_QDbfRecord::outOfRange()
{
    QFETCH(int, index);

    QDbfRecord record = threeFields();
    const QDbfRecord before = record;
    QVERIFY(!record.value(index).isValid());
    QVERIFY(record.isNull(index));
    QVERIFY(record.fieldName(index).isNull());
    QVERIFY(record.field(index).name().isNull());
    QCOMPARE(record.field(index).type(), QVariant::Invalid);
    record.setValue(index, 42);
    record.setNull(index);
    record.replace(index, makeField("X", QVariant::Int, 1));
    record.remove(index);
    QCOMPARE(record, before);
    record.setValue(QStringLiteral("missing"), 42);
    record.setNull(QStringLiteral("missing"));
    QCOMPARE(record, before);
}

void tst_QDbfRecord::copiesDetach_data()
{
    QTest::addColumn<QString>("change");

    QTest::newRow("index") << "index";
    QTest::newRow("value") << "value";
    QTest::newRow("clearValues") << "clearValues";
}

void tst_QDbfRecord::copiesDetach()
{
    QFETCH(QString, change);

    const QDbfRecord original = threeFields();
    QDbfRecord copy = original;
    if (change == QLatin1String("index"))
        copy.setRecordIndex(9);
    else if (change == QLatin1String("value"))
        copy.setValue(0, QStringLiteral("Boris"));
    else
        copy.clearValues();

    QVERIFY(copy != original);
    QCOMPARE(original, threeFields());
}

void tst_QDbfRecord::readOnlyFieldKeepsValue()
{
    QDbfRecord record = threeFields();
    QDbfField locked = record.field(1);
    locked.setReadOnly(true);
    record.replace(1, locked);
    record.setValue(1, 9.0);
    record.setNull(QStringLiteral("AMOUNT"));
    record.clearValues();
    QCOMPARE(record.value(1), QVariant(1.5));
    // The other fields are cleared to null values of their type.
    QVERIFY(record.isNull(0));
    QCOMPARE(record.value(0).type(), QVariant::String);
    QVERIFY(record.isNull(2));
}

void tst_QDbfRecord::editing()
{
    QDbfRecord record = threeFields();
    record.setDeleted(true);
    record.insert(1, makeField("MID", QVariant::Int, 7));
    QCOMPARE(record.count(), 4);
    QCOMPARE(record.fieldName(1), QStringLiteral("MID"));
    QCOMPARE(record.fieldName(2), QStringLiteral("AMOUNT"));
    record.insert(4, makeField("END", QVariant::Int, 8));
    QCOMPARE(record.fieldName(4), QStringLiteral("END"));
    record.remove(1);
    QCOMPARE(record.indexOf(QStringLiteral("amount")), 1);
    record.setValue(QStringLiteral("amount"), 2.5);
    QCOMPARE(record.value(1), QVariant(2.5));
    record.clear();
    QVERIFY(record.isEmpty());
    QCOMPARE(record.recordIndex(), 4);
    QVERIFY(record.isDeleted());
}

void tst_QDbfRecord::equality_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<bool>("equal");

    QTest::newRow("same") << 4 << false << true;
    QTest::newRow("other index") << 5 << false << false;
    QTest::newRow("other mark") << 4 << true << false;
}

void tst_QDbfRecord::equality()
{
    QFETCH(int, index);
    QFETCH(bool, deleted);
    QFETCH(bool, equal);

    QDbfRecord other = threeFields();
    other.setRecordIndex(index);
    other.setDeleted(deleted);
    QCOMPARE(threeFields() == other, equal);
    QCOMPARE(threeFields() != other, !equal);
}

void tst_QDbfRecord::debugText()
{
    QDbfRecord record;
    QDbfField field(QStringLiteral("NAME"), QVariant::String);
    field.setLength(4);
    field.setValue(QStringLiteral("Anna"));
    record.append(field);
    QString out;
    QDebug(&out) << record;
    QCOMPARE(out, QStringLiteral("QDbfRecord(1)\n\" 0:\"QDbfField(\"NAME\", QString, length: 4) \"Anna\"  "));
}

QTEST_GUILESS_MAIN(tst_QDbfRecord)
#include "tst_qdbfrecord.moc"
