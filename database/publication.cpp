// SPDX-License-Identifier: GPL-3.0-or-later
#include "publication.h"

#include "paths.h"
#include "schema.h"
#include "settings.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

// The stamp first, durably: the files announce only a database that carries its version.
StepOutcome stampVersion(ImportSession& session, const QString& version)
{
    QSqlQuery pragma(session.db());
    pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    const QString failed = u("Не удалось записать версию базы данных. Ошибка: '");
    StepOutcome outcome = session.exec(QStringLiteral("BEGIN"), failed);
    if (outcome == StepOutcome::Done) {
        outcome = session.exec(QLatin1String(Schema::CreateInfo), failed);
        if (outcome == StepOutcome::Done)
            outcome = session.exec(
                QStringLiteral("INSERT INTO info (version) VALUES ('") + version + QStringLiteral("');"),
                failed);
        if (outcome == StepOutcome::Done)
            outcome = session.exec(QStringLiteral("COMMIT"), failed);
        if (outcome != StepOutcome::Done)
            pragma.exec(QStringLiteral("ROLLBACK"));
    }
    pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    return outcome;
}

} // namespace

// Velmora.ini and update.info beside the program, where they are missing, for the database of
// this version. A read-only installation directory keeps the database usable here; it is only
// not offered to others.
void writeMissingFiles(ImportSession& session, const QString& appDir, const QString& version)
{
    // velmora-tool import writes nothing beside the database; its offer is made by publish.
    if (appDir.isEmpty())
        return;
    QStringList unwritten;
    if (!Settings::writeSettingsIfMissing(appDir, session.localDbDir()))
        unwritten << Paths::join(appDir, QLatin1String(Settings::SettingsFileName));
    if (!Settings::writeDescriptorIfMissing(appDir, version))
        unwritten << Paths::join(appDir, QLatin1String(Settings::DescriptorFileName));
    if (!unwritten.isEmpty()) {
        // A directory that takes files but not these (a full disk, say) is not called unwritable.
        const QFileInfo dir(appDir);
        const QString why = dir.isDir() && dir.isWritable()
            ? u("запись не удалась (возможно, на диске нет места)")
            : u("каталог программы недоступен для записи");
        session.log(u("Не удалось записать файлы '") + unwritten.join(QStringLiteral("', '")) + u("': ") + why
            + u(". База данных готова, но не предложена для обновления других установок."));
    }
}

StepOutcome publish(ImportSession& session, const QString& appDir, bool& published)
{
    const QString version = QDateTime::currentDateTimeUtc().toString(Qt::TextDate);
    const StepOutcome outcome = stampVersion(session, version);
    if (outcome != StepOutcome::Done)
        return outcome;
    published = true;
    writeMissingFiles(session, appDir, version);
    return StepOutcome::Done;
}

void completePublication(ImportSession& session, const QString& appDir)
{
    // An installed program's directory is not the user's to write: its first import said so
    // once, and a database that came by update is no reason to say it at every start.
    if (appDir.isEmpty() || !QFileInfo(appDir).isWritable())
        return;
    const bool settingsMissing
        = !QFileInfo::exists(Paths::join(appDir, QLatin1String(Settings::SettingsFileName)));
    const bool descriptorMissing
        = !QFileInfo::exists(Paths::join(appDir, QLatin1String(Settings::DescriptorFileName)));
    if (!settingsMissing && !descriptorMissing)
        return;
    QSqlQuery query(session.db());
    if (!query.exec(QLatin1String(Schema::SelectVersion)) || !query.next())
        return;
    const QString version = query.value(0).toString();
    if (!version.isEmpty())
        writeMissingFiles(session, appDir, version);
}
