// SPDX-License-Identifier: GPL-3.0-or-later
// Reads every real DBF file under tests/data/dbf and tests/data/kladr (tables written by other
// programs, and classifier files) and compares with the values an independent reader recorded in
// NAME.expected.json beside each file.
#include "forwardonlydevice.h"

#include <qdbf/qdbftablemodel.h>

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace QDbf;

namespace {

const char* errorName(QDbfTable::TableError error)
{
    switch (error) {
    case QDbfTable::NoError:
        return "NoError";
    case QDbfTable::OpenError:
        return "OpenError";
    case QDbfTable::ReadError:
        return "ReadError";
    case QDbfTable::WriteError:
        return "WriteError";
    case QDbfTable::RecordError:
        return "RecordError";
    }
    return "?";
}

const char* codepageName(QDbfTable::Codepage codepage)
{
    switch (codepage) {
    case QDbfTable::NoCodepage:
        return "NoCodepage";
    case QDbfTable::IBM866:
        return "IBM866";
    case QDbfTable::Windows1251:
        return "Windows1251";
    case QDbfTable::OtherCodepage:
        return "OtherCodepage";
    }
    return "?";
}

QDbfField::QDbfType dbfTypeOf(const QString& letter)
{
    if (letter == QLatin1String("C"))
        return QDbfField::Character;
    if (letter == QLatin1String("D"))
        return QDbfField::Date;
    if (letter == QLatin1String("F"))
        return QDbfField::Float;
    if (letter == QLatin1String("L"))
        return QDbfField::Logical;
    if (letter == QLatin1String("N"))
        return QDbfField::Numeric;
    return QDbfField::UndefinedType;
}

// Compares a value as the model shows it (character values trimmed) with the JSON value.
bool sameValue(QDbfField::QDbfType type, const QVariant& actual, const QJsonValue& expected, QString* why)
{
    switch (type) {
    case QDbfField::Character:
        *why = QStringLiteral("text %1 vs %2").arg(actual.toString(), expected.toString());
        return actual.type() == QVariant::String && expected.isString()
            && actual.toString() == expected.toString();
    case QDbfField::Float:
    case QDbfField::Numeric:
        *why = QStringLiteral("number %1 vs %2")
                   .arg(actual.toDouble(), 0, 'g', 17)
                   .arg(expected.toDouble(), 0, 'g', 17);
        // Blank or unreadable text has no value: a null double.
        if (expected.isNull())
            return actual.type() == QVariant::Double && actual.isNull();
        return actual.type() == QVariant::Double && !actual.isNull() && expected.isDouble()
            && actual.toDouble() == expected.toDouble();
    case QDbfField::Date:
        *why
            = QStringLiteral("date %1 vs %2").arg(actual.toDate().toString(Qt::ISODate), expected.toString());
        if (actual.type() != QVariant::Date)
            return false;
        return expected.isNull() ? actual.toDate().isNull()
                                 : actual.toDate() == QDate::fromString(expected.toString(), Qt::ISODate);
    case QDbfField::Logical:
        *why = QStringLiteral("logical %1 vs %2").arg(actual.toBool()).arg(expected.toBool());
        if (expected.isNull()) // '?': not known
            return actual.type() == QVariant::Bool && actual.isNull();
        return actual.type() == QVariant::Bool && !actual.isNull() && expected.isBool()
            && actual.toBool() == expected.toBool();
    case QDbfField::UndefinedType:
        *why = QStringLiteral("undefined type with value %1").arg(actual.toString());
        return !actual.isValid() && expected.isNull();
    }
    return false;
}

QString dataDir(const char* sub)
{
    return QStringLiteral(VELMORA_TESTDATA_DIR "/") + QLatin1String(sub);
}

} // namespace

class tst_QDbfConformance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readThroughTable_data();
    void readThroughTable();
    void readThroughModel_data();
    void readThroughModel();

private:
    void addFiles(std::initializer_list<const char*> devices);
    static QJsonObject expectation(const QString& jsonPath);
};

