// SPDX-License-Identifier: GPL-3.0-or-later
#include "databaseupdate.h"

#include "databasefile.h"
#include "databaselock.h"
#include "paths.h"
#include "schema.h"
#include "settings.h"
#include "workerhost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlQuery>
#include <QStringList>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace {

QString quoted(const QString& prefix, const QString& path, const QString& suffix = QStringLiteral("'"))
{
    return prefix + path + suffix;
}

QString withCode(const QString& prefix, int code)
{
    return prefix + QString::number(code);
}

int progressMaximum(qint64 size)
{
    return static_cast<int>(size / DatabaseUpdate::ChunkSize);
}

// Empty for a file that does not exist, which then matches nothing.
QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

bool sameExistingFile(const QString& a, const QString& b)
{
    const QString canonicalA = canonical(a);
    return !canonicalA.isEmpty() && canonicalA == canonical(b);
}

QString cannotWrite(const QString& path)
{
    return quoted(QStringLiteral("Не могу открыть файл локальной базы данных для записи '"), path);
}

QString writeFailed(const QString& path)
{
    return quoted(QStringLiteral("Ошибка записи файла локальной базы данных '"), path);
}

} // namespace

DatabaseUpdate::DatabaseUpdate(
    WorkerHost* host, const QString& appDir, const QString& localDbDir, const QString& connectionName)
    : m_pHost(host)
    , m_AppDir(appDir)
    , m_LocalDbDir(localDbDir)
    , m_ConnectionName(connectionName)
    , m_nLockTimeout(DatabaseLock::DefaultTimeout)
{
}

QString DatabaseUpdate::localDatabaseFile() const
{
    return Paths::databaseFile(m_LocalDbDir);
}

QString DatabaseUpdate::newDatabaseFile() const
{
    return localDatabaseFile() + QStringLiteral(".new");
}

void DatabaseUpdate::log(const QString& text)
{
    m_pHost->addState(text, false);
}

DatabaseUpdate::Outcome DatabaseUpdate::checkDatabaseVersion()
{
    const QString target = localDatabaseFile();
    const bool bExisted = QFileInfo::exists(target);
    const Outcome outcome = check();
    // Opening the connection on a missing file makes it, empty; left behind, it would pass for a
    // database that lacks its tables.
    if (!bExisted && outcome != Outcome::Installed && QFileInfo(target).isFile()
        && QFileInfo(target).size() == 0) {
        QSqlDatabase::database(m_ConnectionName, false).close();
        QFile::remove(target);
    }
    return outcome;
}

