// SPDX-License-Identifier: GPL-3.0-or-later
#include <qdbf/qdbffield.h>

#include <QDate>
#include <QDebug>
#include <QTest>

using namespace QDbf;

class tst_QDbfField : public QObject {
    Q_OBJECT

private slots:
    void defaults();
    void readOnlyKeepsValue();
    void clearGivesNullOfType_data();
    void clearGivesNullOfType();
    void equality_data();
    void equality();
    void debugText_data();
    void debugText();
};

void tst_QDbfField::defaults()
{
    const QDbfField field(QStringLiteral("NAME"), QVariant::String);
    QCOMPARE(field.name(), QStringLiteral("NAME"));
    QCOMPARE(field.type(), QVariant::String);
    QCOMPARE(field.dbfType(), QDbfField::UndefinedType);
    QCOMPARE(field.length(), -1);
    QCOMPARE(field.precision(), -1);
    QCOMPARE(field.offset(), 0);
    QVERIFY(!field.isReadOnly());
    QVERIFY(!field.defaultValue().isValid());
    // A new field holds an invalid variant, not a null string.
    QVERIFY(!field.value().isValid());
    QVERIFY(field.isNull());

    const QDbfField empty;
    QVERIFY(empty.name().isNull());
    QCOMPARE(empty.type(), QVariant::Invalid);
}

void tst_QDbfField::readOnlyKeepsValue()
{
    QDbfField field(QStringLiteral("N"), QVariant::Double);
    field.setValue(1.5);
    QDbfField copy = field;
    field.setReadOnly(true);
    field.setValue(2.5);
    QCOMPARE(field.value(), QVariant(1.5));
    field.clear();
    QCOMPARE(field.value(), QVariant(1.5));
    // The copy has its own definition by now and stays writable.
    copy.setValue(3.5);
    QCOMPARE(copy.value(), QVariant(3.5));
    // Values are per field object, not shared through the definition.
    QCOMPARE(field.value(), QVariant(1.5));
}

void tst_QDbfField::clearGivesNullOfType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("C") << int(QVariant::String) << QVariant(QStringLiteral("abc"));
    QTest::newRow("N") << int(QVariant::Double) << QVariant(2.0);
    QTest::newRow("D") << int(QVariant::Date) << QVariant(QDate(2024, 1, 1));
    QTest::newRow("L") << int(QVariant::Bool) << QVariant(true);
    QTest::newRow("undefined") << int(QVariant::Invalid) << QVariant(1);
}

void tst_QDbfField::clearGivesNullOfType()
{
    QFETCH(int, type);
    QFETCH(QVariant, value);

    QDbfField field(QStringLiteral("F"), QVariant::Type(type));
    field.setValue(value);
    QVERIFY(!field.isNull());
    field.clear();
    QVERIFY(field.isNull());
    QCOMPARE(int(field.value().type()), type);
}

void tst_QDbfField::equality_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("equal");

    QTest::newRow("nothing") << "" << true;
    QTest::newRow("value") << "value" << false;
    QTest::newRow("copy renamed") << "renamed" << false;
    QTest::newRow("rebuilt definition") << "rebuilt" << true;
    QTest::newRow("rebuilt with other length") << "rebuilt-length" << false;
    QTest::newRow("rebuilt with other default") << "rebuilt-default" << false;
}

void tst_QDbfField::equality()
{
    QFETCH(QString, change);
    QFETCH(bool, equal);

    QDbfField a(QStringLiteral("NAME"), QVariant::String);
    a.setLength(10);
    a.setValue(QStringLiteral("x"));
    QDbfField b = a;
    if (change == QLatin1String("value")) {
        b.setValue(QStringLiteral("y"));
    } else if (change.startsWith(QLatin1String("rebuilt"))) {
        b = QDbfField(QStringLiteral("NAME"), QVariant::String);
        b.setLength(change == QLatin1String("rebuilt-length") ? 11 : 10);
        if (change == QLatin1String("rebuilt-default"))
            b.setDefaultValue(QStringLiteral("d"));
        b.setValue(QStringLiteral("x"));
    } else if (change == QLatin1String("renamed")) {
        b.setName(QStringLiteral("OTHER")); // the copy gets its own definition
        QCOMPARE(a.name(), QStringLiteral("NAME"));
        QCOMPARE(a.length(), 10);
    }
    QCOMPARE(a == b, equal);
    QCOMPARE(a != b, !equal);
}

void tst_QDbfField::debugText_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");

    QTest::newRow("character") << "C"
                               << "QDbfField(\"NAME\", QString, length: 40, precision: 0) ";
    QTest::newRow("new field") << "new"
                               << "QDbfField(\"X\", double) ";
    QTest::newRow("invalid type") << "invalid"
                                  << "QDbfField(\"\", ) ";
    QTest::newRow("default value") << "default"
                                   << "QDbfField(\"D\", QDate, length: 8, auto-value: \"QVariant(int, 5)\") ";
}

void tst_QDbfField::debugText()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);

    QDbfField field;
    if (kind == QLatin1String("C")) {
        field = QDbfField(QStringLiteral("NAME"), QVariant::String);
        field.setLength(40);
        field.setPrecision(0);
    } else if (kind == QLatin1String("new")) {
        field = QDbfField(QStringLiteral("X"), QVariant::Double);
    } else if (kind == QLatin1String("default")) {
        field = QDbfField(QStringLiteral("D"), QVariant::Date);
        field.setLength(8);
        field.setDefaultValue(5);
    }
    QString out;
    QDebug(&out) << field;
    QCOMPARE(out, text);
}

QTEST_GUILESS_MAIN(tst_QDbfField)
#include "tst_qdbffield.moc"
