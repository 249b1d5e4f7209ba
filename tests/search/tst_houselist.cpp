// SPDX-License-Identifier: GPL-3.0-or-later
#include "houselist.h"

#include <QTest>

Q_DECLARE_METATYPE(HouseList::Match)

class TestHouseList : public QObject {
    Q_OBJECT

private slots:
    void normalise_data();
    void normalise();
    void refuse_data();
    void refuse();
    void match_data();
    void match();
    void resolve_data();
    void resolve();
};

void TestHouseList::normalise_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<bool>("plain");

    QTest::newRow("number") << "12"
                            << "12" << qint64(12) << true;
    QTest::newRow("leading zeros") << "012"
                                   << "12" << qint64(12) << true;
    QTest::newRow("blanks around") << "  12 "
                                   << "12" << qint64(12) << true;
    QTest::newRow("д.") << "д. 12"
                        << "12" << qint64(12) << true;
    QTest::newRow("Д glued") << "Д12"
                             << "12" << qint64(12) << true;
    QTest::newRow("дом") << "дом 12"
                         << "12" << qint64(12) << true;
    QTest::newRow("ДОМ №") << "ДОМ № 12"
                           << "12" << qint64(12) << true;
    QTest::newRow("letter lower") << "12а"
                                  << "12А" << qint64(12) << false;
    QTest::newRow("letter apart") << "12 А"
                                  << "12А" << qint64(12) << false;
    QTest::newRow("Latin letter a") << "12a"
                                    << "12А" << qint64(12) << false;
    QTest::newRow("Latin letter B") << "12B"
                                    << "12В" << qint64(12) << false;
    QTest::newRow("ё as е") << "12ё"
                            << "12Е" << qint64(12) << false;
    QTest::newRow("letter Б has no twin") << "12б"
                                          << "12Б" << qint64(12) << false;
    QTest::newRow("fraction") << "12/1"
                              << "12/1" << qint64(12) << false;
    QTest::newRow("fraction with blanks") << "д. 12 / 1"
                                          << "12/1" << qint64(12) << false;
    QTest::newRow("к glued") << "12к1"
                             << "12к1" << qint64(12) << false;
    QTest::newRow("К upper") << "12К1"
                             << "12к1" << qint64(12) << false;
    QTest::newRow("Latin k") << "12k1"
                             << "12к1" << qint64(12) << false;
    QTest::newRow("к apart") << "12 к 1"
                             << "12к1" << qint64(12) << false;
    QTest::newRow("корп.") << "12 корп. 1"
                           << "12к1" << qint64(12) << false;
    QTest::newRow("кор") << "12 кор 1"
                         << "12к1" << qint64(12) << false;
    QTest::newRow("корпус") << "12 корпус 1"
                            << "12к1" << qint64(12) << false;
    QTest::newRow("стр glued") << "12стр2"
                               << "12стр2" << qint64(12) << false;
    QTest::newRow("стр.") << "12 стр. 2"
                          << "12стр2" << qint64(12) << false;
    QTest::newRow("строение") << "12 строение 2"
                              << "12стр2" << qint64(12) << false;
    QTest::newRow("с after к") << "12к1с2"
                               << "12к1стр2" << qint64(12) << false;
    QTest::newRow("корпус and строение") << "дом 12 корпус 1 строение 2"
                                         << "12к1стр2" << qint64(12) << false;
    QTest::newRow("letter and корпус apart") << "12 а корп. 1"
                                             << "12Ак1" << qint64(12) << false;
    QTest::newRow("letter glued to корпус") << "12Ак1"
                                            << "12Ак1" << qint64(12) << false;
    QTest::newRow("letter glued to стр") << "12бстр2"
                                         << "12Бстр2" << qint64(12) << false;
    QTest::newRow("с without к is a letter") << "12с"
                                             << "12С" << qint64(12) << false;
    QTest::newRow("Latin c without к") << "12c"
                                       << "12С" << qint64(12) << false;
    QTest::newRow("comma before корп.") << "д. 91, корп. 1"
                                        << "91к1" << qint64(91) << false;
    QTest::newRow("comma before стр.") << "12, стр. 2"
                                       << "12стр2" << qint64(12) << false;
    QTest::newRow("comma before a letter") << "12, а"
                                           << "12А" << qint64(12) << false;
    QTest::newRow("с before a number") << "20с3"
                                       << "20стр3" << qint64(20) << false;
    QTest::newRow("с apart before a number") << "20 с 3"
                                             << "20стр3" << qint64(20) << false;
    QTest::newRow("letter glued to с") << "12ас3"
                                       << "12Астр3" << qint64(12) << false;
    QTest::newRow("литер") << "12 лит. А"
                           << "12А" << qint64(12) << false;
    QTest::newRow("корпус with a letter") << "12 корпус А"
                                          << "12кА" << qint64(12) << false;
    QTest::newRow("вл.") << "вл. 3"
                         << "влд3" << qint64(3) << false;
    QTest::newRow("влд") << "влд 3"
                         << "влд3" << qint64(3) << false;
    QTest::newRow("владение") << "владение 3"
                              << "влд3" << qint64(3) << false;
    QTest::newRow("двлд") << "двлд5"
                          << "двлд5" << qint64(5) << false;
    QTest::newRow("домовладение") << "домовладение 5"
                                  << "двлд5" << qint64(5) << false;
    QTest::newRow("too many digits") << "1234567890123456789012"
                                     << "1234567890123456789012" << std::numeric_limits<qint64>::max()
                                     << true;
    QTest::newRow("empty") << ""
                           << "" << qint64(-1) << false;
    QTest::newRow("blanks") << "   "
                            << "" << qint64(-1) << false;
    QTest::newRow("дом alone") << "дом"
                               << "" << qint64(-1) << false;
    QTest::newRow("корпус А") << "корпус А"
                              << "кА" << qint64(-1) << false;
    QTest::newRow("mask characters") << "%_"
                                     << "%_" << qint64(-1) << false;
}

