// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the import tests: a host that records the status log, and writers for the
// classifier files of a test.

#include "dbfwriter.h"
#include "kladrsample.h"
#include "recordinghost.h"
#include "schema.h"
#include "threaddatabasecreate.h"
#include "workerhost.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

namespace Fixture {

using Rows = QList<QStringList>;

inline QString socrbasePath()
{
    return QStringLiteral(VELMORA_SOCRBASE_DBF);
}

// SOCRBASE.DBF layout: LEVEL C5, SCNAME C10, SOCRNAME C29, KOD_T_ST C3.
inline bool writeSocrbase(const QString& path, const Rows& rows)
{
    DbfWriter writer;
    if (!writer.open(path, { { "LEVEL", 5 }, { "SCNAME", 10 }, { "SOCRNAME", 29 }, { "KOD_T_ST", 3 } }))
        return false;
    for (const QStringList& row : rows)
        writer.append(row);
    return writer.close();
}

inline bool writeTable(
    const QString& path, KladrSample::Table table, const Rows& rows, const QList<bool>& deleted = {})
{
    DbfWriter writer;
    if (!writer.open(path, KladrSample::fields(table)))
        return false;
    for (int i = 0; i < rows.size(); ++i)
        writer.append(rows.at(i), deleted.value(i, false));
    return writer.close();
}

inline QString base(const QString& localDbDir, const QString& file)
{
    return localDbDir + QStringLiteral("/BASE/") + file;
}

// Every row of a table in insertion order, each as its column texts (NULL shows as "<NULL>").
inline Rows tableRows(const QString& databasePath, const QString& table)
{
    Rows rows;
    const QString name = QStringLiteral("fixture-read");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table))) {
                while (query.next()) {
                    QStringList row;
                    for (int i = 0; i < query.record().count(); ++i)
                        row << (query.value(i).isNull() ? QStringLiteral("<NULL>")
                                                        : query.value(i).toString());
                    rows << row;
                }
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

inline QStringList sqlValues(const QString& databasePath, const QString& sql)
{
    QStringList values;
    const QString name = QStringLiteral("fixture-sql");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql)) {
                while (query.next())
                    values << query.value(0).toString();
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return values;
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace Fixture
