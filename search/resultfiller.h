// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "addressnamecache.h"
#include "searchparams.h"
#include "searchresult.h"

#include <QString>

class TableModel;

// Turns the rows of a finished search into the result table: the rows, the postal-address
// column, the headers named by the search, the technical columns removed. Needs no display, so
// the window and velmora-tool fill their tables with the same code.
class ResultFiller {
public:
    // params: the block the search searched with (levels); fill() gives it the result's column
    // map, whose values are overwritten row by row. names: the region and district names, refreshed by the
    // caller for the database searched.
    ResultFiller(SearchParams& params, const AddressNameCache& names);

    // Rebuilds model completely from result.
    void fill(const SearchResult& result, TableModel& model);

    // Address line of the row whose values stand in the column map: index, region, district,
    // locality, when a street was searched for, street, and the house of a house search.
    QString composeAddress();

    // Name and short type name of the KLADR record with this code (a region's or a district's).
    NameLookup lookupName(const QString& code) const;

    static QString addressHeader();

private:
    QString value(const QString& key);

    SearchParams& m_Params;
    const AddressNameCache& m_Names;
    // The house of a house search, ending every address line; empty otherwise.
    QString m_House;
    bool m_bStreetFromRow = false;
};