void TestHouseList::normalise()
{
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(qint64, number);
    QFETCH(bool, plain);

    const HouseNumber house(typed);
    QCOMPARE(house.text(), text);
    QCOMPARE(house.number(), number);
    QCOMPARE(house.hasDigit(), number >= 0);
    QCOMPARE(house.isPlainNumber(), plain);
    QVERIFY(house.refusal().isEmpty());

    // The one form read again is the same house.
    if (!house.hasDigit())
        return;
    const HouseNumber again(house.text());
    QCOMPARE(again.text(), house.text());
    QCOMPARE(again.number(), house.number());
    QCOMPARE(again.isPlainNumber(), house.isPlainNumber());
}

void TestHouseList::refuse_data()
{
    QTest::addColumn<QString>("typed");

    QTest::newRow("zero and one") << "0 1";
    QTest::newRow("number and number") << "12 1";
    QTest::newRow("comma between numbers") << "12, 1";
    QTest::newRow("after a корпус") << "12к1 2";
    QTest::newRow("after д.") << "д. 5 7";
}

void TestHouseList::refuse()
{
    QFETCH(QString, typed);

    const HouseNumber house(typed);
    QVERIFY(!house.refusal().isEmpty());
    QVERIFY(house.refusal().contains(typed.simplified()));
    QVERIFY(house.text().isEmpty());
    QVERIFY(!house.hasDigit());
    QCOMPARE(HouseList(QStringLiteral("---,1-200")).match(house), HouseList::Match::None);
}

