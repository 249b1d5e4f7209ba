#pragma once

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
    // At most 100 rows (the statement's limit), in the order the statement returned them.
    QVector<QSqlRecord> rows;
    // The house searched for, in its one written form ("12к1"); empty for a search without one.
    QString house;
};

Q_DECLARE_METATYPE(SearchResult)