void tst_QDbfConformance::initTestCase()
{
    const int files = QDir(dataDir("dbf")).entryList({ QStringLiteral("*.expected.json") }).size()
        + QDir(dataDir("kladr")).entryList({ QStringLiteral("*.expected.json") }).size();
    QCOMPARE(files, 29); // 26 third-party tables and 3 classifier files
}

void tst_QDbfConformance::addFiles(std::initializer_list<const char*> devices)
{
    QTest::addColumn<QString>("dbfPath");
    QTest::addColumn<QString>("jsonPath");
    QTest::addColumn<QString>("device"); // "file" (by name), "buffer" or "forward only"

    for (const char* sub : { "dbf", "kladr" }) {
        const QDir dir(dataDir(sub));
        for (const QString& json :
            dir.entryList({ QStringLiteral("*.expected.json") }, QDir::Files, QDir::Name)) {
            const QJsonObject expected = expectation(dir.filePath(json));
            const QString file = expected.value(QStringLiteral("file")).toString();
            for (const char* device : devices) {
                QTest::newRow(qPrintable(
                    QStringLiteral("%1/%2 %3").arg(QLatin1String(sub), file, QLatin1String(device))))
                    << dir.filePath(file) << dir.filePath(json) << QString::fromLatin1(device);
            }
        }
    }
}

QJsonObject tst_QDbfConformance::expectation(const QString& jsonPath)
{
    QFile file(jsonPath);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(jsonPath));
    return QJsonDocument::fromJson(file.readAll()).object();
}

void tst_QDbfConformance::readThroughTable_data()
{
    addFiles({ "file", "buffer", "forward only" });
}