DatabaseUpdate::Outcome DatabaseUpdate::check()
{
    log(QStringLiteral("Проверяем актуальность базы данных..."));

    const Settings::UpdateLocation location = Settings::readUpdateLocation(m_AppDir, m_LocalDbDir);
    // Without an update location (the installed package's settings) there is nothing to
    // report as an error: the database comes from the import.
    if (!location.configured && !QFileInfo::exists(location.descriptorPath)) {
        log(QStringLiteral("Обновление базы данных из общего каталога выключено: в файле '")
            + Paths::join(m_AppDir, QLatin1String(Settings::SettingsFileName))
            + QStringLiteral("' не указан каталог обновлений. Чтобы включить его, укажите каталог в "
                             "параметре UpdatePath раздела [Updater]."));
        return Outcome::NotConfigured;
    }
    {
        QFile descriptorFile(location.descriptorPath);
        if (!descriptorFile.open(QIODevice::ReadOnly) || !QFileInfo(location.descriptorPath).isReadable()) {
            log(quoted(QStringLiteral("Не могу прочесть файл обновлений '"), location.descriptorPath,
                QStringLiteral("'. Обновление невозможно. Обратитесь к своему администратору.")));
            return Outcome::NoDescriptor;
        }
    }

    const Settings::UpdateDescriptor descriptor
        = Settings::readDescriptor(location.descriptorPath, location.updatePath);
    if (descriptor.version.isEmpty()) {
        log(QStringLiteral("Обновления базы не найдены."));
        return Outcome::NothingOffered;
    }

    QSqlDatabase db = QSqlDatabase::database(m_ConnectionName, false);
    if (!db.open()) {
        log(QStringLiteral("Не могу открыть локальную базу данных. Попытка принудительного обновления..."));
    } else if (db.tables(QSql::Tables).contains(QStringLiteral("info"))) {
        QString localVersion;
        {
            QSqlQuery query(db);
            // A database whose version cannot be read is left alone; the import's check sorts it out.
            if (!query.exec(QLatin1String(Schema::SelectVersion)))
                return Outcome::VersionUnreadable;
            if (query.first())
                localVersion = query.value(0).toString();
        }
        if (localVersion == descriptor.version) {
            log(QStringLiteral("База данных актуальна. Обновление не требуется."));
            return Outcome::Current;
        }
        log(QStringLiteral(
            "На сервере обновлений найдена другая версия базы данных. Приступаем к обновлению."));
    } else {
        log(QStringLiteral("Локальная база данных не найдена или некорректна. Необходимо обновление."));
    }

    const Outcome outcome = install(descriptor.filePath, descriptor.isZip, descriptor.version);
    switch (outcome) {
    case Outcome::Installed:
        log(QStringLiteral("База данных успешно обновлена."));
        break;
    case Outcome::Failed:
        log(quoted(QStringLiteral("Не могу прочесть файл обновленной базы данных '"), descriptor.filePath));
        break;
    default:
        break;
    }
    return outcome;
}

void DatabaseUpdate::ensureLocalDirectory()
{
    if (QDir(m_LocalDbDir).exists())
        return;
    log(quoted(QStringLiteral("Каталог хранения локальной базы данных не существует: '"), m_LocalDbDir));
    if (QDir().mkpath(m_LocalDbDir))
        log(quoted(QStringLiteral("Каталог хранения локальной базы данных: '"), m_LocalDbDir,
            QStringLiteral("' успешно создан.")));
    else
        log(quoted(
            QStringLiteral("Не удалось создать каталог хранения локальной базы данных: '"), m_LocalDbDir));
}

// Settings written by the import ("./" and "KLADR.sqlite") make the offered file the local
// database itself when the program runs in its database directory; an archive offered as
// KLADR.sqlite.zip in that directory is the copy target. Copying such a file onto itself
// gains nothing, so the install is skipped.
bool DatabaseUpdate::commonFile(const QString& offeredFile, const QString& copyTarget, bool bZip)
{
    const QString target = localDatabaseFile();
    QStringList clashes;
    if (sameExistingFile(offeredFile, target))
        clashes << offeredFile << target;
    else if (bZip && sameExistingFile(offeredFile, copyTarget))
        clashes << offeredFile << copyTarget;
    else if (bZip && sameExistingFile(copyTarget, target))
        clashes << copyTarget << target;
    if (clashes.isEmpty())
        return false;
    log(QStringLiteral("Файл '%1' совпадает с файлом '%2' в каталоге локальной базы данных. "
                       "Обновление пропущено, локальная база данных не изменена.")
            .arg(clashes.at(0), clashes.at(1)));
    return true;
}

