// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchconnection.h"

#include "paths.h"
#include "searchlog.h"
#include "sqlitehandle.h"
#include "sqliterows.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

SearchConnection::SearchConnection(const QString& connectionName)
    : m_ConnectionName(connectionName)
{
}

SearchConnection::~SearchConnection()
{
    close();
}

QSqlDatabase SearchConnection::database() const
{
    if (m_OpenedFile.isEmpty())
        return QSqlDatabase();
    return QSqlDatabase::database(m_ConnectionName, false);
}

bool SearchConnection::open(QString* error)
{
    if (m_DatabaseFile.isEmpty()) {
        close();
        *error = QStringLiteral("не задан файл базы данных");
        return false;
    }
    const QByteArray identity = Paths::fileIdentity(m_DatabaseFile);
    if (!identity.isEmpty() && m_OpenedFile == m_DatabaseFile && m_OpenedIdentity == identity) {
        QSqlDatabase db = QSqlDatabase::database(m_ConnectionName, false);
        if (db.isOpen()) {
            // The same file on the same connection: only a commit by another connection (an
            // import writing into it) can have changed the names, and that changes the data
            // version. Checked this way, a search costs one prepared statement instead of the
            // names' file stamp.
            const qint64 version = dataVersion();
            if (version < 0 || version != m_nNamesVersion) {
                m_Names.refresh(db);
                m_CodeSets.clear();
                m_nNamesVersion = version;
            }
            return true;
        }
    }
    close();

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_ConnectionName);
    db.setDatabaseName(m_DatabaseFile);
    // The search only reads; read-only also keeps a missing file from being created empty.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    m_pHandle = SqliteHandle::open(db);
    if (!db.isOpen()) {
        *error = db.lastError().text();
        qCDebug(lcSearch) << db.lastError();
        db = QSqlDatabase();
        close();
        return false;
    }
    QSqlQuery query(db);
    // Both sides of every LIKE are upper-cased already, so case-sensitive matching returns the
    // same rows, and it lets SQLite use the name_upper indexes for prefix masks.
    if (!query.exec(QStringLiteral("PRAGMA case_sensitive_like=ON")))
        qCDebug(lcSearch) << query.lastError();
    // Pages come straight from the system's cache through the mapping instead of one read call
    // each, and stay mapped for the searches that follow.
    if (!query.exec(QStringLiteral("PRAGMA mmap_size=1073741824")))
        qCDebug(lcSearch) << query.lastError();
    m_bJson = query.exec(QStringLiteral("SELECT value FROM json_each('[]')"));
    m_OpenedFile = m_DatabaseFile;
    m_OpenedIdentity = identity;
    m_Statements.setDatabase(db, m_pHandle);
    m_nNamesVersion = dataVersion();
    m_Names.refresh(db);
    return true;
}

qint64 SearchConnection::dataVersion()
{
    QSqlError error;
    if (const std::shared_ptr<SqliteRows> rows
        = m_Statements.rows(QStringLiteral("PRAGMA data_version"), &error)) {
        if (!rows->exec() || !rows->next()) {
            qCDebug(lcSearch) << "No data version:" << rows->lastError();
            return -1;
        }
        const qint64 version = rows->value(0).toLongLong();
        rows->finish();
        return version;
    }
    QSqlQuery* query = m_Statements.exec(QStringLiteral("PRAGMA data_version"), {}, &error);
    if (!query || !query->next()) {
        qCDebug(lcSearch) << "No data version:" << error;
        return -1;
    }
    const qint64 version = query->value(0).toLongLong();
    query->finish();
    return version;
}

void SearchConnection::close()
{
    m_OpenedFile.clear();
    m_OpenedIdentity.clear();
    m_pHandle = nullptr;
    m_nNamesVersion = -1;
    m_CodeSets.clear();
    m_bJson = false;
    // Its statements end before the connection does.
    m_Statements.clear();
    // Removing it closes it.
    if (QSqlDatabase::contains(m_ConnectionName))
        QSqlDatabase::removeDatabase(m_ConnectionName);
}
