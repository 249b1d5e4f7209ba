// SPDX-License-Identifier: GPL-3.0-or-later
// Address lines resolved against a database. The generated set writes lines for the streets of a
// generated classifier the ways people write them and works out each line's answer with a plain
// reading of the imported rows (names compared upper-cased with ё as е, every written part an
// ancestor of the locality, the street under it, the house through resolveHouseIndex); the
// resolver must give that index whenever it is one, and «неоднозначно» whenever it is not.

#include "addressresolver.h"
#include "searchtestdatabase.h"
#include "toolrun.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {

QString plain(const QString& name)
{
    QString upper = name.toUpper();
    upper.replace(QChar(0x0401), QChar(0x0415));
    return upper;
}

struct Row {
    QString name;
    QString scname;
    QString socr;
    QString code;
    QString index;
};

QString firstIndex(const QStringList& indexes)
{
    for (const QString& index : indexes) {
        if (!index.trimmed().isEmpty())
            return index.trimmed();
    }
    return QString();
}

// A written part: the name and the type word used (empty when left out).
struct Written {
    QString name;
    QString type;
};

bool fits(const Row& row, const Written& written)
{
    if (plain(row.name) != plain(written.name))
        return false;
    if (written.type.isEmpty())
        return true;
    const QString type = plain(written.type).remove(QLatin1Char('.'));
    return plain(row.scname) == type || plain(row.socr) == type;
}

} // namespace

class TestAddressResolver : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void generated_data();
    void generated();
    void answers_data();
    void answers();

private:
    QString writeType(const Row& row, QRandomGenerator& random) const;
    QString write(const Row& row, Written* written, QRandomGenerator& random, bool bTypeAlways) const;
    QSet<QString> expectedIndexes(const QVector<Written>& uppers, const Written& locality,
        const Written& street, const QString& house) const;

    QTemporaryDir m_Dir;
    QString m_Generated;
    QString m_Small;
    QHash<QString, Row> m_Kladr; // current objects by code
    QHash<QString, QVector<Row>> m_Streets; // current streets by locality code
    QHash<QString, QVector<HouseGroup>> m_Houses; // by street code
};

void TestAddressResolver::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    const QString dir = m_Dir.filePath("generated");
    ToolRun run = runTool({ "sample", "--out", dir, "--scale", "0.003", "--seed", "20" });
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    run = runTool({ "import", dir });
    QVERIFY2(run.exitCode == 0, qPrintable(run.out.join('\n') + run.err));
    m_Generated = dir + "/KLADR.sqlite";

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("oracle"));
        db.setDatabaseName(m_Generated);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery query(db);
        QVERIFY(query.exec("SELECT name, scname, socr, code, index_ FROM kladr WHERE code_st = '00'"));
        while (query.next()) {
            const Row row { query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                query.value(3).toString(), query.value(4).toString() };
            m_Kladr.insert(row.code, row);
        }
        QVERIFY(query.exec(
            "SELECT name, scname, socr, code, index_, code_kladr FROM street WHERE code_st = '00'"));
        while (query.next()) {
            m_Streets[query.value(5).toString()].append(
                { query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                    query.value(3).toString(), query.value(4).toString() });
        }
        QVERIFY(query.exec("SELECT name, index_, code_street FROM doma"));
        while (query.next())
            m_Houses[query.value(2).toString()].append(
                { query.value(0).toString(), query.value(1).toString() });
    }
    QSqlDatabase::removeDatabase(QStringLiteral("oracle"));

    // A few objects by hand for the answers the generated set cannot be sure to hold.
    m_Small = m_Dir.filePath("small.sqlite");
    SearchTestDatabase db(m_Small);
    db.addLocality("Ростовская", "обл", "Область", "61000000000", "344000");
    db.addLocality("Аксайский", "р-н", "Район", "61002000000", "346700");
    db.addLocality("Ростов-на-Дону", "г", "Город", "61000001000", "344000");
    db.addLocality("Ростов-Донской", "г", "Город", "61000001000", "344000", "01"); // a former name
    db.addStreet("Ленина", "ул", "Улица", "610000010000001", "344001");
    db.addStreet("Берёзовая", "ул", "Улица", "610000010000002", "344002");
    db.addStreet("1-я Заводская", "ул", "Улица", "610000010000003", "344003");
    db.addStreet("Сталина", "ул", "Улица", "610000010000001", "344001");
    // "Сталина" is a former name of Ленина: the same code with 01.
    db.exec("UPDATE street SET code_st = '01' WHERE name = 'Сталина'");
    db.addHouses("91к1,92,93", "610000010000001", "344091");
    db.addHouses("Н(1-15)", "610000010000001", "344015");
    db.addHouses("20стр3", "610000010000001", "344020");
    db.addLocality("Ивановка", "с", "Село", "61002000001", "346701");
    db.addLocality("Ивановка", "х", "Хутор", "61002000002", "346702");
    db.addLocality("Ивановка", "с", "Село", "61002000003", "346701");
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    db.close();
}

