// SPDX-License-Identifier: GPL-3.0-or-later
#include "addressnamecache.h"
#include "indexquery.h"
#include "indexsearch.h"
#include "kladrsample.h"
#include "postaladdress.h"
#include "recordinghost.h"
#include "resultfiller.h"
#include "searchsummary.h"
#include "searchtestdatabase.h"
#include "tablemodel.h"
#include "threaddatabasecreate.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using KladrSample::Table;

namespace {

// One row as the comparison sees it: the locality's code, the street's code (empty for the
// locality's own row) and the house column.
using RowKey = QString;

RowKey key(const QString& locality, const QString& street, const QString& houses)
{
    return locality + QLatin1Char('|') + street + QLatin1Char('|') + houses;
}

// The generated classifier read on its own terms, not through SQL: for every index, the rows a
// search by it must give.
class Expected : public KladrSample::RecordSink {
public:
    void record(Table table, const QStringList& v, bool bDeleted) override
    {
        if (bDeleted)
            return;
        switch (table) {
        case Table::Kladr:
            if (v.at(2).right(2) == QLatin1String("00")) {
                currentLocalities.insert(v.at(2).left(11));
                if (!v.at(3).isEmpty())
                    localities[v.at(3)] << v.at(2).left(11);
            }
            break;
        case Table::Street:
            if (v.at(2).right(2) == QLatin1String("00"))
                streetIndex.insert(v.at(2).left(15), v.at(3));
            break;
        case Table::Doma:
            houses[v.at(4)][v.at(3).left(15)] << v.at(0);
            if (!v.at(4).isEmpty())
                indexes.insert(v.at(4));
            break;
        }
        if (table != Table::Doma && !v.at(3).isEmpty())
            indexes.insert(v.at(3));
    }

    QSet<RowKey> rows(const QString& index) const
    {
        QSet<RowKey> rows;
        for (const QString& code : localities.value(index))
            rows << key(code, QString(), QString());
        for (auto it = streetIndex.cbegin(); it != streetIndex.cend(); ++it) {
            if (it.value() == index && currentLocalities.contains(it.key().left(11)))
                rows << key(it.key().left(11), it.key(), QStringLiteral("---"));
        }
        const QMap<QString, QStringList> groups = houses.value(index);
        for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
            const QString street = it.key();
            if (streetIndex.contains(street) && streetIndex.value(street) != index
                && currentLocalities.contains(street.left(11)))
                rows << key(street.left(11), street, it.value().join(QLatin1Char(',')));
        }
        return rows;
    }

    QSet<QString> indexes;
    QSet<QString> currentLocalities;
    QHash<QString, QStringList> localities; // index to current KLADR codes
    QHash<QString, QString> streetIndex; // current street code to its index
    QHash<QString, QMap<QString, QStringList>> houses; // index to street code to house groups
};

struct Found {
    bool ok = false;
    QString error;
    SearchResult result;
    QList<RowKey> keys;
};

// On a connection kept per database file, as the window's search keeps one.
Found search(const QString& databaseFile, const QString& index, const LevelFilter& locality = {},
    const LevelFilter& street = {})
{
    Found found;
    QSqlDatabase db = QSqlDatabase::database(databaseFile);
    if (!db.isValid()) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), databaseFile);
        db.setDatabaseName(databaseFile);
    }
    if (db.open()) {
        SearchContext context;
        context.db = db;
        context.busy = [] {};
        context.interrupted = [] { return false; };
        found.ok = IndexSearch(index, locality, street).run(context, &found.result, &found.error);
    }
    for (const QSqlRecord& r : qAsConst(found.result.rows))
        found.keys << key(r.value(IndexQuery::CityCode).toString(),
            r.value(IndexQuery::StreetCode).toString(), r.value(IndexQuery::Houses).toString());
    return found;
}

QString sortKey(const QSqlRecord& r)
{
    return QStringList { r.value(IndexQuery::CityCodeSs).toString(), r.value(IndexQuery::City).toString(),
        r.value(IndexQuery::CityCode).toString(), r.value(IndexQuery::Street).toString(),
        r.value(IndexQuery::StreetCode).toString() }
        .join(QChar(0));
}

} // namespace