void TestHouseList::match_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("house");
    QTest::addColumn<HouseList::Match>("expected");

    const HouseList::Match exact = HouseList::Match::Exact;
    const HouseList::Match number = HouseList::Match::Number;
    const HouseList::Match none = HouseList::Match::None;

    QTest::newRow("plain number") << "12"
                                  << "12" << exact;
    QTest::newRow("plain number, typed with дом") << "12"
                                                  << "дом 12" << exact;
    QTest::newRow("plain number holds its letters") << "12"
                                                    << "12А" << number;
    QTest::newRow("plain number holds its корпуса") << "12"
                                                    << "12к1" << number;
    QTest::newRow("other plain number") << "12"
                                        << "13" << none;
    QTest::newRow("lettered item is not the number") << "12А"
                                                     << "12" << none;
    QTest::newRow("lettered item, Cyrillic") << "12А"
                                             << "12а" << exact;
    QTest::newRow("lettered item, typed Latin") << "12А"
                                                << "12a" << exact;
    QTest::newRow("lettered item written Latin") << "12A"
                                                 << "12 а" << exact;
    QTest::newRow("other letter") << "12А"
                                  << "12Б" << none;

    QTest::newRow("odd range, first") << "Н(1-15)"
                                      << "1" << number;
    QTest::newRow("odd range, last") << "Н(1-15)"
                                     << "15" << number;
    QTest::newRow("odd range, inside") << "Н(1-15)"
                                       << "7" << number;
    QTest::newRow("odd range, past the end") << "Н(1-15)"
                                             << "17" << none;
    QTest::newRow("odd range, wrong parity") << "Н(1-15)"
                                             << "2" << none;
    QTest::newRow("odd range, wrong parity at the end") << "Н(1-15)"
                                                        << "14" << none;
    QTest::newRow("odd range, корпус of an odd house") << "Н(1-15)"
                                                       << "7 корп. 2" << number;
    QTest::newRow("odd range written Latin H") << "H(1-15)"
                                               << "3" << number;
    QTest::newRow("odd range reversed") << "Н(15-1)"
                                        << "3" << number;
    QTest::newRow("even range, first") << "Ч(2-20)"
                                       << "2" << number;
    QTest::newRow("even range, last") << "Ч(2-20)"
                                      << "20" << number;
    QTest::newRow("even range, before the start") << "Ч(2-20)"
                                                  << "0" << none;
    QTest::newRow("even range, past the end") << "Ч(2-20)"
                                              << "22" << none;
    QTest::newRow("even range, wrong parity") << "Ч(2-20)"
                                              << "3" << none;
    QTest::newRow("even range, 12к1") << "Ч(2-20)"
                                      << "12к1" << number;
    QTest::newRow("even range, 12А") << "Ч(2-20)"
                                     << "12А" << number;
    QTest::newRow("even range, fraction") << "Ч(2-20)"
                                          << "12/1" << number;
    QTest::newRow("even range reversed") << "Ч(20-2)"
                                         << "4" << number;
    QTest::newRow("range, first") << "1-9"
                                  << "1" << number;
    QTest::newRow("range, last") << "1-9"
                                 << "9" << number;
    QTest::newRow("range, either parity") << "1-9"
                                          << "4" << number;
    QTest::newRow("range, past the end") << "1-9"
                                         << "10" << none;
    QTest::newRow("range reversed") << "9-1"
                                    << "5" << number;
    QTest::newRow("one odd number") << "Н(7)"
                                    << "7" << exact;
    QTest::newRow("one odd number, neighbour") << "Н(7)"
                                               << "9" << none;
    QTest::newRow("one odd number, its letter") << "Н(7)"
                                                << "7А" << number;
    QTest::newRow("one even number") << "Ч(8)"
                                     << "8" << exact;
    QTest::newRow("one number of the wrong parity") << "Н(8)"
                                                    << "8" << none;
    QTest::newRow("every odd") << "Н"
                               << "1001" << number;
    QTest::newRow("every odd, even house") << "Н"
                                           << "1000" << none;
    QTest::newRow("every even") << "Ч"
                                << "1000" << number;
    QTest::newRow("every house") << "---"
                                 << "5" << number;

    QTest::newRow("fraction") << "12/1"
                              << "12/1" << exact;
    QTest::newRow("fraction is not the number") << "12/1"
                                                << "12" << none;
    QTest::newRow("other fraction") << "12/1"
                                    << "12/2" << none;
    QTest::newRow("корпус named") << "Н(1-15),Ч(2-20),12к1"
                                  << "12 корп. 1" << exact;
    QTest::newRow("other корпус in the range") << "Н(1-15),Ч(2-20),12к1"
                                               << "12к2" << number;
    QTest::newRow("строение named") << "10,12стр2"
                                    << "12 строение 2" << exact;
    QTest::newRow("корпус строение named") << "12к1стр2"
                                           << "12к1с2" << exact;
    QTest::newRow("lettered корпус named") << "Ч(2-20),12Ак1"
                                           << "12 а корпус 1" << exact;
    QTest::newRow("корпус after a comma named") << "91к1,92,93"
                                                << "д. 91, корп. 1" << exact;
    QTest::newRow("строение after a comma named") << "10,12стр2"
                                                  << "12, стр. 2" << exact;
    QTest::newRow("с3 is строение 3") << "20стр3"
                                      << "20с3" << exact;
    QTest::newRow("владение named") << "влд3"
                                    << "вл. 3" << exact;
    QTest::newRow("владение is not house 3") << "влд3"
                                             << "3" << none;
    QTest::newRow("домовладение named") << "двлд5"
                                        << "домовладение 5" << exact;
    QTest::newRow("number after a range") << "1-9,15"
                                          << "15" << exact;
    QTest::newRow("blanks in the list") << "Н(1 - 15), 12"
                                        << "3" << number;
    QTest::newRow("no digit") << "1-9,Н,Ч,---"
                              << "дом" << none;
    QTest::newRow("empty list") << ""
                                << "12" << none;
    QTest::newRow("broken range is text") << "Н(1-"
                                          << "1" << none;
    QTest::newRow("broken range, its own text") << "Н(1-"
                                                << "н(1-" << exact;
}

