// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

// The search by postal index as text: what was typed, the statements and the office lines.
// Pure functions: no database, no state.
namespace IndexQuery {

// At most this many rows are shown; the statement still counts them all.
inline constexpr int RowLimit = 1000;

// A postal index as typed: exactly six digits once blanks are dropped. Anything else is refused
// with one line saying why.
struct Input {
    QString index; // the six digits
    QString refusal; // empty when accepted
    bool accepted() const { return refusal.isEmpty(); }
};
Input read(const QString& text);

// A statement with its values bound in order.
struct Statement {
    QString sql;
    QVariantList values;
};

// The statement with its values written in as SQL literals, in order: what the log shows as run
// (and what can be run again elsewhere); the search itself binds them.
QString written(const Statement& statement);

// Result columns, in the order of the name search by both levels, then the hidden ones.
enum Column {
    IndexColumn,
    City,
    CityType,
    CityScname,
    CityCode,
    CityCodeSs,
    CityCodeRrr,
    CityCodeGgg,
    Street,
    StreetType,
    StreetScname,
    Houses,
    StreetCode, // hidden: orders the streets of one name
    Total, // hidden: how many rows there are before the cut
    ColumnCount
};

// Everything the index serves: the localities (KLADR records) that carry it, the streets that
// carry it ("---" in the house column), and once per street the house groups that carry it
// when the street's own index is another or none. Records of the current state ("00") only.
// A ticked locality or street text keeps only the rows that also match it, by the rules of the
// name search (a mask with "%" or "_" is matched with LIKE); with a street text the localities'
// own rows go. Ordered by region, locality, street; at most RowLimit rows.
Statement rows(const QString& index, const LevelFilter& locality = {}, const LevelFilter& street = {});

// The post's reference (table POST_OFFICES) is optional.
Statement hasOffices();
// The offices with this index, and those whose former index it is. Both give OfficeField columns.
Statement offices(const QString& index);
Statement successors(const QString& index);

enum OfficeField {
    OfficeIndex,
    OfficeName,
    OfficeType,
    ParentIndex,
    ParentName,
    Region,
    Autonom,
    Area,
    OfficeCity,
    OfficeCity1,
    OfficeFieldCount
};
using Office = QStringList; // by OfficeField

// The log lines about the office of an index, in order: each office with this index (name,
// type, place, the office it reports to); each office this index was the former index of; or,
// when there is neither, that no office has this index.
QStringList officeLines(
    const QString& index, const QVector<Office>& offices, const QVector<Office>& successors);

// The line written when the rows were cut; empty when all are shown.
QString cutLine(int nTotal, int nShown);

} // namespace IndexQuery
