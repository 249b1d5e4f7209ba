// SPDX-License-Identifier: GPL-3.0-or-later
#include "addressnamecache.h"

#include "searchlog.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

QString AddressNameCache::fileStamp(const QSqlDatabase& db)
{
    // An update puts another file in its place (another time, size or version); an import
    // writes to it through its own connection.
    const QFileInfo file(db.databaseName());
    QString stamp = file.absoluteFilePath() + QLatin1Char('|') + QString::number(file.size())
        + QLatin1Char('|') + QString::number(file.lastModified().toMSecsSinceEpoch());
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("SELECT version FROM info")) && query.next())
        stamp += QLatin1Char('|') + query.value(0).toString();
    // Changes whenever another connection (the import's) has committed to the file since, however
    // close in time.
    if (query.exec(QStringLiteral("PRAGMA data_version")) && query.next())
        stamp += QLatin1Char('|') + query.value(0).toString();
    return stamp;
}

bool AddressNameCache::refresh(const QSqlDatabase& db)
{
    if (!db.isOpen()) {
        m_Stamp.clear();
        m_Names.clear();
        m_bLoaded = false;
        return false;
    }
    const QString stamp = fileStamp(db);
    if (stamp == m_Stamp)
        return m_bLoaded;
    m_Stamp = stamp;
    m_bLoaded = load(db);
    return m_bLoaded;
}

bool AddressNameCache::load(const QSqlDatabase& db)
{
    ++m_nLoads;
    m_Names.clear();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // The look-ups named index_kladr_code: without it they failed and found nothing, and so does
    // the cache.
    if (!query.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = "
                                   "'index_kladr_code' AND tbl_name = 'KLADR'"))
        || !query.next()) {
        qCDebug(lcSearch) << "Address names not read: no index_kladr_code" << query.lastError();
        return false;
    }
    query.finish();

    // Regions and districts are the records whose code ends in six zeros: a region's or a
    // district's code (the first five characters) followed by no city and no settlement. Rather
    // than read every record of the table, the statement steps through the code index one such
    // prefix at a time (char(65535) sorts after every code with the prefix; a code shorter than a
    // prefix is passed alone) and reads the prefix's own record: of records sharing a code, the
    // first the index lists, the one the look-ups found. The table's codes are 11 characters.
    if (!query.exec(QStringLiteral(
            "WITH RECURSIVE prefixes(prefix) AS ("
            " SELECT substr(min(code), 1, 5) FROM KLADR"
            " UNION ALL"
            " SELECT (SELECT substr(code, 1, 5) FROM KLADR INDEXED BY index_kladr_code"
            "  WHERE code > prefix || CASE WHEN length(prefix) < 5 THEN '' ELSE char(65535) END"
            "  ORDER BY code LIMIT 1)"
            " FROM prefixes WHERE prefix IS NOT NULL),"
            " own(code, id) AS ("
            " SELECT prefix || '000000', (SELECT rowid FROM KLADR INDEXED BY index_kladr_code"
            "  WHERE code = prefix || '000000' LIMIT 1)"
            " FROM prefixes WHERE prefix IS NOT NULL)"
            " SELECT own.code, k.name, k.scname FROM own JOIN KLADR k ON k.rowid = own.id"))) {
        qCDebug(lcSearch) << "Address names not read:" << query.lastError();
        return false;
    }
    while (query.next()) {
        NameLookup names;
        names.found = true;
        names.name = query.value(1).toString();
        names.shortType = query.value(2).toString();
        m_Names.insert(query.value(0).toString(), names);
    }
    if (query.lastError().isValid()) {
        qCDebug(lcSearch) << "Address names not read:" << query.lastError();
        m_Names.clear();
        return false;
    }
    return true;
}

NameLookup AddressNameCache::lookup(const QString& code) const
{
    return m_Names.value(code);
}