void TestHouseList::match()
{
    QFETCH(QString, list);
    QFETCH(QString, house);
    QFETCH(HouseList::Match, expected);

    QCOMPARE(HouseList(list).match(HouseNumber(house)), expected);
    QCOMPARE(HouseList(list).holds(HouseNumber(house)), expected != HouseList::Match::None);
}

void TestHouseList::resolve_data()
{
    QTest::addColumn<QStringList>("lists");
    QTest::addColumn<QStringList>("indexes");
    QTest::addColumn<QString>("house");
    QTest::addColumn<QStringList>("chain");
    QTest::addColumn<QStringList>("expected"); // "group:index"

    const QStringList chain { "100100", "200200", "300300", "400400" };
    QTest::newRow("named beats a range")
        << QStringList { "Ч(2-20)", "12" } << QStringList { "111111", "222222" } << "12" << chain
        << QStringList { "1:222222" };
    QTest::newRow("range when none names it")
        << QStringList { "Н(1-15)", "Ч(2-20)", "12к2" } << QStringList { "111111", "222222", "333333" }
        << "12к1" << chain << QStringList { "1:222222" };
    QTest::newRow("plain number holds a lettered house")
        << QStringList { "Н(1-15)", "12" } << QStringList { "111111", "222222" } << "12Б" << chain
        << QStringList { "1:222222" };
    QTest::newRow("two groups disagree")
        << QStringList { "1-20", "Ч(2-20)", "Н(1-19)" } << QStringList { "111111", "222222", "333333" }
        << "12" << chain << QStringList { "0:111111", "1:222222" };
    QTest::newRow("in no list: the street")
        << QStringList { "Н(1-15)", "Ч(2-20)" } << QStringList { "111111", "222222" } << "22" << chain
        << QStringList { "-1:100100" };
    QTest::newRow("no groups: the street")
        << QStringList {} << QStringList {} << "1" << chain << QStringList { "-1:100100" };
    QTest::newRow("street without index: the locality")
        << QStringList { "1" } << QStringList { "111111" } << "2"
        << QStringList { "", "200200", "300300", "400400" } << QStringList { "-1:200200" };
    QTest::newRow("then the district")
        << QStringList {} << QStringList {} << "2" << QStringList { "", "", "300300", "400400" }
        << QStringList { "-1:300300" };
    QTest::newRow("then the region") << QStringList {} << QStringList {} << "2"
                                     << QStringList { "", "  ", "", "400400" } << QStringList { "-1:400400" };
    QTest::newRow("no index anywhere")
        << QStringList {} << QStringList {} << "2" << QStringList { "", "" } << QStringList { "-1:" };
    QTest::newRow("holding group without index")
        << QStringList { "Ч(2-20)", "Н(1-15)" } << QStringList { "", "222222" } << "12" << chain
        << QStringList { "0:100100" };
    QTest::newRow("holding group without index, no street index")
        << QStringList { "12" } << QStringList { "      " } << "12" << QStringList { "", "200200" }
        << QStringList { "0:200200" };
    QTest::newRow("named by a group without index beats a range") << QStringList { "Ч(2-20)",
        "12А" } << QStringList { "111111", "" } << "12 а" << chain << QStringList { "1:100100" };
    QTest::newRow("Latin letters typed")
        << QStringList { "Ч(2-20)", "12А" } << QStringList { "111111", "222222" } << "12A" << chain
        << QStringList { "1:222222" };
    QTest::newRow("no digit: no answer")
        << QStringList { "---" } << QStringList { "111111" } << "корпус" << chain << QStringList {};
}

void TestHouseList::resolve()
{
    QFETCH(QStringList, lists);
    QFETCH(QStringList, indexes);
    QFETCH(QString, house);
    QFETCH(QStringList, chain);
    QFETCH(QStringList, expected);

    QVector<HouseGroup> groups;
    for (int i = 0; i < lists.size(); ++i)
        groups.append({ lists.at(i), indexes.at(i) });
    QStringList actual;
    for (const HouseIndexMatch& match : resolveHouseIndex(groups, HouseNumber(house), chain))
        actual << QStringLiteral("%1:%2").arg(match.group).arg(match.index);
    QCOMPARE(actual, expected);
}

QTEST_GUILESS_MAIN(TestHouseList)
#include "tst_houselist.moc"
