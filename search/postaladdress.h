// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "addressnamecache.h"
#include "searchresult.h"

#include <QSqlRecord>

#include <functional>

// The postal-address line of a result row: index, region, district, locality, and as the shape
// asks, street and house. Pure: the region and district names come from lookup.
namespace PostalAddress {

// Name and short type name of the KLADR record with this code (a region's or a district's).
using Lookup = std::function<NameLookup(const QString& code)>;

// The row's values by the column keys of the search that gave it.
struct Fields {
    QString index;
    QString locality;
    QString localityType; // short type name (scname)
    QString code;
    QString codeSs;
    QString codeRrr;
    QString street;
    QString streetType; // short type name (scname)

    bool operator==(const Fields& other) const
    {
        return index == other.index && locality == other.locality && localityType == other.localityType
            && code == other.code && codeSs == other.codeSs && codeRrr == other.codeRrr
            && street == other.street && streetType == other.streetType;
    }
};

Fields fieldsOf(const QSqlRecord& row, const QHash<QString, ResultColumn>& columns);

// The statement column of each field (-1 for none), found once for all the rows of a result.
struct Columns {
    int index = -1;
    int locality = -1;
    int localityType = -1;
    int code = -1;
    int codeSs = -1;
    int codeRrr = -1;
    int street = -1;
    int streetType = -1;
};
Columns columnsOf(const QHash<QString, ResultColumn>& columns);
Fields fieldsOf(const QSqlRecord& row, const Columns& columns);

// "101000,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная,д.12": no blank after the commas; the
// region part is left out for a region's own record, the district part for a record outside a
// district or that is the district itself; a row without an index starts with the region.
QString compose(const Fields& fields, const AddressShape& shape, const QString& house, const Lookup& lookup);

} // namespace PostalAddress
