// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QVector>

// How wide the result table's columns are: integer arithmetic on measured widths, so the rules
// are tested without a display. The last column (the postal address) wraps its text and takes
// what the others leave; the others show one line each, cut with an ellipsis where narrow.
namespace ColumnFit {

// A run of text that wraps only at its end, its width and that of the blank after it (0 when
// it ends in a comma, or ends the text).
struct Piece {
    int width = 0;
    int space = 0;
};

// Lines the pieces take when each line is filled before the next begins, as text wraps at
// word boundaries: a blank at the end of a line takes no room. A piece wider than the width
// stands on a line of its own.
int lineCount(const QVector<Piece>& pieces, int width);

// The narrowest width at which the pieces take at most `lines` lines; never below the widest
// piece, so nothing has to be broken inside a word.
int widthForLines(const QVector<Piece>& pieces, int lines);

// One column before the last, from its most comfortable width down to its narrowest; each
// bound at most the one before.
struct Column {
    int wanted = 0; // contents and header whole
    int minimum = 0; // the header and a long value (a house list) cut
    int floor = 0; // a short value (an index) whole, the rest cut
    int least = 0; // a couple of letters and an ellipsis
};

// Widths of the columns before the last, for a view `available` pixels wide. lastWidths holds the
// last column's width for one, two and three lines. In this order: the last column goes from
// one line to two; headers and long values are cut, the widest first; it goes to three lines,
// and they are cut further; then short values are cut. When even the least widths leave the last column too
// little, the columns keep their least widths and the view scrolls.
QVector<int> fit(const QVector<Column>& columns, const QVector<int>& lastWidths, int available);

} // namespace ColumnFit
