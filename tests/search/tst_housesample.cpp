// SPDX-License-Identifier: GPL-3.0-or-later
// End to end on a generated classifier: velmora-tool writes a sample, imports it and searches
// houses on its streets. What each search must answer is worked out here from the imported
// rows with a deliberately plain reading of the lists (every range spelt out as numbers), so
// the answer of the search code is checked against a second, independent reading.

#include "toolrun.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One house group as the oracle reads it: the items as written (upper case) and every number
// its ranges and plain numbers hold.
struct Group {
    QString list;
    QString index;
    QSet<QString> items;
    QSet<int> numbers;
};

Group readGroup(const QString& list, const QString& index)
{
    static const QRegularExpression range(QStringLiteral("^(\\d+)-(\\d+)$"));
    static const QRegularExpression parity(QStringLiteral("^([НЧ])\\((\\d+)-(\\d+)\\)$"));
    static const QRegularExpression plain(QStringLiteral("^(\\d+)$"));
    Group group { list, index, {}, {} };
    for (const QString& item : list.split(',')) {
        group.items.insert(item.toUpper());
        QRegularExpressionMatch m = range.match(item);
        if (m.hasMatch()) {
            for (int n = m.captured(1).toInt(); n <= m.captured(2).toInt(); ++n)
                group.numbers.insert(n);
            continue;
        }
        m = parity.match(item);
        if (m.hasMatch()) {
            const int wanted = m.captured(1) == QStringLiteral("Н") ? 1 : 0;
            for (int n = m.captured(2).toInt(); n <= m.captured(3).toInt(); ++n) {
                if (n % 2 == wanted)
                    group.numbers.insert(n);
            }
            continue;
        }
        m = plain.match(item);
        if (m.hasMatch())
            group.numbers.insert(m.captured(1).toInt());
    }
    return group;
}

struct Street {
    QString locality;
    QString name;
    QString index;
    QString localityIndex;
    QVector<Group> groups;
};

// A house to type, how the address must end, and what kind of case it is.
struct HouseCase {
    QString kind;
    QString typed;
    QString written; // the one form: "27к1", "27А", "7"
    int number;
};

// "index|houses" rows the search must give: the groups naming the house, else those whose
// numbers hold it, else the street's own row.
QStringList expectedRows(const Street& street, const HouseCase& house)
{
    QStringList rows;
    const auto indexOf = [&street](const Group& group) {
        return !group.index.isEmpty() ? group.index
            : !street.index.isEmpty() ? street.index
                                      : street.localityIndex;
    };
    for (const Group& group : street.groups) {
        if (group.items.contains(house.written.toUpper()))
            rows << indexOf(group) + '|' + group.list;
    }
    if (rows.isEmpty()) {
        for (const Group& group : street.groups) {
            if (group.numbers.contains(house.number))
                rows << indexOf(group) + '|' + group.list;
        }
    }
    if (rows.isEmpty())
        rows << (street.index.isEmpty() ? street.localityIndex : street.index) + QStringLiteral("|---");
    rows.removeDuplicates();
    rows.sort();
    return rows;
}

// The ways a user may type an item the list writes; the variant is picked by turns.
QList<HouseCase> casesFor(const Street& street, int turn)
{
    static const QRegularExpression korpus(QStringLiteral("^(\\d+)к(\\d+)$"));
    static const QRegularExpression building(QStringLiteral("^(\\d+)стр(\\d+)$"));
    static const QRegularExpression letter(QStringLiteral("^(\\d+)([А-Я])$"));
    static const QRegularExpression plain(QStringLiteral("^(\\d+)$"));
    static const QRegularExpression oddRange(QStringLiteral("^Н\\((\\d+)-(\\d+)\\)$"));
    static const QRegularExpression evenRange(QStringLiteral("^Ч\\((\\d+)-(\\d+)\\)$"));
    static const QRegularExpression anyRange(QStringLiteral("^(\\d+)-(\\d+)$"));
    const QHash<QString, QString> latin { { "А", "A" }, { "В", "B" }, { "С", "C" }, { "Е", "E" } };

    QList<HouseCase> cases;
    QSet<QString> kinds;
    const auto add = [&](const QString& kind, const QString& typed, const QString& written, int number) {
        if (kinds.contains(kind))
            return;
        kinds.insert(kind);
        cases.append({ kind, typed, written, number });
    };
    for (const Group& group : street.groups) {
        for (const QString& item : group.list.split(',')) {
            QRegularExpressionMatch m;
            if ((m = korpus.match(item)).hasMatch()) {
                const QString n = m.captured(1), k = m.captured(2);
                const QStringList typed { n + " корп. " + k, "д. " + n + " к " + k, n + " корпус " + k,
                    n + "K" + k };
                add("written: корпус", typed.at(turn % typed.size()), n + "к" + k, n.toInt());
            } else if ((m = building.match(item)).hasMatch()) {
                const QString n = m.captured(1), s = m.captured(2);
                const QStringList typed { n + " строение " + s, "дом " + n + " стр. " + s };
                add("written: строение", typed.at(turn % typed.size()), n + "стр" + s, n.toInt());
            } else if ((m = letter.match(item)).hasMatch()) {
                const QString n = m.captured(1), l = m.captured(2);
                QStringList typed { n + " " + l.toLower(), "д." + n + l.toLower() };
                if (latin.contains(l))
                    typed << n + latin.value(l).toLower() << n + latin.value(l);
                add("written: letter", typed.at(turn % typed.size()), n + l, n.toInt());
            } else if ((m = plain.match(item)).hasMatch()) {
                const QStringList typed { "д. " + item, "дом " + item, item };
                add("written: number", typed.at(turn % typed.size()), item, item.toInt());
            } else if ((m = oddRange.match(item)).hasMatch() || (m = evenRange.match(item)).hasMatch()
                || (m = anyRange.match(item)).hasMatch()) {
                const int from = m.captured(1).toInt(), to = m.captured(2).toInt();
                const int step
                    = item.startsWith(QStringLiteral("Н")) || item.startsWith(QStringLiteral("Ч")) ? 2 : 1;
                // First, inside and last number of the range, by turns.
                const int number = QList<int> { from, qMin(from + step, to), to }.at(turn % 3);
                add("inside a range", QString::number(number), QString::number(number), number);
                add("range, with a корпус", QString::number(number) + " корп. 9",
                    QString::number(number) + "к9", number);
            }
        }
    }
    add("in no list", "д. 997", "997", 997);
    add("in no list, with a корпус", "997 корпус 3", "997к3", 997);
    return cases;
}

} // namespace

