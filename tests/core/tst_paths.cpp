// SPDX-License-Identifier: GPL-3.0-or-later
#include "paths.h"

#include <QtTest>

class TestPaths : public QObject {
    Q_OBJECT
private slots:
    void join_data();
    void join();
};

void TestPaths::join_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("joined");

    // Pairs that joined by concatenation before give the same path.
    QTest::newRow("reader's defaults") << "/srv/update"
                                       << "/update.info"
                                       << "/srv/update/update.info";
    QTest::newRow("import's values") << "./"
                                     << "update.info"
                                     << "./update.info";
    QTest::newRow("neither side") << "/srv/update"
                                  << "KLADR.sqlite"
                                  << "/srv/update/KLADR.sqlite";
    QTest::newRow("both sides") << "/srv/update/"
                                << "/KLADR.sqlite"
                                << "/srv/update/KLADR.sqlite";
    QTest::newRow("several on both sides") << "/srv/update//"
                                           << "//KLADR.sqlite"
                                           << "/srv/update/KLADR.sqlite";
    QTest::newRow("backslashes at the joint") << "/srv/update\\"
                                              << "\\KLADR.sqlite"
                                              << "/srv/update/KLADR.sqlite";
    QTest::newRow("backslash inside kept") << "/srv/a\\b"
                                           << "x"
                                           << "/srv/a\\b/x";
    QTest::newRow("root") << "/"
                          << "update.info"
                          << "/update.info";
    QTest::newRow("empty directory") << ""
                                     << "/update.info"
                                     << "/update.info";
    QTest::newRow("empty name") << "/srv/update/"
                                << ""
                                << "/srv/update/";
    QTest::newRow("Cyrillic") << "/home/Иван/почта"
                              << "KLADR.sqlite"
                              << "/home/Иван/почта/KLADR.sqlite";
    QTest::newRow("subdirectory in the name") << "/srv"
                                              << "v2/KLADR.sqlite"
                                              << "/srv/v2/KLADR.sqlite";
}

void TestPaths::join()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(QString, joined);
    QCOMPARE(Paths::join(dir, name), joined);
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
