// SPDX-License-Identifier: GPL-3.0-or-later
#include "publication.h"

#include "paths.h"
#include "schema.h"
#include "settings.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QStringList>

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

StepOutcome publish(ImportSession& session, const QString& appDir, bool& published)
{
    const QString version = QDateTime::currentDateTimeUtc().toString(Qt::TextDate);
    const StepOutcome outcome = stampVersion(session, version);
    if (outcome != StepOutcome::Done)
        return outcome;
    published = true;
    // velmora-tool import writes nothing beside the database; its offer is made by publish.
    if (appDir.isEmpty())
        return StepOutcome::Done;

    // A read-only installation directory keeps the database usable here; it is only not
    // offered to others.
    QStringList unwritten;
    if (!Settings::writeSettingsIfMissing(appDir, session.localDbDir()))
        unwritten << Paths::join(appDir, QLatin1String(Settings::SettingsFileName));
    if (!Settings::writeDescriptorIfMissing(appDir, version))
        unwritten << Paths::join(appDir, QLatin1String(Settings::DescriptorFileName));
    if (!unwritten.isEmpty()) {
        session.log(u("Не удалось записать файлы '") + unwritten.join(QStringLiteral("', '"))
            + u("': каталог программы недоступен для записи. База данных готова, но не предложена "
                "для обновления других установок."));
    }
    return StepOutcome::Done;
}
