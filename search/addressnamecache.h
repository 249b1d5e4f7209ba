// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

class QSqlDatabase;

// Name and short type name of a KLADR record, when one was found.
struct NameLookup {
    bool found = false;
    QString name;
    QString shortType;
};

// The region and district names an address line takes from KLADR, read once per database: every
// record whose code ends in six zeros (a few thousand), which are all the codes an address looks
// up. Read again when the database file changes (an update installs another file, an import
// writes to it), so a search never composes an address from names of a former database.
class AddressNameCache {
public:
    // Reads the names when db's file is not the one read last or has changed since; does
    // nothing otherwise. False when they could not be read: every look-up then finds nothing,
    // as a failed look-up statement would.
    bool refresh(const QSqlDatabase& db);

    // The first record with this code in the order of index_kladr_code, as "SELECT name, scname
    // FROM kladr INDEXED BY index_kladr_code WHERE code=... LIMIT 1" finds it.
    NameLookup lookup(const QString& code) const;

    // How many times the names were read; a refresh that found nothing changed does not count.
    int loadCount() const { return m_nLoads; }

private:
    static QString fileStamp(const QSqlDatabase& db);
    bool load(const QSqlDatabase& db);

    QString m_Stamp;
    QHash<QString, NameLookup> m_Names;
    bool m_bLoaded = false;
    int m_nLoads = 0;
};
