// SPDX-License-Identifier: GPL-3.0-or-later
#include "updatepublisher.h"

#include "databasefile.h"
#include "databaselock.h"
#include "paths.h"
#include "schema.h"
#include "settings.h"
#include "workerhost.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <cstdio>

namespace {

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Names of the published databases; only these are ever removed from the update location.
const QString PublishedPrefix = QStringLiteral("KLADR-");

bool stampVersion(const QString& path, const QString& version)
{
    const QString name = QStringLiteral("velmora-publish-stamp");
    bool bOk = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("PRAGMA synchronous=FULL"));
            query.prepare(QStringLiteral("UPDATE info SET version = ?"));
            query.addBindValue(version);
            bOk = query.exec() && query.numRowsAffected() > 0;
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return bOk;
}

} // namespace

UpdatePublisher::UpdatePublisher(WorkerHost* host)
    : m_pHost(host)
    , m_nLockTimeout(DatabaseLock::DefaultTimeout)
{
}

void UpdatePublisher::log(const QString& text)
{
    m_pHost->addState(text, false);
}

void UpdatePublisher::step(Step s)
{
    if (m_StepHook)
        m_StepHook(s);
}

bool UpdatePublisher::publish(
    const QString& sourceDir, const QString& updateDir, bool bZip, const QString& version)
{
    m_bAlreadyOffered = false;
    const QString source = Paths::databaseFile(sourceDir);
    if (!QFileInfo(source).isFile()) {
        log(u("Нет базы данных '") + source + u("': публиковать нечего."));
        return false;
    }
    // No import may write the source while it is copied.
    DatabaseLock lock(source);
    const DatabaseLock::Result locked = lock.acquire(m_nLockTimeout);
    if (locked == DatabaseLock::Result::Busy || locked == DatabaseLock::Result::Failed) {
        log(lock.message());
        return false;
    }
    const DatabaseFileCheck check = checkDatabaseFile(source);
    if (!check.ok) {
        log(u("База данных '") + source + u("' не опубликована: ") + check.problem + QLatin1Char('.'));
        return false;
    }
    const QString offeredVersion = version.isEmpty() ? check.version : version;

    const QString descriptorPath = Paths::join(updateDir, QLatin1String(Settings::DescriptorFileName));
    QString previousFile;
    if (QFileInfo(descriptorPath).isFile()) {
        const Settings::UpdateDescriptor previous = Settings::readDescriptor(descriptorPath, updateDir);
        previousFile = previous.filePath;
        if (previous.version == offeredVersion && QFileInfo(previous.filePath).isFile()) {
            m_bAlreadyOffered = true;
            log(u("Версия '") + offeredVersion + u("' уже предложена в '") + updateDir + u("' (файл '")
                + previous.filePath + u("'). Публикация не нужна."));
            return true;
        }
    }
    if (!QDir().mkpath(updateDir)) {
        log(u("Не удалось создать каталог обновлений '") + updateDir + QLatin1Char('\''));
        return false;
    }

    // A name of its own, so the file the current descriptor names stays until the new one is named.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmsszzz"));
    QString databaseName = PublishedPrefix + stamp + QStringLiteral(".sqlite");
    for (int n = 1; QFileInfo::exists(Paths::join(updateDir, databaseName))
         || QFileInfo::exists(Paths::join(updateDir, databaseName + QStringLiteral(".zip")));
         ++n)
        databaseName = PublishedPrefix + stamp + QStringLiteral("-%1.sqlite").arg(n);
    const QString fileName = bZip ? databaseName + QStringLiteral(".zip") : databaseName;
    const QString databasePart
        = Paths::join(updateDir, QLatin1Char('.') + databaseName + QStringLiteral(".part"));
    const QString archivePart = databasePart + QStringLiteral(".zip");
    const QString published = Paths::join(updateDir, fileName);
    const auto cleanUp = [&] {
        QFile::remove(databasePart);
        QFile::remove(archivePart);
    };

    if (!writeDatabase(source, databasePart, version) || (bZip && !writeArchive(databasePart, archivePart))) {
        cleanUp();
        return false;
    }
    lock.unlock();
    step(Step::DatabaseWritten);
    if (!putInPlace(bZip ? archivePart : databasePart, published)) {
        cleanUp();
        return false;
    }
    cleanUp();
    step(Step::DatabaseInPlace);

    const QString descriptorPart = Paths::join(updateDir, QStringLiteral(".update.info.part"));
    if (!Settings::writeDescriptor(descriptorPart, offeredVersion, fileName, bZip)
        || !putInPlace(descriptorPart, descriptorPath)) {
        log(u("Не удалось записать файл обновлений '") + descriptorPath + QLatin1Char('\''));
        QFile::remove(descriptorPart);
        return false;
    }
    step(Step::DescriptorInPlace);

    removeEarlierOffers(updateDir, { fileName, QFileInfo(previousFile).fileName() });
    log(u("Опубликована версия '") + offeredVersion + u("': '") + published + u("' (")
        + (bZip ? u("ZIP") : u("RAW")) + u("), файл обновлений '") + descriptorPath + QLatin1Char('\''));
    return true;
}