QString TestAddressResolver::writeType(const Row& row, QRandomGenerator& random) const
{
    switch (random.bounded(4)) {
    case 0:
        return row.scname + QLatin1Char('.');
    case 1:
        if (!row.socr.contains(QLatin1Char(' ')) && !row.socr.isEmpty())
            return row.socr.toLower();
        return row.scname;
    default:
        return row.scname;
    }
}

// Writes a part as people do: its type before or after, spelt short or long, with or without a
// dot, or left out; ё as е; any case.
QString TestAddressResolver::write(
    const Row& row, Written* written, QRandomGenerator& random, bool bTypeAlways) const
{
    QString name = row.name;
    if (random.bounded(2) == 0)
        name.replace(QChar(0x0451), QChar(0x0435));
    if (random.bounded(5) == 0)
        name = name.toLower();
    written->name = name;
    written->type = QString();
    if (!bTypeAlways && random.bounded(4) == 0)
        return name;
    written->type = writeType(row, random);
    return random.bounded(2) == 0 ? written->type + QLatin1Char(' ') + name
                                  : name + QLatin1Char(' ') + written->type;
}

QSet<QString> TestAddressResolver::expectedIndexes(const QVector<Written>& uppers, const Written& locality,
    const Written& street, const QString& house) const
{
    QSet<QString> indexes;
    for (const Row& l : m_Kladr) {
        if (!fits(l, locality))
            continue;
        // Every written upper part must be an object above this locality.
        const QString prefixes[]
            = { l.code.left(2) + "000000000", l.code.left(5) + "000000", l.code.left(8) + "000" };
        bool bInside = true;
        for (const Written& upper : uppers) {
            bool bFound = false;
            for (const QString& code : prefixes) {
                const auto above = m_Kladr.constFind(code);
                bFound = bFound || (code != l.code && above != m_Kladr.cend() && fits(*above, upper));
            }
            bInside = bInside && bFound;
        }
        if (!bInside)
            continue;
        const QString regionCode = l.code.left(2) + "000000000";
        const QString districtCode = l.code.left(5) + "000000";
        const QString district = districtCode != l.code && districtCode != regionCode
            ? m_Kladr.value(districtCode).index
            : QString();
        const QString region = regionCode != l.code ? m_Kladr.value(regionCode).index : QString();
        for (const Row& s : m_Streets.value(l.code)) {
            if (!fits(s, street))
                continue;
            const QStringList chain { s.index, l.index, district, region };
            if (house.isEmpty()) {
                indexes.insert(firstIndex(chain));
                continue;
            }
            for (const HouseIndexMatch& match :
                resolveHouseIndex(m_Houses.value(s.code), HouseNumber(house), chain))
                indexes.insert(match.index.trimmed());
        }
    }
    return indexes;
}

void TestAddressResolver::generated_data()
{
    QTest::addColumn<int>("narrowAbove");
    QTest::addColumn<int>("intersectAbove");
    // A part's records read only for the codes the other parts allow.
    QTest::newRow("narrowed") << 0 << 100;
    // The localities with the street found by intersecting code lists, for every name.
    QTest::newRow("narrowed, code lists intersected") << 0 << 0;
    QTest::newRow("every record read") << std::numeric_limits<int>::max() << 100;
}

