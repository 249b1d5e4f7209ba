// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbfwriter.h"
#include "kladrsample.h"

#include <qdbf/qdbftablemodel.h>

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using KladrSample::Table;

namespace {

struct Record {
    QStringList values;
    bool deleted;
};

class Collect : public KladrSample::RecordSink {
public:
    QList<Record> kladr, street, doma;
    void record(Table table, const QStringList& values, bool bDeleted) override
    {
        (table == Table::Kladr           ? kladr
                : table == Table::Street ? street
                                         : doma)
            << Record { values, bDeleted };
    }
};

QByteArray digest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
}

double share(const QList<Record>& records, const std::function<bool(const Record&)>& test)
{
    int n = 0;
    for (const Record& r : records)
        n += test(r) ? 1 : 0;
    return records.isEmpty() ? 0 : double(n) / records.size();
}

} // namespace

class TestKladrSample : public QObject {
    Q_OBJECT

private:
    Collect m_Sample; // scale 0.05: 11,000 localities, 65,000 streets, 130,000 house groups

private slots:
    void initTestCase()
    {
        KladrSample::Options options;
        options.scale = 0.05;
        options.seed = 3;
        KladrSample::generate(options, m_Sample);
    }

    void sizeFollowsScale()
    {
        QCOMPARE(m_Sample.kladr.size(), 11000);
        QCOMPARE(m_Sample.street.size(), 65000);
        QVERIFY(qAbs(m_Sample.doma.size() - 130000) < 130000 * 0.03);
    }

    void valuesFitTheirFields_data()
    {
        QTest::addColumn<int>("table");
        QTest::newRow("KLADR") << int(Table::Kladr);
        QTest::newRow("STREET") << int(Table::Street);
        QTest::newRow("DOMA") << int(Table::Doma);
    }

    void valuesFitTheirFields()
    {
        QFETCH(int, table);
        const QVector<DbfWriter::Field> fields = KladrSample::fields(Table(table));
        const QList<Record>& records = Table(table) == Table::Kladr ? m_Sample.kladr
            : Table(table) == Table::Street                         ? m_Sample.street
                                                                    : m_Sample.doma;
        const int codeColumn = Table(table) == Table::Doma ? 3 : 2;
        const int codeLength = fields.at(codeColumn).length;
        const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
        const QRegularExpression index6(QStringLiteral("^[0-9]{6}$"));
        for (const Record& r : records) {
            QCOMPARE(r.values.size(), fields.size());
            for (int i = 0; i < fields.size(); ++i) {
                QVERIFY2(r.values.at(i).size() <= fields.at(i).length, qPrintable(r.values.at(i)));
                QCOMPARE(r.values.at(i), r.values.at(i).trimmed());
            }
            const QString& code = r.values.at(codeColumn);
            QCOMPARE(code.size(), codeLength);
            QVERIFY2(digits.match(code).hasMatch(), qPrintable(code));
            const QString& index = r.values.at(Table(table) == Table::Doma ? 4 : 3);
            QVERIFY(index.isEmpty() || index6.match(index).hasMatch());
        }
    }

    // Streets belong to localities, house groups to streets, localities to their district.
    void codesAreConsistent()
    {
        QSet<QString> localities;
        QSet<QString> regionsAndDistricts;
        for (const Record& r : m_Sample.kladr) {
            const QString code11 = r.values.at(2).left(11);
            QVERIFY2(!localities.contains(code11), qPrintable(code11));
            localities.insert(code11);
            const QString parent = code11.left(5) + QStringLiteral("000000");
            if (code11.mid(2, 3) != QLatin1String("000") && code11.mid(5) != QLatin1String("000000"))
                QVERIFY2(regionsAndDistricts.contains(parent), qPrintable(code11));
            if (code11.mid(5) == QLatin1String("000000"))
                regionsAndDistricts.insert(code11);
            // Settlements inside a city come after that city.
            if (code11.mid(5, 3) != QLatin1String("000") && code11.mid(8) != QLatin1String("000"))
                QVERIFY(localities.contains(code11.left(8) + QStringLiteral("000")));
        }
        QSet<QString> streets;
        for (const Record& r : m_Sample.street) {
            const QString code = r.values.at(2);
            QVERIFY2(localities.contains(code.left(11)), qPrintable(code));
            QVERIFY(!streets.contains(code.left(15)));
            streets.insert(code.left(15));
        }
        for (const Record& r : m_Sample.doma)
            QVERIFY2(streets.contains(r.values.at(3).left(15)), qPrintable(r.values.at(3)));
    }