class TestIndexSearch : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_Dir;
    QString m_Database;
    Expected m_Expected;
    KladrSample::Options m_Options;

private slots:
    void initTestCase()
    {
        m_Options.scale = 0.01;
        m_Options.seed = 5;
        QFile socrbase(QStringLiteral(VELMORA_SOCRBASE_DBF));
        QVERIFY(socrbase.open(QIODevice::ReadOnly));
        QString error;
        QVERIFY2(KladrSample::writeSample(m_Dir.path(), socrbase.readAll(), m_Options, nullptr, &error),
            qPrintable(error));
        RecordingHost host;
        ThreadDataBaseCreate thread;
        thread.setHost(&host);
        thread.setDirectories(m_Dir.path(), m_Dir.path());
        thread.start();
        QVERIFY(thread.wait(120000));
        QVERIFY2(thread.lastRunReport().success, qPrintable(host.lines().join(QLatin1Char('\n'))));
        m_Database = m_Dir.path() + QStringLiteral("/KLADR.sqlite");
        KladrSample::generate(m_Options, m_Expected);
    }

    // Every index the classifier carries, and one it does not, against the independent reading:
    // the same rows, none twice, in order of region, locality and street.
    void everyIndexAsTheClassifierSays()
    {
        int wholeLocalities = 0;
        int wholeStreets = 0;
        int houseGroupsOnly = 0;
        QStringList indexes = m_Expected.indexes.values();
        indexes << QStringLiteral("000000");
        for (const QString& index : qAsConst(indexes)) {
            const Found found = search(m_Database, index);
            QVERIFY2(found.ok, qPrintable(found.error));
            const QSet<RowKey> expected = m_Expected.rows(index);
            QCOMPARE(found.keys.size(), expected.size());
            QCOMPARE(QSet<RowKey>(found.keys.cbegin(), found.keys.cend()), expected);
            QCOMPARE(found.result.total, expected.size());
            for (int i = 1; i < found.result.rows.size(); ++i)
                QVERIFY(sortKey(found.result.rows.at(i - 1)) <= sortKey(found.result.rows.at(i)));
            bool locality = false;
            bool street = false;
            bool groups = false;
            for (const RowKey& k : expected) {
                locality |= k.endsWith(QLatin1String("||"));
                street |= k.endsWith(QLatin1String("|---"));
                groups |= !k.endsWith(QLatin1String("||")) && !k.endsWith(QLatin1String("|---"));
            }
            wholeLocalities += locality ? 1 : 0;
            wholeStreets += street ? 1 : 0;
            houseGroupsOnly += groups && !locality && !street ? 1 : 0;
        }
        QVERIFY(search(m_Database, QStringLiteral("000000")).keys.isEmpty());
        // The sample holds every kind of case, many times.
        QVERIFY(wholeLocalities > 20);
        QVERIFY(wholeStreets > 20);
        QVERIFY(houseGroupsOnly > 5);
    }

    // A street whose house groups carry several indexes besides its own shows, for each of them,
    // just that index's groups.
    void streetWithSeveralIndexes()
    {
        QString street;
        QStringList indexes;
        for (auto it = m_Expected.streetIndex.cbegin();
             it != m_Expected.streetIndex.cend() && street.isEmpty(); ++it) {
            if (!m_Expected.currentLocalities.contains(it.key().left(11)))
                continue;
            QStringList others;
            for (auto h = m_Expected.houses.cbegin(); h != m_Expected.houses.cend(); ++h) {
                // Groups without an index are no index to search by.
                if (!h.key().isEmpty() && h.key() != it.value() && h.value().contains(it.key()))
                    others << h.key();
            }
            if (others.size() >= 2) {
                street = it.key();
                indexes = others;
            }
        }
        QVERIFY(!street.isEmpty());
        for (const QString& index : qAsConst(indexes)) {
            const Found found = search(m_Database, index);
            const QStringList groups = m_Expected.houses.value(index).value(street);
            const RowKey wanted = key(street.left(11), street, groups.join(QLatin1Char(',')));
            QStringList rowsOfStreet;
            for (const RowKey& k : found.keys)
                if (k.contains(street))
                    rowsOfStreet << k;
            QVERIFY2(found.keys.count(wanted) == 1,
                qPrintable(index + QStringLiteral(": wanted ") + wanted + QStringLiteral(", found ")
                    + rowsOfStreet.join(QStringLiteral("; "))));
        }
    }

    // Ticked name texts keep only the rows that also match them, by the name search's rules.
    void namesNarrowTheRows()
    {
        QString index;
        for (const QString& candidate : qAsConst(m_Expected.indexes)) {
            const Found all = search(m_Database, candidate);
            if (all.result.rows.size() >= 4) {
                index = candidate;
                break;
            }
        }
        QVERIFY(!index.isEmpty());
        const Found all = search(m_Database, index);
        const QSqlRecord first = all.result.rows.first();
        const QString city = first.value(IndexQuery::City).toString();
        const Found byCity = search(m_Database, index, { city.toLower(), false });
        QVERIFY(!byCity.keys.isEmpty());
        for (const QSqlRecord& r : qAsConst(byCity.result.rows))
            QCOMPARE(r.value(IndexQuery::City).toString(), city);
        const Found byMask = search(m_Database, index, { city.left(2) + QLatin1Char('%'), true });
        QVERIFY(byMask.keys.size() >= byCity.keys.size());

        QString streetName;
        for (const QSqlRecord& r : qAsConst(all.result.rows)) {
            if (!r.value(IndexQuery::Street).toString().isEmpty())
                streetName = r.value(IndexQuery::Street).toString();
        }
        QVERIFY(!streetName.isEmpty());
        const Found byStreet = search(m_Database, index, {}, { streetName, false });
        QVERIFY(!byStreet.keys.isEmpty());
        for (const QSqlRecord& r : qAsConst(byStreet.result.rows))
            QCOMPARE(r.value(IndexQuery::Street).toString(), streetName);
        // No row without a street survives a street text.
        const Found nothing = search(m_Database, index, {}, { QStringLiteral("Нигдеевская"), false });
        QVERIFY(nothing.keys.isEmpty());
    }

    // The post office of an index, the successor of a former index, and an index no office has.
    void officeLines()
    {
        QList<QStringList> offices;
        {
            KladrSample::PostOffices reference;
            KladrSample::generate(m_Options, reference);
            offices = reference.offices(m_Options.seed);
        }
        const auto withOld = std::find_if(offices.cbegin(), offices.cend(),
            [](const QStringList& o) { return !o.at(10).isEmpty() && !o.at(3).isEmpty(); });
        QVERIFY(withOld != offices.cend());
        const QStringList office = *withOld;

        const QStringList lines = search(m_Database, office.at(0)).result.officeLines;
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().contains(office.at(1)));
        QVERIFY(lines.first().contains(office.at(2)));
        QVERIFY(lines.first().contains(office.at(4)));
        QVERIFY(lines.first().contains(QStringLiteral("подчинено отделению ") + office.at(3)));

        const QStringList old = search(m_Database, office.at(10)).result.officeLines;
        QCOMPARE(old,
            QStringList { QStringLiteral("Индекс %1 прежний: его заменил индекс %2, отделение %3 (%4).")
                              .arg(office.at(10), office.at(0), office.at(1), office.at(2)) });

        QSet<QString> known;
        for (const QStringList& o : qAsConst(offices))
            known << o.at(0) << o.at(10);
        const auto missing = std::find_if(m_Expected.indexes.cbegin(), m_Expected.indexes.cend(),
            [&](const QString& index) { return !known.contains(index); });
        QVERIFY(missing != m_Expected.indexes.cend());
        QCOMPARE(search(m_Database, *missing).result.officeLines,
            QStringList {
                QStringLiteral("Индекс %1 не найден в справочнике почтовых отделений.").arg(*missing) });
    }

    // The address of a locality's row ends with the locality, that of a street's row with the street.
    void addressFollowsTheRow()
    {
        QString index;
        for (const QString& candidate : qAsConst(m_Expected.indexes)) {
            const QSet<RowKey> rows = m_Expected.rows(candidate);
            const bool both = std::any_of(rows.cbegin(), rows.cend(), [](const RowKey& k) {
                return k.endsWith("||");
            }) && std::any_of(rows.cbegin(), rows.cend(), [](const RowKey& k) { return !k.endsWith("||"); });
            if (both) {
                index = candidate;
                break;
            }
        }
        QVERIFY(!index.isEmpty());
        const Found found = search(m_Database, index);
        AddressNameCache names;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("names"));
            db.setDatabaseName(m_Database);
            QVERIFY(db.open());
            names.refresh(db);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("names"));
        // The addresses as the search worker composes them.
        Found shown = found;
        const PostalAddress::Lookup lookup = [&names](const QString& code) { return names.lookup(code); };
        for (const QSqlRecord& row : qAsConst(shown.result.rows))
            shown.result.addresses << PostalAddress::compose(
                PostalAddress::fieldsOf(row, shown.result.columnMap), shown.result.address,
                shown.result.house, lookup);
        TableModel model;
        ResultFiller::fill(shown.result, model);
        QCOMPARE(model.columnCount(), 7);
        QCOMPARE(model.headerData(6, Qt::Horizontal).toString(), ResultFiller::addressHeader());
        for (int row = 0; row < model.rowCount(); ++row) {
            const QSqlRecord& r = found.result.rows.at(row);
            const QString address = model.data(model.index(row, 6)).toString();
            QVERIFY(address.startsWith(index + QLatin1Char(',')));
            const QString street = r.value(IndexQuery::Street).toString();
            const QString tail = street.isEmpty()
                ? r.value(IndexQuery::CityScname).toString() + QLatin1Char('.')
                    + r.value(IndexQuery::City).toString()
                : r.value(IndexQuery::StreetScname).toString() + QLatin1Char('.') + street;
            QVERIFY2(address.endsWith(QLatin1Char(',') + tail), qPrintable(address));
        }
    }

    // More than a thousand rows: the first thousand in order, and how many there are.
    void thousandRowCut()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("KLADR.sqlite"));
        {
            SearchTestDatabase db(file);
            db.exec(QStringLiteral("BEGIN"));
            db.addLocality(QStringLiteral("Большой"), QStringLiteral("г"), QStringLiteral("Город"),
                QStringLiteral("01000001000"), QStringLiteral("123456"));
            for (int i = 0; i < 1203; ++i)
                db.addStreet(QStringLiteral("Улица %1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("ул"),
                    QStringLiteral("Улица"), QStringLiteral("01000001000%1").arg(i, 4, 10, QLatin1Char('0')),
                    QStringLiteral("123456"));
            db.exec(QStringLiteral("COMMIT"));
            QVERIFY2(db.isValid(), qPrintable(db.error()));
        }
        const Found found = search(file, QStringLiteral("123456"));
        QCOMPARE(found.result.rows.size(), IndexQuery::RowLimit);
        QCOMPARE(found.result.total, 1204);
        QCOMPARE(found.result.rows.first().value(IndexQuery::Street).toString(), QString());
        QCOMPARE(found.result.rows.last().value(IndexQuery::Street).toString(), QStringLiteral("Улица 0998"));
        // The line after the result says how many there are, not the name search's "narrow it".
        QVERIFY(found.result.truncated);
        QCOMPARE(searchSummary(found.result),
            QStringLiteral("По индексу найдено строк: 1204, показаны первые 1000."));
        QCOMPARE(IndexQuery::cutLine(12, 12), QString());
        // A database without the post's reference is searched as before, without office lines.
        QVERIFY(found.result.officeLines.isEmpty());
        QSqlDatabase::database(file).close();
        QSqlDatabase::removeDatabase(file);
    }

    void input_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("six digits") << "344000"
                                    << "344000"
                                    << "";
        QTest::newRow("blanks anywhere") << " 344 000\t"
                                         << "344000"
                                         << "";
        QTest::newRow("no-break space") << QStringLiteral("344\u00a0000") << "344000"
                                        << "";
        QTest::newRow("empty") << ""
                               << ""
                               << "Индекс не задан: введите шесть цифр почтового индекса.";
        QTest::newRow("blanks only") << "   "
                                     << ""
                                     << "Индекс не задан: введите шесть цифр почтового индекса.";
        QTest::newRow("five digits") << "34400"
                                     << ""
                                     << "Индекс «34400» не принят: в почтовом индексе шесть цифр, а здесь 5.";
        QTest::newRow("seven digits")
            << "3440001"
            << ""
            << "Индекс «3440001» не принят: в почтовом индексе шесть цифр, а здесь 7.";
        QTest::newRow("a letter")
            << "34400А"
            << ""
            << "Индекс «34400А» не принят: в почтовом индексе только цифры, а здесь есть «А».";
        QTest::newRow("a dash")
            << "344-000"
            << ""
            << "Индекс «344-000» не принят: в почтовом индексе только цифры, а здесь есть «-».";
        QTest::newRow("a wildcard")
            << "3440%"
            << ""
            << "Индекс «3440%» не принят: в почтовом индексе только цифры, а здесь есть «%».";
        QTest::newRow("digits of another script")
            << QStringLiteral("\u0663\u0664\u0664\u0660\u0660\u0660") << ""
            << QStringLiteral(
                   "Индекс «\u0663\u0664\u0664\u0660\u0660\u0660» не принят: в почтовом индексе только "
                   "цифры, а здесь есть «\u0663\u0664\u0660».");
    }

    void input()
    {
        QFETCH(QString, text);
        QFETCH(QString, index);
        QFETCH(QString, refusal);
        const IndexQuery::Input input = IndexQuery::read(text);
        QCOMPARE(input.index, index);
        QCOMPARE(input.refusal, refusal);
        QCOMPARE(input.accepted(), refusal.isEmpty());
    }

    // Every value is bound: the statement text holds no user text, whatever was typed.
    void namesAreBoundNotWritten()
    {
        const IndexQuery::Statement s = IndexQuery::rows(QStringLiteral("344000"),
            { QStringLiteral("Д'Арк %1"), false }, { QStringLiteral("%1'; DROP TABLE KLADR; --"), true });
        QVERIFY(!s.sql.contains(QStringLiteral("344000")));
        QVERIFY(!s.sql.contains(QStringLiteral("Д'")));
        QVERIFY(!s.sql.contains(QStringLiteral("DROP")));
        QCOMPARE(s.sql.count(QLatin1Char('?')), s.values.size());
        // Written in, each value is one literal, its apostrophe doubled.
        const QString written = IndexQuery::written(s);
        QVERIFY(!written.contains(QLatin1Char('?')));
        QCOMPARE(written.count(QStringLiteral("'344000'")), 4);
        QVERIFY(written.contains(QStringLiteral("LIKE 'Д''АРК %1'")));
        QVERIFY(written.contains(QStringLiteral("LIKE '%1''; DROP TABLE KLADR; --'")));
    }

    // The statement as the log shows it run gives the rows of the bound one, in the same order.
    void writtenRunsAsBound()
    {
        QStringList indexes = m_Expected.indexes.values();
        indexes.sort();
        indexes = indexes.mid(0, 30);
        QSqlDatabase db = QSqlDatabase::database(m_Database);
        for (const QString& index : qAsConst(indexes)) {
            const Found bound = search(m_Database, index);
            QVERIFY2(bound.ok, qPrintable(bound.error));
            const QString city = bound.result.rows.value(0).value(IndexQuery::City).toString();
            for (const LevelFilter& locality : { LevelFilter(), LevelFilter { city, false } }) {
                const Found narrowed = locality.text.isEmpty() ? bound : search(m_Database, index, locality);
                QSqlQuery query(db);
                QVERIFY2(query.exec(IndexQuery::written(IndexQuery::rows(index, locality))),
                    qPrintable(query.lastError().text()));
                QList<RowKey> keys;
                while (query.next())
                    keys << key(query.value(IndexQuery::CityCode).toString(),
                        query.value(IndexQuery::StreetCode).toString(),
                        query.value(IndexQuery::Houses).toString());
                QCOMPARE(keys, narrowed.keys);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestIndexSearch)
#include "tst_indexsearch.moc"
