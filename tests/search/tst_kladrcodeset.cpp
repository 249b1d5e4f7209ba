// SPDX-License-Identifier: GPL-3.0-or-later
#include "kladrcodeset.h"

#include <QTest>

class TestKladrCodeSet : public QObject {
    Q_OBJECT

private slots:
    void intersected_data();
    void intersected();
    void refused_data();
    void refused();
    void keptWithinTheBound();
};

void TestKladrCodeSet::intersected_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::addColumn<QString>("common");
    QTest::addColumn<int>("leftSize");

    QTest::newRow("none") << ""
                          << ""
                          << "" << 0;
    QTest::newRow("one side empty") << "77000000000"
                                    << ""
                                    << "" << 1;
    QTest::newRow("one in both") << "77000000000,50001002003"
                                 << "50001002003"
                                 << "50001002003" << 2;
    // Leading zeros and the first and last region, where the region split begins and ends.
    QTest::newRow("first and last region") << "00000000001,99999999999,01000000000"
                                           << "99999999999,00000000001"
                                           << "00000000001,99999999999" << 3;
    // The same rest in other regions is another code.
    QTest::newRow("same rest, other region") << "01123456789,02123456789"
                                             << "03123456789,02123456789"
                                             << "02123456789" << 2;
    // group_concat gives no order and repeats a locality for each of its streets.
    QTest::newRow("unsorted, repeated") << "50001002003,50001002003,10000000000,50001002003"
                                        << "50001002003,10000000000,10000000000"
                                        << "10000000000,50001002003" << 2;
    QTest::newRow("nothing in common") << "50001002003,50001002004"
                                       << "50001002002,50001002005"
                                       << "" << 2;
}

void TestKladrCodeSet::intersected()
{
    QFETCH(QString, left);
    QFETCH(QString, right);
    QFETCH(QString, common);
    QFETCH(int, leftSize);

    const KladrCodeSet a = KladrCodeSet::fromList(left);
    const KladrCodeSet b = KladrCodeSet::fromList(right);
    QVERIFY(a.isValid());
    QVERIFY(b.isValid());
    QCOMPARE(a.size(), leftSize);
    const QStringList expected = common.isEmpty() ? QStringList() : common.split(',');
    QCOMPARE(a.intersected(b), expected);
    QCOMPARE(b.intersected(a), expected);
    // Every code of a set is its own intersection with the union.
    const KladrCodeSet both = a.united(b);
    QCOMPARE(both.intersected(a), a.intersected(a));
    QCOMPARE(both.intersected(b), b.intersected(b));
    QCOMPARE(both.size(), a.size() + b.size() - expected.size());
}

void TestKladrCodeSet::refused_data()
{
    QTest::addColumn<QString>("list");
    QTest::newRow("short code") << "7700000000";
    QTest::newRow("long code") << "770000000001";
    QTest::newRow("letter") << "7700000000A";
    QTest::newRow("blank after the code") << "77000000000 ";
    QTest::newRow("empty code between") << "77000000000,,50000000000";
    QTest::newRow("comma at the end") << "77000000000,";
}

// A list with anything but codes is no set: the resolver probes the index instead.
void TestKladrCodeSet::refused()
{
    QFETCH(QString, list);
    const KladrCodeSet set = KladrCodeSet::fromList(list);
    QVERIFY(!set.isValid());
    QVERIFY(!set.united(KladrCodeSet::fromList("77000000000")).isValid());
}

// A set that would pass the bound empties the cache first; the one asked for is always kept.
void TestKladrCodeSet::keptWithinTheBound()
{
    const KladrCodeSet small = KladrCodeSet::fromList("77000000000");
    const KladrCodeSet large = KladrCodeSet::fromList("77000000000,50001002003,50001002004,10000000000");
    KladrCodeSetCache cache(small.bytes() + large.bytes() + 64);
    cache.insert("K1", small);
    cache.insert("S1", large);
    QVERIFY(cache.find("K1"));
    QCOMPARE(cache.find("S1")->size(), 4);
    cache.insert("K2", large);
    QVERIFY(!cache.find("K1"));
    QVERIFY(!cache.find("S1"));
    QCOMPARE(cache.find("K2")->intersected(small), QStringList { "77000000000" });
    cache.clear();
    QVERIFY(!cache.find("K2"));
}

QTEST_GUILESS_MAIN(TestKladrCodeSet)
#include "tst_kladrcodeset.moc"