    void proportionsAreRealistic()
    {
        auto emptyIndex
            = [](int column) { return [column](const Record& r) { return r.values.at(column).isEmpty(); }; };
        auto otherActuality = [](const Record& r) { return !r.values.at(2).endsWith(QLatin1String("00")); };
        auto deleted = [](const Record& r) { return r.deleted; };
        const double kladrEmpty = share(m_Sample.kladr, emptyIndex(3));
        QVERIFY2(kladrEmpty > 0.03 && kladrEmpty < 0.07, qPrintable(QString::number(kladrEmpty)));
        const double domaEmpty = share(m_Sample.doma, emptyIndex(4));
        QVERIFY2(domaEmpty > 0.005 && domaEmpty < 0.1, qPrintable(QString::number(domaEmpty)));
        const double kladrActuality = share(m_Sample.kladr, otherActuality);
        QVERIFY2(kladrActuality > 0.07 && kladrActuality < 0.13, qPrintable(QString::number(kladrActuality)));
        const double streetActuality = share(m_Sample.street, otherActuality);
        QVERIFY2(
            streetActuality > 0.07 && streetActuality < 0.13, qPrintable(QString::number(streetActuality)));
        const double streetDeleted = share(m_Sample.street, deleted);
        QVERIFY2(streetDeleted > 0.002 && streetDeleted < 0.009, qPrintable(QString::number(streetDeleted)));
    }

    void namesAreVaried()
    {
        QHash<QString, QSet<QString>> regionsOfName;
        bool yo = false, hyphen = false, apostrophe = false, quotes = false;
        for (const Record& r : m_Sample.kladr) {
            const QString& name = r.values.at(0);
            regionsOfName[name].insert(r.values.at(2).left(2));
            yo |= name.contains(QChar(0x0451)) || name.contains(QChar(0x0401));
            hyphen |= name.contains(QLatin1Char('-'));
        }
        for (const Record& r : m_Sample.street) {
            apostrophe |= r.values.at(0).contains(QLatin1Char('\''));
            quotes |= r.values.at(0).contains(QLatin1Char('"'));
        }
        QVERIFY(yo);
        QVERIFY(hyphen);
        QVERIFY(apostrophe);
        QVERIFY(quotes);
        int acrossRegions = 0;
        for (const QSet<QString>& regions : regionsOfName)
            acrossRegions += regions.size() > 1 ? 1 : 0;
        QVERIFY(acrossRegions > 50);

        const QRegularExpression houses(
            QStringLiteral("^([0-9]+(-[0-9]+|к[0-9]+|стр[0-9]+|[А-Г])?|[НЧ]\\([0-9]+-[0-9]+\\))(,([0-9]+(-[0-"
                           "9]+|к[0-9]+|стр[0-9]+|[А-Г])?|[НЧ]\\([0-9]+-[0-9]+\\)))*$"));
        for (const Record& r : m_Sample.doma)
            QVERIFY2(houses.match(r.values.at(0)).hasMatch(), qPrintable(r.values.at(0)));
    }

    // scripts/run's first-run sample answers the searches a new user tries first.
    void smallSampleHasTheWellKnownPlaces()
    {
        Collect small;
        KladrSample::Options options;
        options.scale = 0.02;
        KladrSample::generate(options, small);
        QStringList current;
        for (const Record& r : small.kladr) {
            if (!r.deleted && r.values.at(2).endsWith(QLatin1String("00")))
                current << r.values.at(0);
        }
        QVERIFY(current.contains(QStringLiteral("Москва")));
        QVERIFY(current.contains(QStringLiteral("Ростов-на-Дону")));
        QVERIFY(!current.filter(QRegularExpression(QStringLiteral("^.остов")))
                     .filter(QStringLiteral("Мост"))
                     .isEmpty());
        // Moscow is a region of its own: its streets hang on the region record.
        const bool moscowStreets = std::any_of(small.street.cbegin(), small.street.cend(),
            [](const Record& r) { return r.values.at(2).startsWith(QLatin1String("01000000000")); });
        QVERIFY(moscowStreets);
    }