DatabaseUpdate::Outcome DatabaseUpdate::install(const QString& offeredFile, bool bZip, const QString& version)
{
    ensureLocalDirectory();
    m_OfferedFile = offeredFile;

    const QString target = localDatabaseFile();
    const QString copyTarget = bZip ? target + QStringLiteral(".zip") : target;

    QFile source(offeredFile);
    if (!source.open(QIODevice::ReadOnly) || !QFileInfo(offeredFile).isReadable())
        return Outcome::Failed;

    if (commonFile(offeredFile, copyTarget, bZip))
        return Outcome::Skipped;

    // The import takes the same lock before it opens the database: neither writes beside the other.
    DatabaseLock lock(target);
    switch (lock.acquire(m_nLockTimeout)) {
    case DatabaseLock::Result::Locked:
        break;
    case DatabaseLock::Result::NotWritable:
        log(cannotWrite(copyTarget));
        return Outcome::Failed;
    case DatabaseLock::Result::Busy:
    case DatabaseLock::Result::Failed:
        log(lock.message());
        log(QStringLiteral("Обновление не выполнено, локальная база данных не изменена."));
        return Outcome::Busy;
    }

    QSqlDatabase db = QSqlDatabase::database(m_ConnectionName, false);
    db.close();
    m_bLeaveClosed = false;

    Outcome outcome = copyAndCheck(source, bZip, version);
    if (outcome == Outcome::Installed) {
        QString error;
        if (!replaceDatabaseFile(lock, newDatabaseFile(), error)) {
            log(error);
            outcome = Outcome::Refused;
        }
    }
    QFile::remove(newDatabaseFile());
    lock.unlock();
    // A copy target that cannot be opened leaves the connection closed; so does a missing file,
    // which opening would create empty.
    if (!m_bLeaveClosed && QFileInfo::exists(target))
        db.open();
    m_pHost->setVisible(false);
    return outcome;
}

DatabaseUpdate::Outcome DatabaseUpdate::copyAndCheck(QIODevice& source, bool bZip, const QString& version)
{
    const QString archiveCopy = localDatabaseFile() + QStringLiteral(".zip");
    const bool bCopied = bZip ? copyArchive(source, archiveCopy) : copyPlain(source);
    if (m_bStopped)
        return Outcome::Skipped;
    if (!bCopied)
        return Outcome::Failed;
    // The local copy is unpacked: the share is read once.
    m_bRefused = false;
    if (bZip && !unpack(archiveCopy, newDatabaseFile()))
        return m_bStopped ? Outcome::Skipped : m_bRefused ? Outcome::Refused : Outcome::Failed;
    return checkNewFile(version) ? Outcome::Installed : Outcome::Refused;
}

void DatabaseUpdate::showCopyProgress(qint64 size)
{
    m_pHost->updateText(QStringLiteral("Загрузка обновлений: "));
    m_pHost->setVisible(true);
    m_pHost->updateProgress(0, progressMaximum(size));
}

bool DatabaseUpdate::copyPlain(QIODevice& source)
{
    QFile copy(newDatabaseFile());
    if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        log(cannotWrite(localDatabaseFile()));
        m_bLeaveClosed = true;
        return false;
    }
    const qint64 size = source.size();
    showCopyProgress(size);
    // A read error or a source that ended early is reported by the caller as unreadable.
    if (copyInChunks(source, copy) != size) {
        if (copy.error() != QFileDevice::NoError && !m_bStopped)
            log(writeFailed(localDatabaseFile()));
        return false;
    }
    if (!copy.flush()) {
        log(writeFailed(localDatabaseFile()));
        return false;
    }
    return true;
}

bool DatabaseUpdate::copyArchive(QIODevice& source, const QString& archiveCopy)
{
    // Written beside and renamed on commit: until then an earlier copy stays.
    QSaveFile copy(archiveCopy);
    if (!copy.open(QIODevice::WriteOnly)) {
        log(cannotWrite(archiveCopy));
        m_bLeaveClosed = true;
        return false;
    }
    const qint64 size = source.size();
    showCopyProgress(size);
    if (copyInChunks(source, copy) != size) {
        if (copy.error() != QFileDevice::NoError && !m_bStopped)
            log(writeFailed(archiveCopy));
        copy.cancelWriting();
        return false;
    }
    if (!copy.commit()) {
        log(writeFailed(archiveCopy));
        return false;
    }
    return true;
}

