// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchtestdatabase.h"

#include "schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

SearchTestDatabase::SearchTestDatabase(const QString& fileName, Indexes indexes)
    : m_FileName(fileName)
    , m_Connection(QStringLiteral("search-test-%1").arg(quintptr(this), 0, 16))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_Connection);
    db.setDatabaseName(fileName);
    if (!db.open()) {
        m_Error = db.lastError().text();
        return;
    }
    if (indexes == Existing)
        return;
    for (const char* create :
        { Schema::CreateKladr, Schema::CreateStreet, Schema::CreateDoma, Schema::CreateInfo })
        exec(QString::fromLatin1(create));
    if (indexes == AllIndexes) {
        for (const Schema::IndexStatement& index : Schema::Indexes)
            exec(QString::fromLatin1(index.create));
    }
}

SearchTestDatabase::~SearchTestDatabase()
{
    close();
}

void SearchTestDatabase::close()
{
    if (!QSqlDatabase::contains(m_Connection))
        return;
    QSqlDatabase::database(m_Connection, false).close();
    QSqlDatabase::removeDatabase(m_Connection);
}

void SearchTestDatabase::exec(const QString& statement)
{
    QSqlQuery query(QSqlDatabase::database(m_Connection, false));
    if (!query.exec(statement) && m_Error.isEmpty())
        m_Error = query.lastError().text() + QStringLiteral(" in ") + statement;
}

void SearchTestDatabase::addNameTables()
{
    for (const Schema::NameTableStatement& names : Schema::NameTables) {
        exec(QString::fromLatin1(names.create));
        exec(QString::fromLatin1(names.fill));
    }
}

void SearchTestDatabase::insert(const char* statement, const QVariantList& values)
{
    QSqlQuery query(QSqlDatabase::database(m_Connection, false));
    query.prepare(QString::fromLatin1(statement));
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec() && m_Error.isEmpty())
        m_Error = query.lastError().text();
}

void SearchTestDatabase::addLocality(const QString& name, const QString& scname, const QString& socr,
    const QString& code, const QString& index, const QString& codeSt)
{
    insert(Schema::InsertKladr,
        { name, name.toUpper(), socr, scname, code, code.mid(0, 2), code.mid(2, 3), code.mid(5, 3),
            code.mid(8, 3), codeSt, index, QStringLiteral("0") });
}

void SearchTestDatabase::addStreet(const QString& name, const QString& scname, const QString& socr,
    const QString& code, const QString& index)
{
    insert(Schema::InsertStreet,
        { name, name.toUpper(), socr, scname, code, code.left(11), QStringLiteral("00"), index });
}

void SearchTestDatabase::addHouses(const QString& name, const QString& streetCode, const QString& index)
{
    insert(Schema::InsertDoma, { name, streetCode.left(11), streetCode, QStringLiteral("00"), index });
}
