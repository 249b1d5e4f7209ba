// SPDX-License-Identifier: GPL-3.0-or-later
#include "databaselock.h"

#include "paths.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

namespace {

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

DatabaseLock::DatabaseLock(const QString& databaseFile)
    : m_DatabaseFile(databaseFile)
    , m_Lock(Paths::lockFile(databaseFile))
{
    // An import takes minutes at full size: a readable lock is stale only when its process is gone.
    m_Lock.setStaleLockTime(0);
}

QString DatabaseLock::lockFile() const
{
    return Paths::lockFile(m_DatabaseFile);
}

DatabaseLock::Result DatabaseLock::acquire(int nTimeout)
{
    m_Message.clear();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (m_Lock.tryLock(0))
            return Result::Locked;
        switch (m_Lock.error()) {
        case QLockFile::PermissionError:
            m_Message = u("Нет права создать файл блокировки '") + lockFile()
                + u("': каталог локальной базы данных недоступен для записи.");
            return Result::NotWritable;
        case QLockFile::UnknownError:
            if (!QFileInfo(QFileInfo(lockFile()).absolutePath()).isDir()) {
                m_Message = u("Каталог локальной базы данных '") + QFileInfo(lockFile()).absolutePath()
                    + u("' не существует.");
                return Result::NotWritable;
            }
            // QLockFile removes a lock file it could not fill (a full disk).
            m_Message = u("Не удалось создать файл блокировки '") + lockFile()
                + u("' (нет места на диске?). База данных не изменена.");
            return Result::Failed;
        case QLockFile::LockFailedError:
        case QLockFile::NoError:
            break;
        }
        if (takeOverUnreadable())
            continue;
        if (clock.elapsed() >= nTimeout)
            break;
        QThread::msleep(50);
    }
    m_Message = busyMessage();
    return Result::Busy;
}

// QLockFile leaves a lock it cannot read to its age, which it does not look at with a stale
// time of 0: such a lock would block the database for good.
bool DatabaseLock::takeOverUnreadable()
{
    qint64 pid = 0;
    QString host;
    QString program;
    if (m_Lock.getLockInfo(&pid, &host, &program))
        return false;
    const QFileInfo info(lockFile());
    if (!info.exists())
        return true;
    const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTime());
    return age > UnreadableStaleAfter && m_Lock.removeStaleLockFile();
}

QString DatabaseLock::busyMessage()
{
    qint64 pid = 0;
    QString host;
    QString program;
    if (!m_Lock.getLockInfo(&pid, &host, &program)) {
        return u("Базу данных '") + m_DatabaseFile + u("' сейчас изменяет другой процесс (файл блокировки '")
            + lockFile() + u("'). Дождитесь его окончания и повторите.");
    }
    if (!host.isEmpty() && host != QSysInfo::machineHostName()) {
        return u("Базу данных '") + m_DatabaseFile
            + u("' заблокировал процесс %1 (pid %2) на компьютере '").arg(program).arg(pid) + host
            + u("'. Если там он уже не работает, удалите файл блокировки '") + lockFile()
            + u("' и повторите.");
    }
    return u("Базу данных '") + m_DatabaseFile
        + u("' сейчас изменяет другой процесс (%1, pid %2): импорт "
            "или установка обновления. Дождитесь его окончания и повторите.")
              .arg(program)
              .arg(pid);
}