    void filesHaveTheClassifierLayout_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<int>>("lengths");
        QTest::newRow("KLADR") << "KLADR.DBF"
                               << QStringList { "NAME", "SOCR", "CODE", "INDEX", "GNINMB", "UNO", "OCATD",
                                      "STATUS" }
                               << QList<int> { 40, 10, 13, 6, 4, 4, 11, 1 };
        QTest::newRow("STREET") << "STREET.DBF"
                                << QStringList { "NAME", "SOCR", "CODE", "INDEX", "GNINMB", "UNO", "OCATD" }
                                << QList<int> { 40, 10, 17, 6, 4, 4, 11 };
        QTest::newRow("DOMA") << "DOMA.DBF"
                              << QStringList { "NAME", "KORP", "SOCR", "CODE", "INDEX", "GNINMB", "UNO",
                                     "OCATD" }
                              << QList<int> { 40, 10, 10, 19, 6, 4, 4, 11 };
    }

    void filesHaveTheClassifierLayout()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, names);
        QFETCH(QList<int>, lengths);
        QTemporaryDir dir;
        KladrSample::Options options;
        options.scale = 0.002;
        options.seed = 9;
        KladrSample::Counts counts;
        QString error;
        QVERIFY2(KladrSample::writeSample(dir.path(), "socrbase bytes", options, &counts, &error),
            qPrintable(error));
        QFile dictionary(dir.filePath(QStringLiteral("BASE/SOCRBASE.DBF")));
        QVERIFY(dictionary.open(QIODevice::ReadOnly));
        QCOMPARE(dictionary.readAll(), QByteArray("socrbase bytes"));

        const QString path = dir.filePath(QStringLiteral("BASE/") + file);
        QFile raw(path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        QCOMPARE(int(quint8(bytes.at(0))), 0x03);
        QCOMPARE(int(quint8(bytes.at(29))), 0x00);
        const int headerLength = qFromLittleEndian<quint16>(bytes.constData() + 8);
        const int recordLength = qFromLittleEndian<quint16>(bytes.constData() + 10);
        const int records = int(qFromLittleEndian<quint32>(bytes.constData() + 4));
        QCOMPARE(headerLength, 32 + 32 * names.size() + 1);
        QCOMPARE(recordLength, 1 + std::accumulate(lengths.begin(), lengths.end(), 0));
        QCOMPARE(bytes.size(), headerLength + records * recordLength + 1);
        QCOMPARE(bytes.at(bytes.size() - 1), char(0x1A));
        const qint64 expected = file == QLatin1String("KLADR.DBF") ? counts.kladr
            : file == QLatin1String("STREET.DBF")                  ? counts.street
                                                                   : counts.doma;
        QCOMPARE(qint64(records), expected);
        for (int i = 0; i < names.size(); ++i) {
            const char* d = bytes.constData() + 32 + 32 * i;
            QCOMPARE(QByteArray(d), names.at(i).toLatin1());
            QCOMPARE(d[11], 'C');
            QCOMPARE(int(quint8(d[16])), lengths.at(i));
        }

        // The DBF library reads back exactly what was generated, Cyrillic through IBM 866.
        Collect generated;
        KladrSample::generate(options, generated);
        const QList<Record>& source = file == QLatin1String("KLADR.DBF") ? generated.kladr
            : file == QLatin1String("STREET.DBF")                        ? generated.street
                                                                         : generated.doma;
        QDbf::QDbfTableModel model;
        QVERIFY(model.open(path, true));
        while (model.canFetchMore(QModelIndex()))
            model.fetchMore(QModelIndex());
        int row = 0;
        for (const Record& r : source) {
            if (r.deleted)
                continue;
            for (int c = 0; c < names.size(); ++c)
                QCOMPARE(model.data(model.index(row, c)).toString(), r.values.at(c));
            ++row;
        }
        QCOMPARE(model.rowCount(), row);
    }

    void sameSeedSameFiles()
    {
        QTemporaryDir a, b, c;
        KladrSample::Options options;
        options.scale = 0.002;
        options.seed = 5;
        QVERIFY(KladrSample::writeSample(a.path(), "x", options, nullptr, nullptr));
        QVERIFY(KladrSample::writeSample(b.path(), "x", options, nullptr, nullptr));
        options.seed = 6;
        QVERIFY(KladrSample::writeSample(c.path(), "x", options, nullptr, nullptr));
        for (const QString& file :
            { QStringLiteral("KLADR.DBF"), QStringLiteral("STREET.DBF"), QStringLiteral("DOMA.DBF") }) {
            const QString name = QStringLiteral("BASE/") + file;
            QCOMPARE(digest(a.filePath(name)), digest(b.filePath(name)));
            QVERIFY(digest(a.filePath(name)) != digest(c.filePath(name)));
        }
    }

    void unwritableDirectoryIsReported()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QString error;
        QVERIFY(
            !KladrSample::writeSample(dir.filePath(QStringLiteral("file/out")), "x", {}, nullptr, &error));
        QVERIFY2(error.contains(QStringLiteral("file/out/BASE")), qPrintable(error));
    }

    // Characters outside IBM 866 become '?', values are cut to their field, not spilled over.
    void writerCutsAndReplaces()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("W.DBF"));
        DbfWriter writer;
        QVERIFY(writer.open(path, { { "A", 3 }, { "B", 2 } }));
        writer.append({ QStringLiteral("Ёжик"), QStringLiteral("€x") });
        writer.append({ QStringLiteral("ok") });
        QVERIFY(writer.close());
        QDbf::QDbfTableModel model;
        QVERIFY(model.open(path, true));
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("Ёжи"));
        QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("?x"));
        QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("ok"));
        QCOMPARE(model.data(model.index(1, 1)).toString(), QString());
    }
};

QTEST_GUILESS_MAIN(TestKladrSample)
#include "tst_kladrsample.moc"