void TestAddressResolver::generated()
{
    QFETCH(int, narrowAbove);
    QFETCH(int, intersectAbove);
    AddressResolver resolver(m_Generated);
    QVERIFY2(resolver.isReady(), qPrintable(resolver.error()));
    resolver.setNarrowAbove(narrowAbove);
    resolver.setIntersectAbove(intersectAbove);

    QRandomGenerator random(20);
    QStringList codes = m_Streets.keys();
    std::sort(codes.begin(), codes.end());
    int sure = 0;
    int ambiguous = 0;
    for (int n = 0; n < 1500; ++n) {
        const QString localityCode = codes.at(random.bounded(codes.size()));
        const Row& l = m_Kladr.value(localityCode);
        if (l.code.isEmpty())
            continue;
        const QVector<Row>& streets = m_Streets.value(localityCode);
        const Row& s = streets.at(random.bounded(streets.size()));

        // The objects above the locality, each written or left out.
        QStringList line;
        QVector<Written> uppers;
        for (const QString& code :
            { l.code.left(2) + "000000000", l.code.left(5) + "000000", l.code.left(8) + "000" }) {
            if (code == l.code || !m_Kladr.contains(code) || random.bounded(3) == 0)
                continue;
            Written written;
            line << write(m_Kladr.value(code), &written, random, true);
            uppers << written;
        }
        Written locality;
        line << write(l, &locality, random, false);
        Written street;
        line << write(s, &street, random, true);

        // A house from the street's lists, spelt one of the ways people spell it.
        QString house;
        const QVector<HouseGroup> groups = m_Houses.value(s.code);
        if (!groups.isEmpty() && random.bounded(5) != 0) {
            const QStringList items = groups.at(random.bounded(groups.size())).list.split(',');
            QString item = items.at(random.bounded(items.size()));
            if (item.contains('(') || item.contains('-'))
                item = QString::number(1 + 2 * random.bounded(20));
            house = item;
            QString spelt = item;
            spelt.replace(
                QStringLiteral("стр"), random.bounded(2) ? QStringLiteral(", стр. ") : QStringLiteral("с"));
            spelt.replace(
                QStringLiteral("к"), random.bounded(2) ? QStringLiteral(" корп. ") : QStringLiteral(", к "));
            line << (random.bounded(2) ? QStringLiteral("д. ") + spelt : spelt);
        }
        if (random.bounded(4) == 0)
            line << QStringLiteral("кв. %1").arg(1 + random.bounded(200));

        const QSet<QString> expected = expectedIndexes(uppers, locality, street, house);
        QVERIFY2(!expected.isEmpty(), qPrintable(line.join(", ")));
        const bool bWithIndex = random.bounded(4) == 0 && expected.size() == 1;
        if (bWithIndex)
            line.prepend(*expected.cbegin());
        const QString text = line.join(", ");
        const AddressAnswer answer = resolver.resolve(text);
        if (expected.size() == 1) {
            ++sure;
            QVERIFY2(answer.grade <= AddressGrade::Street,
                qPrintable(text + " -> " + gradeText(answer.grade) + " " + answer.problem));
            QVERIFY2(answer.index == *expected.cbegin(), qPrintable(text + " -> " + answer.index));
            QVERIFY(!answer.bIndexDiffers);
            QVERIFY(answer.address.startsWith(answer.index));
        } else {
            ++ambiguous;
            QVERIFY2(answer.grade == AddressGrade::Ambiguous,
                qPrintable(text + " -> " + gradeText(answer.grade) + " " + answer.index));
            QVERIFY(answer.index.isEmpty());
            QSet<QString> given;
            for (const AddressCandidate& candidate : answer.candidates)
                given.insert(candidate.index);
            QCOMPARE(given, expected);
        }
    }
    // The set holds both kinds of line.
    qInfo("%d lines with one answer, %d that fit several objects, %d read again with every record", sure,
        ambiguous, resolver.fullReads());
    QVERIFY(sure > 500);
    QVERIFY(ambiguous >= 10);
    // Every line has an answer, found without reading every record of its names.
    QCOMPARE(resolver.fullReads(), 0);
}