bool UpdatePublisher::writeDatabase(const QString& source, const QString& part, const QString& version)
{
    QFile::remove(part);
    if (!QFile::copy(source, part)) {
        log(u("Не удалось записать файл '") + part + QLatin1Char('\''));
        return false;
    }
    QFile::setPermissions(part, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (!version.isEmpty() && !stampVersion(part, version)) {
        log(u("Не удалось записать версию '") + version + u("' в файл '") + part + QLatin1Char('\''));
        return false;
    }
    // What goes out is what was checked: the copy itself, with the version it announces.
    const DatabaseFileCheck check = checkDatabaseFile(part);
    const QString expected = version.isEmpty() ? check.version : version;
    if (!check.ok || check.version != expected) {
        log(u("Копия базы данных '") + part + u("' не прошла проверку: ")
            + (check.ok ? u("версия '") + check.version + QLatin1Char('\'') : check.problem)
            + QLatin1Char('.'));
        return false;
    }
    return true;
}

bool UpdatePublisher::writeArchive(const QString& database, const QString& part)
{
    QFile input(database);
    QuaZip zip(part);
    bool bOk = input.open(QIODevice::ReadOnly) && zip.open(QuaZip::mdCreate);
    if (bOk) {
        QuaZipFile entry(&zip);
        QuaZipNewInfo info(QLatin1String(Schema::DatabaseFileName), database);
        bOk = entry.open(QIODevice::WriteOnly, info, nullptr, 0, Z_DEFLATED, Z_DEFAULT_COMPRESSION);
        QByteArray buffer(1 << 20, Qt::Uninitialized);
        for (qint64 n = 0; bOk && (n = input.read(buffer.data(), buffer.size())) > 0;)
            bOk = entry.write(buffer.constData(), n) == n;
        entry.close();
        bOk = bOk && entry.getZipError() == UNZ_OK && input.error() == QFileDevice::NoError;
        zip.close();
        bOk = bOk && zip.getZipError() == UNZ_OK;
    }
    if (!bOk)
        log(u("Не удалось записать архив '") + part + QLatin1Char('\''));
    return bOk;
}

bool UpdatePublisher::putInPlace(const QString& part, const QString& path)
{
    if (!syncFile(part)
        || std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
        log(u("Не удалось записать файл '") + path + QLatin1Char('\''));
        return false;
    }
    syncFile(QFileInfo(path).absolutePath());
    return true;
}

void UpdatePublisher::removeEarlierOffers(const QString& updateDir, const QStringList& keep)
{
    const QStringList earlier = QDir(updateDir).entryList(
        { PublishedPrefix + QStringLiteral("*.sqlite"), PublishedPrefix + QStringLiteral("*.sqlite.zip") },
        QDir::Files);
    for (const QString& name : earlier) {
        if (!keep.contains(name))
            QFile::remove(Paths::join(updateDir, name));
    }
}
