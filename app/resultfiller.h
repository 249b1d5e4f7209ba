#pragma once

#include "searchparams.h"
#include "searchresult.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>

class TableModel;

// Name and short type name of a KLADR record, when one was found.
struct NameLookup {
    bool found = false;
    QString name;
    QString shortType;
};

// Turns the rows of a finished search into the result table: the rows, the postal-address
// column, the headers named by the search, the technical columns removed. Needs no display, so
// the window and velmora-tool fill their tables with the same code.
class ResultFiller {
public:
    // params: the block the search filled (columns) and searched with (levels); its column values
    // are overwritten row by row. db: an open connection for the region and district names.
    ResultFiller(SearchParams& params, const QSqlDatabase& db);

    // Rebuilds model completely from result.
    void fill(const SearchResult& result, TableModel& model);

    // Address line of the row whose values stand in the column map: index, region, district,
    // locality, when a street was searched for, street, and the house of a house search.
    QString composeAddress();

    // Name and short type name of the KLADR record with this code. Remembered for the life of the
    // filler: the rows of one result share a handful of regions and districts.
    NameLookup lookupName(const QString& code);

    static QString addressHeader();

private:
    QString value(const QString& key);

    SearchParams& m_Params;
    QSqlDatabase m_DataBase;
    QHash<QString, NameLookup> m_Names;
    // The house of a house search, ending every address line; empty otherwise.
    QString m_House;
};