void tst_QDbfConformance::readThroughTable()
{
    QFETCH(QString, dbfPath);
    QFETCH(QString, jsonPath);
    QFETCH(QString, device);
    const QJsonObject expected = expectation(jsonPath);

    QFile file(dbfPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QBuffer buffer;
    buffer.setData(file.readAll());
    ForwardOnlyDevice forward(buffer.data());
    QDbfTable table(dbfPath);
    const bool accepted = expected.value(QStringLiteral("accepted")).toBool();
    if (device == QLatin1String("buffer"))
        QCOMPARE(table.open(&buffer), accepted);
    else if (device == QLatin1String("forward only"))
        QCOMPARE(table.open(&forward), accepted);
    else
        QCOMPARE(table.open(QDbfTable::ReadOnly), accepted);
    if (!accepted) {
        QCOMPARE(errorName(table.error()), "NoError");
        const QJsonObject after = expected.value(QStringLiteral("after_failed_open")).toObject();
        if (!after.isEmpty()) {
            QCOMPARE(errorName(table.error()), qPrintable(after.value(QStringLiteral("error")).toString()));
            QCOMPARE(table.size(), after.value(QStringLiteral("size")).toInt());
            QCOMPARE(codepageName(table.codepage()),
                qPrintable(after.value(QStringLiteral("codepage")).toString()));
        }
        return;
    }

    QCOMPARE(table.size(), expected.value(QStringLiteral("record_count")).toInt());
    QCOMPARE(
        codepageName(table.codepage()), qPrintable(expected.value(QStringLiteral("codepage")).toString()));

    const QJsonArray fields = expected.value(QStringLiteral("fields")).toArray();
    const QDbfRecord fieldList = table.record();
    QCOMPARE(fieldList.count(), expected.value(QStringLiteral("field_count")).toInt());
    QCOMPARE(fieldList.count(), fields.size());
    QVector<QDbfField::QDbfType> types;
    for (int i = 0; i < fields.size(); ++i) {
        const QJsonObject f = fields.at(i).toObject();
        const QDbfField field = fieldList.field(i);
        QCOMPARE(field.name(), f.value(QStringLiteral("name")).toString());
        types.append(dbfTypeOf(f.value(QStringLiteral("type")).toString()));
        QCOMPARE(field.dbfType(), types.last());
        QCOMPARE(field.length(), f.value(QStringLiteral("length")).toInt());
        QCOMPARE(field.precision(), f.value(QStringLiteral("precision")).toInt());
        QCOMPARE(field.offset(), f.value(QStringLiteral("offset")).toInt());
    }

    const QJsonArray records = expected.value(QStringLiteral("records")).toArray();
    if (!expected.value(QStringLiteral("records_truncated")).toBool())
        QCOMPARE(records.size(), table.size());
    int index = 0;
    while (index < records.size() && table.next()) {
        const QJsonObject r = records.at(index).toObject();
        const QDbfRecord record = table.record();
        QCOMPARE(record.recordIndex(), index);
        const bool unreadable = r.value(QStringLiteral("error")).toString() == QLatin1String("RecordError");
        QCOMPARE(errorName(table.error()), unreadable ? "RecordError" : "NoError");
        QCOMPARE(record.isDeleted(), r.value(QStringLiteral("deleted")).toBool());
        const QJsonArray values = r.value(QStringLiteral("values")).toArray();
        QCOMPARE(record.count(), values.size());
        for (int i = 0; i < values.size(); ++i) {
            QVariant value = record.value(i);
            // record() keeps the blank padding; the expected texts are trimmed.
            if (value.type() == QVariant::String)
                value = value.toString().trimmed();
            QString why;
            if (!sameValue(types.at(i), value, values.at(i), &why))
                QFAIL(qPrintable(QStringLiteral("record %1, field %2: %3").arg(index).arg(i).arg(why)));
        }
        ++index;
    }
    QCOMPARE(index, records.size());
}

void tst_QDbfConformance::readThroughModel_data()
{
    addFiles({ "file" });
}

void tst_QDbfConformance::readThroughModel()
{
    QFETCH(QString, dbfPath);
    QFETCH(QString, jsonPath);
    const QJsonObject expected = expectation(jsonPath);

    QDbfTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const bool accepted = expected.value(QStringLiteral("accepted")).toBool();
    QCOMPARE(model.open(dbfPath, true), accepted);
    if (!accepted) {
        QCOMPARE(errorName(model.error()), "NoError");
        QCOMPARE(model.columnCount(QModelIndex()), 0);
        QCOMPARE(model.rowCount(QModelIndex()), 0);
        const QJsonObject after = expected.value(QStringLiteral("after_failed_open")).toObject();
        if (!after.isEmpty())
            QCOMPARE(model.size(), after.value(QStringLiteral("size")).toInt());
        return;
    }

    const QJsonArray fields = expected.value(QStringLiteral("fields")).toArray();
    QCOMPARE(model.columnCount(QModelIndex()), fields.size());
    QVector<QDbfField::QDbfType> types;
    for (int c = 0; c < fields.size(); ++c) {
        const QJsonObject f = fields.at(c).toObject();
        types.append(dbfTypeOf(f.value(QStringLiteral("type")).toString()));
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), f.value(QStringLiteral("name")).toString());
    }

    const QJsonArray records = expected.value(QStringLiteral("records")).toArray();
    const bool truncated = expected.value(QStringLiteral("records_truncated")).toBool();
    while (model.canFetchMore(QModelIndex())) {
        const int before = model.rowCount(QModelIndex());
        model.fetchMore(QModelIndex());
        QVERIFY(model.rowCount(QModelIndex()) - before <= 255);
    }
    QCOMPARE(model.size(), expected.value(QStringLiteral("record_count")).toInt());

    int row = 0;
    for (int index = 0; index < records.size(); ++index) {
        const QJsonObject r = records.at(index).toObject();
        if (r.value(QStringLiteral("deleted")).toBool())
            continue;
        const QJsonArray values = r.value(QStringLiteral("values")).toArray();
        for (int c = 0; c < values.size(); ++c) {
            QString why;
            const QVariant value = model.data(model.index(row, c), Qt::DisplayRole);
            if (!sameValue(types.at(c), value, values.at(c), &why))
                QFAIL(qPrintable(
                    QStringLiteral("row %1 (record %2), column %3: %4").arg(row).arg(index).arg(c).arg(why)));
        }
        ++row;
    }
    if (truncated)
        QVERIFY(model.rowCount(QModelIndex()) >= row);
    else
        QCOMPARE(model.rowCount(QModelIndex()), row);
}

QTEST_GUILESS_MAIN(tst_QDbfConformance)
#include "tst_qdbfconformance.moc"
