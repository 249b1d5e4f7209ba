// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the update tests: a database as the import leaves it, written straight with SQL.

#include "schema.h"

#include <QFile>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// This program's database as the import leaves it: the three tables with some rows, the seven
// indexes and, unless version is null, an info table. without: a table left out.
inline QByteArray makeDatabase(
    const QString& path, const QString& version, int rows, const QString& without = QString())
{
    const QString name = QStringLiteral("fixture-writer");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            return QByteArray();
        QSqlQuery query(db);
        const QPair<QString, const char*> tables[] = { { "KLADR", Schema::CreateKladr },
            { "STREET", Schema::CreateStreet }, { "DOMA", Schema::CreateDoma } };
        for (const auto& [table, create] : tables) {
            if (table != without)
                query.exec(QLatin1String(create));
        }
        for (const Schema::IndexStatement& index : Schema::Indexes)
            query.exec(QLatin1String(index.create));
        db.transaction();
        query.prepare(QLatin1String(Schema::InsertKladr));
        for (int i = 0; i < rows; ++i) {
            const QString row = QStringLiteral("Населённый пункт %1").arg(i);
            for (int column = 0; column < 12; ++column)
                query.bindValue(column, row);
            query.exec();
        }
        db.commit();
        if (!version.isNull()) {
            query.exec(QLatin1String(Schema::CreateInfo));
            query.exec(QStringLiteral("INSERT INTO info (version) VALUES('%1');").arg(version));
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return readAll(path);
}