class TestHouseSample : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void houseSearchGivesTheChainsIndex();

private:
    QTemporaryDir m_Dir;
    QVector<Street> m_Streets;
};

void TestHouseSample::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    const QString dir = m_Dir.filePath("db");
    ToolRun run = runTool({ "sample", "--out", dir, "--scale", "0.002", "--seed", "11" });
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    run = runTool({ "import", dir });
    QVERIFY2(run.exitCode == 0, qPrintable(run.out.join('\n') + run.err));

    // Streets whose locality and street names together find only them, so that a search by the
    // two names concerns one street.
    const QString connection = QStringLiteral("house-sample");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(dir + "/KLADR.sqlite");
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery query(db);
        QVERIFY(query.exec("SELECT k.name, s.name, s.code, s.index_, k.index_ FROM kladr k, street s "
                           "WHERE s.code_kladr = k.code AND k.code_st = '00' "
                           "AND s.code IN (SELECT code_street FROM doma) "
                           "AND (SELECT count(*) FROM kladr k2, street s2 WHERE s2.code_kladr = k2.code "
                           "AND k2.code_st = '00' AND k2.name_upper = k.name_upper "
                           "AND s2.name_upper = s.name_upper) = 1 "
                           "ORDER BY substr(s.code, 12, 4), s.code LIMIT 40"));
        QSqlQuery groups(db);
        groups.prepare("SELECT name, index_ FROM doma WHERE code_street = ?");
        while (query.next()) {
            Street street { query.value(0).toString(), query.value(1).toString(), query.value(3).toString(),
                query.value(4).toString(), {} };
            if (street.locality.contains(QRegularExpression("[%_]"))
                || street.name.contains(QRegularExpression("[%_]")))
                continue;
            groups.bindValue(0, query.value(2));
            QVERIFY(groups.exec());
            while (groups.next())
                street.groups.append(readGroup(groups.value(0).toString(), groups.value(1).toString()));
            m_Streets.append(street);
        }
    }
    QSqlDatabase::removeDatabase(connection);
    QVERIFY(m_Streets.size() >= 20);
}

void TestHouseSample::houseSearchGivesTheChainsIndex()
{
    QMap<QString, int> kinds;
    int turn = 0;
    for (const Street& street : qAsConst(m_Streets)) {
        for (const HouseCase& house : casesFor(street, turn++)) {
            // Every kind a few times over different streets is enough; more only costs time.
            if (kinds.value(house.kind) >= 4)
                continue;
            ++kinds[house.kind];

            const ToolRun run = runTool({ "search", m_Dir.filePath("db"), "--locality", street.locality,
                "--street", street.name, "--house", house.typed });
            const QString what = QStringLiteral("%1 / %2 / \"%3\" (%4)")
                                     .arg(street.locality, street.name, house.typed, house.kind);
            QVERIFY2(run.exitCode == 0, qPrintable(what + '\n' + run.err));
            QVERIFY2(!run.out.isEmpty(), qPrintable(what));

            QStringList rows;
            for (const QString& line : run.out.mid(1)) {
                const QStringList cells = line.split('\t');
                QCOMPARE(cells.size(), 7);
                // The address starts with the row's index and ends with the house in its one form.
                QVERIFY2(cells.at(6).startsWith(cells.at(0) + ','), qPrintable(what + ": " + line));
                QVERIFY2(cells.at(6).endsWith(",д." + house.written), qPrintable(what + ": " + line));
                rows << cells.at(0) + '|' + cells.at(5);
            }
            rows.sort();
            const QStringList expected = expectedRows(street, house);
            if (rows != expected)
                qWarning().noquote() << what << "\n  groups:" << [&street] {
                    QStringList lists;
                    for (const Group& group : street.groups)
                        lists << group.index + '|' + group.list;
                    return lists;
                }();
            QCOMPARE(rows, expected);
        }
    }
    // Every kind of case came up on the generated streets.
    for (const char* kind : { "written: корпус", "written: строение", "written: letter", "written: number",
             "inside a range", "range, with a корпус", "in no list", "in no list, with a корпус" })
        QVERIFY2(kinds.value(QString::fromUtf8(kind)) > 0, kind);
}

QTEST_GUILESS_MAIN(TestHouseSample)
#include "tst_housesample.moc"
