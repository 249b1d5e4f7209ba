// SPDX-License-Identifier: GPL-3.0-or-later
#include "importsession.h"

#include "paths.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

ImportSession::ImportSession(
    QSqlDatabase& db, sqlite3* direct, ImportFeedback& feedback, const QString& localDbDir)
    : m_Db(db)
    , m_pDirect(direct)
    , m_Feedback(feedback)
    , m_LocalDbDir(localDbDir)
    , m_Source(ClassifierSource::baseDirectory(localDbDir))
    , m_RowProgress([this](int nValue, int nMax) { m_Feedback.progress(nValue, nMax); })
{
}

QString ImportSession::databasePath() const
{
    return Paths::databaseFile(m_LocalDbDir);
}

StepOutcome ImportSession::exec(const QString& sql, const QString& failurePrefix)
{
    QSqlQuery query(m_Db);
    if (query.exec(sql))
        return StepOutcome::Done;
    const QSqlError error = lastError(query);
    log(failurePrefix + error.text() + QLatin1Char('\''));
    qDebug() << "Statement failed:" << sql << error;
    return failure(error);
}

StepOutcome ImportSession::failure(const QSqlError& error)
{
    if (!m_Db.isOpen())
        return StepOutcome::Failed;
    return qMax(StepOutcome::Failed, fault(sqliteResultCode(error), error.databaseText()));
}

StepOutcome ImportSession::fault(int nCode, const QString& text)
{
    switch (nCode & 0xff) {
    case SQLITE_FULL:
        log(u("Недостаточно места на диске в каталоге локальной базы данных '") + m_LocalDbDir
            + u("' (SQLite: '") + text + u("'). Освободите место и повторите поиск."));
        return StepOutcome::Stop;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        log(u("Локальная база данных '") + databasePath() + u("' повреждена (SQLite: '") + text
            + u("'). Удалите этот файл, чтобы база данных была создана заново из каталога BASE, "
                "или дождитесь, пока обновление заменит её при запуске программы."));
        return StepOutcome::Stop;
    default:
        return StepOutcome::Failed;
    }
}

QSqlError ImportSession::lastError(const QSqlQuery& query) const
{
    const QSqlError error = query.lastError();
    return error.type() == QSqlError::NoError && !m_Db.isOpen() ? m_Db.lastError() : error;
}

int sqliteResultCode(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code : SQLITE_ERROR;
}
