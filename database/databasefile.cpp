// SPDX-License-Identifier: GPL-3.0-or-later
#include "databasefile.h"

#include "databaselock.h"
#include "schema.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QString uniqueConnectionName(const char* purpose)
{
    static QAtomicInteger<quint32> counter;
    return QStringLiteral("velmora-%1-%2").arg(QLatin1String(purpose)).arg(++counter);
}

QStringList values(QSqlDatabase& db, const QString& sql, int column = 0)
{
    QStringList result;
    QSqlQuery query(db);
    if (query.exec(sql)) {
        while (query.next())
            result << query.value(column).toString();
    }
    return result;
}

QSet<QString> nameSet(const QStringList& names)
{
    return QSet<QString>(names.cbegin(), names.cend());
}

// The columns the import gives each table, read from its own CREATE TABLE statements.
QList<QPair<QString, QStringList>> expectedTables()
{
    static const QList<QPair<QString, QStringList>> tables = [] {
        QList<QPair<QString, QStringList>> result;
        const QString name = uniqueConnectionName("schema");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QStringLiteral(":memory:"));
            db.open();
            const QPair<const char*, const char*> statements[] = { { "KLADR", Schema::CreateKladr },
                { "STREET", Schema::CreateStreet }, { "DOMA", Schema::CreateDoma } };
            for (const auto& [table, create] : statements) {
                QSqlQuery(db).exec(QLatin1String(create));
                result << qMakePair(QString::fromLatin1(table),
                    values(db, QStringLiteral("PRAGMA table_info(%1)").arg(QLatin1String(table)), 1));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return result;
    }();
    return tables;
}

DatabaseFileCheck checkOpen(QSqlDatabase& db)
{
    DatabaseFileCheck check;
    const QStringList quick = values(db, QStringLiteral("PRAGMA quick_check"));
    if (quick != QStringList { QStringLiteral("ok") }) {
        check.problem = u("файл повреждён (PRAGMA quick_check: ")
            + (quick.isEmpty() ? u("не выполняется") : quick.mid(0, 3).join(QStringLiteral("; ")))
            + QLatin1Char(')');
        return check;
    }
    const QSet<QString> tables
        = nameSet(values(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")));
    for (const auto& [table, columns] : expectedTables()) {
        if (!tables.contains(table)) {
            check.problem = u("в нём нет таблицы ") + table;
            return check;
        }
        // Columns of the program's own beside these are allowed (derived data of a later version).
        const QSet<QString> present
            = nameSet(values(db, QStringLiteral("PRAGMA table_info(%1)").arg(table), 1));
        for (const QString& column : columns) {
            if (!present.contains(column)) {
                check.problem = u("в таблице ") + table + u(" нет столбца ") + column;
                return check;
            }
        }
    }
    const QSet<QString> indexes
        = nameSet(values(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index'")));
    for (const Schema::IndexStatement& index : Schema::Indexes) {
        if (!indexes.contains(QLatin1String(index.name))) {
            check.problem = u("в нём нет индекса ") + QLatin1String(index.name);
            return check;
        }
    }
    if (!tables.contains(QStringLiteral("info"))) {
        check.problem = u("в нём нет версии (таблицы info)");
        return check;
    }
    const QStringList versions = values(db, QLatin1String(Schema::SelectVersion));
    if (versions.isEmpty() || versions.first().isEmpty()) {
        check.problem = u("в нём нет версии (таблица info пуста)");
        return check;
    }
    check.version = versions.first();
    check.ok = true;
    return check;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

DatabaseFileCheck checkDatabaseFile(const QString& path)
{
    DatabaseFileCheck check;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            check.problem = u("файл не читается: ") + file.errorString();
            return check;
        }
        // Any SQLite database starts with these 16 bytes; an empty file would open as a new one.
        if (file.read(16) != QByteArray("SQLite format 3\0", 16)) {
            check.problem = u("это не база данных SQLite");
            return check;
        }
    }
    const QString name = uniqueConnectionName("check");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open())
            check.problem = u("база данных не открывается");
        else
            check = checkOpen(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return check;
}

bool syncFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool bOk = ::fsync(fd) == 0;
    ::close(fd);
    return bOk;
}

bool removeDatabaseFiles(const QString& path)
{
    bool removed = !QFileInfo::exists(path) || QFile::remove(path);
    for (const char* suffix : { "-journal", "-wal", "-shm" }) {
        const QString side = path + QLatin1String(suffix);
        if (QFileInfo::exists(side) && !QFile::remove(side))
            removed = false;
    }
    return removed;
}

bool replaceDatabaseFile(const DatabaseLock& lock, const QString& newFile, QString& error)
{
    const QString target = lock.databaseFile();
    if (!lock.isLocked()) {
        error = u("База данных '") + target + u("' не заблокирована; замена отменена.");
        return false;
    }
    if (!syncFile(newFile)) {
        error = u("Не удалось записать на диск файл '") + newFile + u("': ") + systemError();
        return false;
    }
    for (const char* suffix : { "-journal", "-wal", "-shm" }) {
        const QString companion = target + QLatin1String(suffix);
        if (QFileInfo::exists(companion) && !QFile::remove(companion)) {
            error = u("Не удалось удалить файл '") + companion
                + u("', оставшийся от прерванной записи в базу данных; замена отменена.");
            return false;
        }
    }
    // rename() replaces the target in one step; QFile::rename would refuse an existing target.
    if (std::rename(QFile::encodeName(newFile).constData(), QFile::encodeName(target).constData()) != 0) {
        error = u("Не удалось заменить файл '") + target + u("': ") + systemError();
        return false;
    }
    syncFile(QFileInfo(target).absolutePath());
    return true;
}
