// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"

#include <QMetaType>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVector>

// What the postal-address line of every row holds besides index, region, district and locality.
struct AddressShape {
    bool street = false;
    // The house searched for ends every line (",д.12к1").
    bool house = false;
    // The street part comes from the row's own street (none for a locality's row), not from
    // whether a street was searched for: the search by postal index mixes both.
    bool streetFromRow = false;
};

// The rows of an executed search, fetched by the search worker before it reports them. A plain
// value that carries all it needs to be shown: its columns, its address shape and the composed
// address of every row, so the receiver needs nothing of the search or of the window.
struct SearchResult {
    // The statement's columns, names only.
    QSqlRecord columns;
    // At most the kind of query's row limit (100, or 1,000 by postal index), in the order the statement
    // returned them.
    QVector<QSqlRecord> rows;
    // Every result column by key: header and column number, values empty. Built by the search
    // for its own statement.
    QHash<QString, ResultColumn> columnMap;
    // The house searched for, in its one written form ("12к1"); empty for a search without one.
    QString house;
    AddressShape address;
    // The postal-address line of each row, in the order of rows.
    QStringList addresses;
    // More rows matched than the result holds: the search should be narrowed.
    bool truncated = false;
    // How many rows matched in all, for a kind of query that counts them (by postal index);
    // -1 when not counted.
    int total = -1;
    // Lines about the post office of the index searched, logged before the result.
    QStringList officeLines;
    // The statement as logged, and what ran in its place.
    QString statement;
    QStringList executed;
};

Q_DECLARE_METATYPE(SearchResult)
