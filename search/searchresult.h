// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"

#include <QMetaType>
#include <QSqlRecord>
#include <QString>
#include <QVector>

// The rows of an executed search, fetched by the search thread before it reports them. A plain
// value: the window reads it after the thread has closed its connection, and a later search
// cannot change it.
struct SearchResult {
    // The statement's columns, names only.
    QSqlRecord columns;
    // At most 100 distinct rows (the statement's limit), in the order the statement returned them.
    QVector<QSqlRecord> rows;
    // Every result column by key: header and column number, values empty. Built by the search
    // for its own statement, so the receiver needs no state of the search thread.
    QHash<QString, ResultColumn> columnMap;
    // The house searched for, in its one written form ("12к1"); empty for a search without one.
    QString house;
    // The street part of each address comes from the row's own street (none for a locality's
    // row), not from whether a street was searched for: the search by postal index mixes both.
    bool streetFromRow = false;
};

Q_DECLARE_METATYPE(SearchResult)
