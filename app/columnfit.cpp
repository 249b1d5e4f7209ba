// SPDX-License-Identifier: GPL-3.0-or-later
#include "columnfit.h"

#include <algorithm>
#include <numeric>

namespace ColumnFit {

int lineCount(const QVector<Piece>& pieces, int width)
{
    int lines = 0;
    int used = 0; // width of the current line, without the blank after its last piece
    int pendingSpace = 0;
    for (const Piece& piece : pieces) {
        if (lines == 0 || used + pendingSpace + piece.width > width) {
            ++lines;
            used = piece.width;
        } else {
            used += pendingSpace + piece.width;
        }
        pendingSpace = piece.space;
    }
    return lines;
}

int widthForLines(const QVector<Piece>& pieces, int lines)
{
    int low = 0;
    int high = 0;
    for (const Piece& piece : pieces) {
        low = std::max(low, piece.width);
        high += piece.width + piece.space;
    }
    if (lines < 1)
        return high;
    // The line count only falls as the width grows: the smallest width that is enough.
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (lineCount(pieces, middle) <= lines)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

namespace {

    // Every column between its lower and upper bound, the widest cut first down to one common
    // level, the highest level whose total stays within budget. Empty when even the lower bounds
    // exceed it.
    QVector<int> level(const QVector<int>& upper, const QVector<int>& lower, int budget)
    {
        auto widths = [&](int cap) {
            QVector<int> result(upper.size());
            for (int i = 0; i < upper.size(); ++i)
                result[i] = std::max(lower.at(i), std::min(upper.at(i), cap));
            return result;
        };
        auto total
            = [](const QVector<int>& values) { return std::accumulate(values.cbegin(), values.cend(), 0); };
        if (total(lower) > budget)
            return {};
        int low = 0;
        int high = upper.isEmpty() ? 0 : *std::max_element(upper.cbegin(), upper.cend());
        while (low < high) {
            const int middle = low + (high - low + 1) / 2;
            if (total(widths(middle)) <= budget)
                low = middle;
            else
                high = middle - 1;
        }
        return widths(low);
    }

} // namespace

QVector<int> fit(const QVector<Column>& columns, const QVector<int>& lastWidths, int available)
{
    QVector<int> wanted;
    QVector<int> minimum;
    QVector<int> floor;
    QVector<int> least;
    for (const Column& column : columns) {
        wanted << column.wanted;
        minimum << column.minimum;
        floor << column.floor;
        least << column.least;
    }
    auto last = [&lastWidths](int lines) {
        return lastWidths.isEmpty() ? 0 : lastWidths.at(std::min(lines, int(lastWidths.size())) - 1);
    };
    struct Stage {
        const QVector<int>& upper;
        const QVector<int>& lower;
        int lines;
    };
    const Stage stages[] = {
        { wanted, wanted, 1 },
        { wanted, minimum, 2 },
        { wanted, minimum, 3 },
        { minimum, floor, 3 },
        { floor, least, 3 },
    };
    for (const Stage& stage : stages) {
        const QVector<int> widths = level(stage.upper, stage.lower, available - last(stage.lines));
        if (!widths.isEmpty() || columns.isEmpty())
            return widths;
    }
    return least;
}

} // namespace ColumnFit
