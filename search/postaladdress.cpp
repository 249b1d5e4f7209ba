// SPDX-License-Identifier: GPL-3.0-or-later
#include "postaladdress.h"

#include <QStringBuilder>
#include <QVariant>

namespace PostalAddress {

Fields fieldsOf(const QSqlRecord& row, const QHash<QString, ResultColumn>& columns)
{
    return fieldsOf(row, columnsOf(columns));
}

Columns columnsOf(const QHash<QString, ResultColumn>& columns)
{
    const auto column = [&](const char* key) { return columns.value(QLatin1String(key)).column; };
    Columns found;
    found.index = column("index");
    found.locality = column("city");
    found.localityType = column("city_t_");
    found.code = column("city_code");
    found.codeSs = column("city_code_ss");
    found.codeRrr = column("city_code_rrr");
    found.street = column("street");
    found.streetType = column("street_t_");
    return found;
}

Fields fieldsOf(const QSqlRecord& row, const Columns& columns)
{
    const auto value = [&row](int column) { return column < 0 ? QString() : row.value(column).toString(); };
    Fields fields;
    fields.index = value(columns.index);
    fields.locality = value(columns.locality);
    fields.localityType = value(columns.localityType);
    fields.code = value(columns.code);
    fields.codeSs = value(columns.codeSs);
    fields.codeRrr = value(columns.codeRrr);
    fields.street = value(columns.street);
    fields.streetType = value(columns.streetType);
    return fields;
}

QString compose(const Fields& fields, const AddressShape& shape, const QString& house, const Lookup& lookup)
{
    // Built in place (QStringBuilder's %): the lines of a result are composed a hundred at a time.
    QString address;
    address.reserve(160);
    address += fields.index;
    // The parts follow one another after a comma; a line without an index starts with its first
    // part instead of an empty field.
    const auto separate = [&address] {
        if (!address.isEmpty())
            address += QLatin1Char(',');
    };

    const QString regionCode = fields.codeSs % QLatin1String("000000000");
    if (regionCode != fields.code) {
        const NameLookup region = lookup(regionCode);
        if (region.found) {
            separate();
            address += region.name % QLatin1Char(' ') % region.shortType;
        }
    }

    // A district's own record names itself in the locality part.
    const QString districtCode = fields.codeSs % fields.codeRrr % QLatin1String("000000");
    if (districtCode != regionCode && districtCode != fields.code) {
        const NameLookup district = lookup(districtCode);
        if (district.found) {
            separate();
            address += district.name % QLatin1Char(' ') % district.shortType % QLatin1Char('.');
        }
    }

    separate();
    address += fields.localityType % QLatin1Char('.') % fields.locality;
    if (shape.streetFromRow ? !fields.street.isEmpty() : shape.street)
        address += QLatin1Char(',') % fields.streetType % QLatin1Char('.') % fields.street;
    if (shape.house && !house.isEmpty())
        address += QStringLiteral(",д.") % house;
    return address;
}

} // namespace PostalAddress
