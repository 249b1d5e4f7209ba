// SPDX-License-Identifier: GPL-3.0-or-later
#include "postaladdress.h"

#include <QStringBuilder>
#include <QVariant>

namespace PostalAddress {

Fields fieldsOf(const QSqlRecord& row, const QHash<QString, ResultColumn>& columns)
{
    const auto value = [&](const char* key) {
        const int column = columns.value(QLatin1String(key)).column;
        return column < 0 ? QString() : row.value(column).toString();
    };
    Fields fields;
    fields.index = value("index");
    fields.locality = value("city");
    fields.localityType = value("city_t_");
    fields.code = value("city_code");
    fields.codeSs = value("city_code_ss");
    fields.codeRrr = value("city_code_rrr");
    fields.street = value("street");
    fields.streetType = value("street_t_");
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