bool DatabaseUpdate::unpack(const QString& archivePath, const QString& target)
{
    m_pHost->updateText(QStringLiteral("Распаковка архива: "));
    m_pHost->updateProgress(0, 1);
    log(QStringLiteral("Загружен ZIP-архив базы данных. Необходима распаковка."));

    QuaZip archive(archivePath);
    if (!archive.open(QuaZip::mdUnzip)) {
        log(withCode(QStringLiteral("Проблема открытия архива. Код ошибки: "), archive.getZipError()));
        return false;
    }
    if (!archive.goToFirstFile()) {
        log(withCode(
            QStringLiteral("Не могу найти первый файл в архиве. Код ошибки: "), archive.getZipError()));
        archive.close();
        return false;
    }
    // Any other entry would be a guess at which one is the database.
    if (archive.getEntriesCount() != 1) {
        log(QStringLiteral(
            "Файл обновления '%1' не установлен: в архиве файлов: %2, а должен быть ровно один "
            "— файл базы данных. Локальная база данных не изменена.")
                .arg(m_OfferedFile)
                .arg(archive.getEntriesCount()));
        archive.close();
        m_bRefused = true;
        return false;
    }

    QuaZipFile entry(&archive);
    const qint64 size = entry.usize();
    m_pHost->updateProgress(0, progressMaximum(size));
    if (!entry.open(QIODevice::ReadOnly)) {
        log(withCode(QStringLiteral("Не могу открыть файл в архиве. Код ошибки: "), entry.getZipError()));
        archive.close();
        return false;
    }

    bool bOk = false;
    QFile unpacked(target);
    if (!unpacked.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        log(cannotWrite(localDatabaseFile()));
        entry.close();
    } else {
        const qint64 copied = copyInChunks(entry, unpacked);
        const int readError = entry.getZipError();
        // Closing an entry read to its end checks the CRC.
        entry.close();
        const int closeError = entry.getZipError();
        const int error = readError != UNZ_OK ? readError : closeError;
        const bool bWritten = unpacked.flush();

        if (m_bStopped) {
            // Whoever runs the check is ending: nobody reads the log any more.
        } else if (!bWritten || unpacked.error() != QFileDevice::NoError)
            log(writeFailed(localDatabaseFile()));
        else if (error != UNZ_OK)
            log(withCode(QStringLiteral("Ошибка чтения файла в архиве. Код ошибки: "), error));
        else if (copied != size)
            log(QStringLiteral("Файл в архиве прочитан не полностью: %1 байт из %2.").arg(copied).arg(size));
        else
            bOk = true;
    }
    archive.close();
    return bOk;
}

bool DatabaseUpdate::checkNewFile(const QString& version)
{
    m_pHost->updateText(QStringLiteral("Проверка базы данных: "));
    const DatabaseFileCheck check = checkDatabaseFile(newDatabaseFile());
    QString problem = check.problem;
    if (check.ok && check.version != version)
        problem
            = QStringLiteral("его версия '%1' не совпадает с версией '%2', объявленной в файле обновлений")
                  .arg(check.version, version);
    if (problem.isEmpty())
        return true;
    log(QStringLiteral("Файл обновления '%1' не установлен: %2. Локальная база данных не изменена.")
            .arg(m_OfferedFile, problem));
    return false;
}

qint64 DatabaseUpdate::copyInChunks(QIODevice& source, QIODevice& destination)
{
    QByteArray buffer(static_cast<int>(ChunkSize), Qt::Uninitialized);
    qint64 total = 0;
    qint64 read = 0;
    int nChunk = 0;
    do {
        read = source.read(buffer.data(), ChunkSize);
        if (read < 0 || destination.write(buffer.constData(), read) != read)
            return -1;
        total += read;
        m_pHost->updateProgress(nChunk, -1);
        if (m_ChunkHook)
            m_ChunkHook(nChunk);
        // Whoever runs the check is ending (the window closed): the copy goes no further.
        if (m_pHost->stopRequested()) {
            m_bStopped = true;
            return -1;
        }
        ++nChunk;
    } while (read == ChunkSize);
    return total;
}
