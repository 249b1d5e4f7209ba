// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "addressnamecache.h"
#include "kladrcodeset.h"
#include "statementcache.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

struct sqlite3;

// The read-only connection of one search worker, kept open from one search to the next while the
// database file stays the same file: opening it, reading the schema and warming its pages again
// would cost more than a short search itself. A file installed in its place (a new file renamed
// over it) is opened anew; changes written into the same file SQLite notices on its own. The
// region and district names of the addresses are read through it, so they follow the file the
// search reads. Used by the thread that opened it only.
class SearchConnection {
public:
    explicit SearchConnection(const QString& connectionName);
    ~SearchConnection();
    SearchConnection(const SearchConnection&) = delete;
    SearchConnection& operator=(const SearchConnection&) = delete;

    void setDatabaseFile(const QString& fileName) { m_DatabaseFile = fileName; }
    const QString& databaseFile() const { return m_DatabaseFile; }

    // Opens the connection, or keeps the open one while it reads the file the path names now, and
    // brings the address names up to date. False, with the error in *error, when it cannot be
    // opened.
    bool open(QString* error);
    // The open connection; invalid before open() succeeded.
    QSqlDatabase database() const;
    // The open connection's SQLite handle when the linked SQLite library made it (SqliteHandle);
    // null otherwise, and while none is open.
    sqlite3* handle() const { return m_pHandle; }
    const AddressNameCache& names() const { return m_Names; }
    // The statements kept on the open connection.
    StatementCache& statements() { return m_Statements; }
    // The code sets of names read through the open connection, emptied whenever the data may
    // have changed; null when its SQLite lacks json_each, which their statements need.
    KladrCodeSetCache* codeSets() { return m_bJson ? &m_CodeSets : nullptr; }
    // Closes the connection; the next open() opens one. After a failed statement: the file may be
    // damaged or replaced.
    void close();

private:
    // PRAGMA data_version of the open connection; -1 when it cannot be read.
    qint64 dataVersion();

    const QString m_ConnectionName;
    QString m_DatabaseFile;
    // The file the kept connection reads, as it was when opened; empty while none is open.
    QString m_OpenedFile;
    QByteArray m_OpenedIdentity;
    sqlite3* m_pHandle = nullptr;
    AddressNameCache m_Names;
    StatementCache m_Statements;
    KladrCodeSetCache m_CodeSets;
    bool m_bJson = false;
    // PRAGMA data_version when the names were last brought up to date; -1 for unknown.
    qint64 m_nNamesVersion = -1;
};
