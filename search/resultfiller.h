// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchresult.h"

#include <QString>

class TableModel;

// Turns the rows of a finished search into the result table: the rows, the postal-address
// column, the headers named by the search, the technical columns removed. Takes everything from
// the result, so the window and velmora-tool fill their tables with the same code.
class ResultFiller {
public:
    // Rebuilds model completely from result.
    static void fill(const SearchResult& result, TableModel& model);

    static QString addressHeader();
};
