// SPDX-License-Identifier: GPL-3.0-or-later
#include "columnfit.h"

#include <QtTest>

using ColumnFit::Column;
using ColumnFit::Piece;

Q_DECLARE_METATYPE(QVector<Column>)
Q_DECLARE_METATYPE(QVector<Piece>)

class TestColumnFit : public QObject {
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void fit_data();
    void fit();
};

namespace {

// Pieces of ten pixels each, a blank of two after every one but the last.
QVector<Piece> words(int count)
{
    QVector<Piece> pieces(count, Piece { 10, 2 });
    if (count > 0)
        pieces.last().space = 0;
    return pieces;
}

} // namespace

void TestColumnFit::lines_data()
{
    QTest::addColumn<QVector<Piece>>("pieces");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("narrowestForThat");

    QTest::newRow("nothing") << QVector<Piece>() << 10 << 0 << 0;
    QTest::newRow("one line exactly") << words(3) << 34 << 1 << 34;
    // The blank at the end of a line takes no room, the one inside does.
    QTest::newRow("blank before the break is free") << words(3) << 33 << 2 << 22;
    QTest::newRow("three lines") << words(6) << 22 << 3 << 22;
    QTest::newRow("a wide piece stands alone")
        << (QVector<Piece> { { 10, 2 }, { 50, 2 }, { 10, 0 } }) << 30 << 3 << 50;
    QTest::newRow("comma pieces join without a blank")
        << (QVector<Piece> { { 20, 0 }, { 20, 0 }, { 20, 0 } }) << 40 << 2 << 40;
}

void TestColumnFit::lines()
{
    QFETCH(QVector<Piece>, pieces);
    QFETCH(int, width);
    QFETCH(int, lines);
    QFETCH(int, narrowestForThat);
    QCOMPARE(ColumnFit::lineCount(pieces, width), lines);
    QCOMPARE(ColumnFit::widthForLines(pieces, lines), narrowestForThat);
    if (narrowestForThat > 0) {
        QVERIFY(ColumnFit::lineCount(pieces, narrowestForThat) <= lines);
        // Narrower, it takes more lines, or a piece would have to break.
        const int widest
            = std::max_element(pieces.cbegin(), pieces.cend(), [](const Piece& a, const Piece& b) {
                  return a.width < b.width;
              })->width;
        QVERIFY(narrowestForThat == widest || ColumnFit::lineCount(pieces, narrowestForThat - 1) > lines);
    }
}

void TestColumnFit::fit_data()
{
    QTest::addColumn<QVector<Column>>("columns");
    QTest::addColumn<QVector<int>>("last"); // widths for one, two, three lines
    QTest::addColumn<int>("available");
    QTest::addColumn<QVector<int>>("widths");

    // An index, a locality with a long header, a house list.
    const QVector<Column> three { { 60, 60, 60, 30 }, { 120, 70, 70, 30 }, { 200, 130, 70, 30 } };
    const QVector<int> address { 400, 210, 150 };

    QTest::newRow("all whole, address on one line")
        << three << address << 780 << QVector<int> { 60, 120, 200 };
    QTest::newRow("address on two lines first") << three << address << 590 << QVector<int> { 60, 120, 200 };
    QTest::newRow("then the widest cut") << three << address << 560 << QVector<int> { 60, 120, 170 };
    QTest::newRow("header and long value cut") << three << address << 500 << QVector<int> { 60, 100, 130 };
    QTest::newRow("then three lines") << three << address << 450 << QVector<int> { 60, 110, 130 };
    QTest::newRow("then short values") << three << address << 380 << QVector<int> { 60, 70, 100 };
    QTest::newRow("the index cut last, with the others")
        << three << address << 300 << QVector<int> { 50, 50, 50 };
    QTest::newRow("too narrow: least widths, the view scrolls")
        << three << address << 200 << QVector<int> { 30, 30, 30 };
    QTest::newRow("no other column") << QVector<Column>() << address << 100 << QVector<int>();
    // A width the user gave keeps at every stage.
    QTest::newRow("user width kept") << (QVector<Column> { { 60, 60, 60, 30 }, { 150, 150, 150, 150 } })
                                     << address << 300 << QVector<int> { 30, 150 };
}

void TestColumnFit::fit()
{
    QFETCH(QVector<Column>, columns);
    QFETCH(QVector<int>, last);
    QFETCH(int, available);
    QFETCH(QVector<int>, widths);
    const QVector<int> result = ColumnFit::fit(columns, last, available);
    QCOMPARE(result, widths);
}

QTEST_GUILESS_MAIN(TestColumnFit)
#include "tst_columnfit.moc"