void TestAddressResolver::answers_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("grade");
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("note"); // a part of a note or of the problem

    QTest::newRow("house named after a comma") << "г Ростов-на-Дону, ул Ленина, д. 91, корп. 1"
                                               << "дом"
                                               << "344091"
                                               << "";
    QTest::newRow("строение as с") << "Ростов-на-Дону, Ленина, 20с3"
                                   << "дом"
                                   << "344020"
                                   << "";
    QTest::newRow("range") << "Ростов-на-Дону, Ленина, 7"
                           << "диапазон"
                           << "344015"
                           << "";
    QTest::newRow("house in no group") << "Ростов-на-Дону, Ленина, 100"
                                       << "улица"
                                       << "344001"
                                       << "";
    QTest::newRow("street") << "Ростов-на-Дону, Ленина"
                            << "улица"
                            << "344001"
                            << "";
    QTest::newRow("locality") << "Ростовская обл, г. Ростов-на-Дону"
                              << "пункт"
                              << "344000"
                              << "";
    QTest::newRow("е for ё") << "Ростов-на-Дону, ул Березовая"
                             << "улица"
                             << "344002"
                             << "";
    QTest::newRow("1-ая for 1-я") << "Ростов-на-Дону, 1-ая Заводская ул"
                                  << "улица"
                                  << "344003"
                                  << "";
    QTest::newRow("former street name") << "Ростов-на-Дону, ул Сталина, 92"
                                        << "дом"
                                        << "344091"
                                        << "прежнее название";
    QTest::newRow("former locality name") << "г Ростов-Донской, ул Ленина"
                                          << "улица"
                                          << "344001"
                                          << "прежнее название";
    QTest::newRow("index differs") << "344999, Ростов-на-Дону, Ленина"
                                   << "улица"
                                   << "344001"
                                   << "в строке индекс 344999";
    QTest::newRow("two localities") << "Аксайский р-н, Ивановка"
                                    << "неоднозначно"
                                    << ""
                                    << "";
    QTest::newRow("two with one index are sure") << "с Ивановка"
                                                 << "пункт"
                                                 << "346701"
                                                 << "";
    QTest::newRow("the type tells them apart") << "х Ивановка"
                                               << "пункт"
                                               << "346702"
                                               << "";
    QTest::newRow("unknown street") << "Ростов-на-Дону, ул Пушкина"
                                    << "не найден"
                                    << ""
                                    << "ПУШКИНА";
    QTest::newRow("street elsewhere") << "Ивановка х, ул Ленина"
                                      << "не найден"
                                      << ""
                                      << "не найдена в х Ивановка";
    QTest::newRow("district does not hold it") << "Аксайский р-н, г Ростов-на-Дону"
                                               << "не найден"
                                               << ""
                                               << "Аксайский";
    QTest::newRow("refused house") << "Ростов-на-Дону, Ленина, 12 1"
                                   << "не найден"
                                   << ""
                                   << "две группы цифр";
    QTest::newRow("apartment never matched") << "Ростов-на-Дону, Ленина, 93, кв. 15"
                                             << "дом"
                                             << "344091"
                                             << "";
}

void TestAddressResolver::answers()
{
    QFETCH(QString, line);
    QFETCH(QString, grade);
    QFETCH(QString, index);
    QFETCH(QString, note);

    AddressResolver resolver(m_Small);
    QVERIFY2(resolver.isReady(), qPrintable(resolver.error()));
    const AddressAnswer answer = resolver.resolve(line);
    // The same answer when every record of each name is read.
    AddressResolver full(m_Small);
    full.setNarrowAbove(std::numeric_limits<int>::max());
    const AddressAnswer same = full.resolve(line);
    QCOMPARE(gradeText(same.grade), gradeText(answer.grade));
    QCOMPARE(same.index, answer.index);
    QCOMPARE(same.address, answer.address);
    QCOMPARE(same.problem, answer.problem);
    QCOMPARE(same.candidates.size(), answer.candidates.size());
    // And when the localities with the street come from code lists intersected in memory.
    AddressResolver intersecting(m_Small);
    intersecting.setIntersectAbove(0);
    const AddressAnswer listed = intersecting.resolve(line);
    QCOMPARE(gradeText(listed.grade), gradeText(answer.grade));
    QCOMPARE(listed.index, answer.index);
    QCOMPARE(listed.address, answer.address);
    QCOMPARE(listed.problem, answer.problem);
    QCOMPARE(listed.candidates.size(), answer.candidates.size());
    QCOMPARE(gradeText(answer.grade), grade);
    QCOMPARE(answer.index, index);
    if (!note.isEmpty()) {
        const QString said = answer.notes.join('\n') + '\n' + answer.problem;
        QVERIFY2(said.contains(note, Qt::CaseInsensitive), qPrintable(said));
    }
    if (grade == QStringLiteral("неоднозначно"))
        QVERIFY(answer.candidates.size() > 1);
}

QTEST_GUILESS_MAIN(TestAddressResolver)
#include "tst_addressresolver.moc"
