// SPDX-License-Identifier: GPL-3.0-or-later
#include "databaseupdate.h"

#include "schema.h"
#include "settings.h"
#include "workerhost.h"

#include <QCoreApplication>
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

} // namespace

DatabaseUpdate::DatabaseUpdate(
    WorkerHost* host, const QString& appDir, const QString& localDbDir, const QString& connectionName)
    : m_pHost(host)
    , m_AppDir(appDir)
    , m_LocalDbDir(localDbDir)
    , m_ConnectionName(connectionName)
{
}

QString DatabaseUpdate::localDatabaseFile() const
{
    return m_LocalDbDir + QLatin1Char('/') + QLatin1String(Schema::DatabaseFileName);
}

bool DatabaseUpdate::isZipType(const QString& fileType)
{
    return Settings::isZipType(fileType);
}

void DatabaseUpdate::log(const QString& text)
{
    m_pHost->addState(text, false);
}

void DatabaseUpdate::checkDatabaseVersion()
{
    log(QStringLiteral("Проверяем актуальность базы данных..."));

    const Settings::UpdateLocation location = Settings::readUpdateLocation(m_AppDir, m_LocalDbDir);
    {
        QFile descriptorFile(location.descriptorPath);
        if (!descriptorFile.open(QIODevice::ReadOnly) || !QFileInfo(location.descriptorPath).isReadable()) {
            log(quoted(QStringLiteral("Не могу прочесть файл обновлений '"), location.descriptorPath,
                QStringLiteral("'. Обновление невозможно. Обратитесь к своему администратору.")));
            return;
        }
    }

    const Settings::UpdateDescriptor descriptor
        = Settings::readDescriptor(location.descriptorPath, location.updatePath);
    if (descriptor.version.isEmpty()) {
        log(QStringLiteral("Обновления базы не найдены."));
        return;
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
                return;
            if (query.first())
                localVersion = query.value(0).toString();
        }
        if (localVersion == descriptor.version) {
            log(QStringLiteral("База данных актуальна. Обновление не требуется."));
            return;
        }
        log(QStringLiteral(
            "На сервере обновлений найдена другая версия базы данных. Приступаем к обновлению."));
    } else {
        log(QStringLiteral("Локальная база данных не найдена или некорректна. Необходимо обновление."));
    }

    switch (install(descriptor.filePath, descriptor.isZip)) {
    case Outcome::Installed:
        log(QStringLiteral("База данных успешно обновлена."));
        break;
    case Outcome::Failed:
        log(quoted(QStringLiteral("Не могу прочесть файл обновленной базы данных '"), descriptor.filePath));
        break;
    case Outcome::Skipped:
        break;
    }
}

bool DatabaseUpdate::installUpdate(const QString& offeredFile, bool bZip)
{
    return install(offeredFile, bZip) == Outcome::Installed;
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

DatabaseUpdate::Outcome DatabaseUpdate::install(const QString& offeredFile, bool bZip)
{
    ensureLocalDirectory();

    const QString target = localDatabaseFile();
    const QString copyTarget = bZip ? target + QStringLiteral(".zip") : target;

    QFile source(offeredFile);
    if (!source.open(QIODevice::ReadOnly) || !QFileInfo(offeredFile).isReadable())
        return Outcome::Failed;

    if (commonFile(offeredFile, copyTarget, bZip))
        return Outcome::Skipped;

    QSqlDatabase db = QSqlDatabase::database(m_ConnectionName, false);
    db.close();

    // Written beside the target and renamed over it on commit: until then the old file stays.
    QSaveFile copy(copyTarget);
    if (!copy.open(QIODevice::WriteOnly)) {
        log(quoted(QStringLiteral("Не могу открыть файл локальной базы данных для записи '"), copyTarget));
        m_pHost->setVisible(false);
        return Outcome::Failed;
    }

    m_pHost->updateText(QStringLiteral("Загрузка обновлений: "));
    m_pHost->setVisible(true);
    const qint64 size = source.size();
    m_pHost->updateProgress(0, progressMaximum(size));

    bool bOk = copyInChunks(source, copy) == size;
    if (m_bStopped) {
        copy.cancelWriting();
        db.open();
        m_pHost->setVisible(false);
        return Outcome::Skipped;
    }
    if (!bOk) {
        // A read error or a source that ended early is reported by the caller as unreadable.
        if (copy.error() != QFileDevice::NoError)
            log(quoted(QStringLiteral("Ошибка записи файла локальной базы данных '"), copyTarget));
        copy.cancelWriting();
    } else if (!copy.commit()) {
        log(quoted(QStringLiteral("Ошибка записи файла локальной базы данных '"), copyTarget));
        bOk = false;
    }

    if (bOk && bZip)
        bOk = unpack(offeredFile, target);

    db.open();
    source.close();
    m_pHost->setVisible(false);
    if (m_bStopped)
        return Outcome::Skipped;
    return bOk ? Outcome::Installed : Outcome::Failed;
}

bool DatabaseUpdate::unpack(const QString& archivePath, const QString& target)
{
    m_pHost->updateText(QStringLiteral("Распаковка архива: "));
    m_pHost->updateProgress(0, 1);
    log(QStringLiteral("Загружен ZIP-архив базы данных. Необходима распаковка."));

    // The archive at the update location is unpacked, not the local copy.
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

    QuaZipFile entry(&archive);
    const qint64 size = entry.usize();
    m_pHost->updateProgress(0, progressMaximum(size));
    if (!entry.open(QIODevice::ReadOnly)) {
        log(withCode(QStringLiteral("Не могу открыть файл в архиве. Код ошибки: "), entry.getZipError()));
        archive.close();
        return false;
    }

    bool bOk = false;
    QSaveFile unpacked(target);
    if (!unpacked.open(QIODevice::WriteOnly)) {
        log(quoted(QStringLiteral("Не могу открыть файл локальной базы данных для записи '"), target));
        entry.close();
    } else {
        const qint64 copied = copyInChunks(entry, unpacked);
        const int readError = entry.getZipError();
        // Closing an entry read to its end checks the CRC.
        entry.close();
        const int closeError = entry.getZipError();
        const int error = readError != UNZ_OK ? readError : closeError;

        if (m_bStopped) {
            // The program is ending: nobody reads the log any more.
        } else if (unpacked.error() != QFileDevice::NoError)
            log(quoted(QStringLiteral("Ошибка записи файла локальной базы данных '"), target));
        else if (error != UNZ_OK)
            log(withCode(QStringLiteral("Ошибка чтения файла в архиве. Код ошибки: "), error));
        else if (copied != size)
            log(QStringLiteral("Файл в архиве прочитан не полностью: %1 байт из %2.").arg(copied).arg(size));
        else if (!unpacked.commit())
            log(quoted(QStringLiteral("Ошибка записи файла локальной базы данных '"), target));
        else
            bOk = true;
        if (!bOk)
            unpacked.cancelWriting();
    }
    archive.close();
    return bOk;
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
        // The copy runs in the GUI thread; this keeps the window painting and the log growing.
        QCoreApplication::processEvents();
        // The window was closed meanwhile: the program is ending, the copy goes no further.
        if (m_pHost->stopRequested()) {
            m_bStopped = true;
            return -1;
        }
        ++nChunk;
    } while (read == ChunkSize);
    return total;
}
