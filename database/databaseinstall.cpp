// SPDX-License-Identifier: GPL-3.0-or-later
#include "databaseinstall.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

const char* const SideFiles[] = { "-journal", "-wal", "-shm" };

bool syncPath(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// Opening the old database and reading it lets SQLite roll back a hot journal or check a
// write-ahead log into the file, after which it deletes them; left alone, they would be
// applied to the new file that takes the old one's name.
void settleOldDatabase(const QString& path)
{
    const QString name = QStringLiteral("velmora-install-settle");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open())
            QSqlQuery(db).exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

bool installDatabaseFile(const QString& builtPath, const QString& targetPath, QString* error)
{
    QStringList stale;
    for (const char* suffix : SideFiles) {
        if (QFileInfo::exists(targetPath + QLatin1String(suffix)))
            stale << targetPath + QLatin1String(suffix);
    }
    if (!stale.isEmpty() && QFileInfo::exists(targetPath)) {
        settleOldDatabase(targetPath);
        stale.clear();
        for (const char* suffix : { "-journal", "-wal" }) {
            if (QFileInfo::exists(targetPath + QLatin1String(suffix)))
                stale << targetPath + QLatin1String(suffix);
        }
    } else if (!stale.isEmpty()) {
        // No database for them to belong to: they can only be left over.
        for (const QString& path : qAsConst(stale))
            QFile::remove(path);
        stale.clear();
    }
    if (!stale.isEmpty()) {
        *error = u("Рядом с базой данных '") + targetPath + u("' остались файлы '")
            + stale.join(QStringLiteral("', '"))
            + u("', которые SQLite не смог завершить (базу данных держит открытой другая программа?). "
                "Новая база данных не установлена; прежняя не изменена.");
        return false;
    }
    if (!syncPath(builtPath, O_RDONLY)) {
        *error = u("Не удалось записать на диск новую базу данных '") + builtPath
            + u("'. Прежняя база данных не изменена.");
        return false;
    }
    // rename() replaces the old file in one step: a reader sees the old database or the new.
    if (std::rename(QFile::encodeName(builtPath).constData(), QFile::encodeName(targetPath).constData())
        != 0) {
        *error = u("Не удалось заменить базу данных '") + targetPath + u("' новой '") + builtPath
            + u("'. Прежняя база данных не изменена.");
        return false;
    }
    syncPath(QFileInfo(targetPath).absolutePath(), O_RDONLY | O_DIRECTORY);
    return true;
}

bool removeDatabaseFiles(const QString& path)
{
    bool removed = !QFileInfo::exists(path) || QFile::remove(path);
    for (const char* suffix : SideFiles) {
        const QString side = path + QLatin1String(suffix);
        if (QFileInfo::exists(side) && !QFile::remove(side))
            removed = false;
    }
    return removed;
}
