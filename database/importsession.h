// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "classifiersource.h"
#include "progressthrottle.h"

#include <QString>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;
struct sqlite3;

// How a stage of the import ended. Stop: the database cannot be written on (full disk,
// damaged file), so the run ends without the stages after it.
enum class StepOutcome { Done, Failed, Stop };

// What the stages report to whoever runs the import (the import thread forwards it to the
// window through queued signals).
class ImportFeedback {
public:
    virtual ~ImportFeedback() = default;
    virtual void log(const QString& text) = 0; // a status-log line
    virtual void stepText(const QString& text) = 0; // the progress caption
    virtual void progress(int nValue, int nMax) = 0; // nMax -1 keeps the maximum
    virtual bool interrupted() const = 0; // the window is closing
};

// One import run on its build connection: what every stage needs around its SQL. Used only
// by the thread that opened the connection.
class ImportSession {
public:
    // direct: the connection's handle when it belongs to the SQLite library this program
    // links, for the bulk inserts; nullptr inserts through Qt's prepared query.
    ImportSession(QSqlDatabase& db, sqlite3* direct, ImportFeedback& feedback, const QString& localDbDir);

    QSqlDatabase& db() { return m_Db; }
    sqlite3* direct() const { return m_pDirect; }
    QString localDbDir() const { return m_LocalDbDir; }
    QString databasePath() const;
    // Where the classifier's files are read: BASE/ of the local database directory unless set.
    const ClassifierSource& source() const { return m_Source; }
    void setSource(const ClassifierSource& source) { m_Source = source; }

    void log(const QString& text) { m_Feedback.log(text); }
    void stepText(const QString& text) { m_Feedback.stepText(text); }
    void progress(int nValue, int nMax) { m_Feedback.progress(nValue, nMax); }
    bool interrupted() const { return m_Feedback.interrupted(); }
    ProgressThrottle& rowProgress() { return m_RowProgress; }

    // Runs one statement; a failure is logged with SQLite's text after failurePrefix.
    StepOutcome exec(const QString& sql, const QString& failurePrefix);
    // The outcome of a statement that failed with this error; a full disk or a damaged
    // database is logged here, as it ends the run.
    StepOutcome failure(const QSqlError& error);
    // The same for SQLite's result code and message.
    StepOutcome fault(int nCode, const QString& text);
    // The query's error; on a connection that failed to open, the connection's.
    QSqlError lastError(const QSqlQuery& query) const;

private:
    QSqlDatabase& m_Db;
    sqlite3* m_pDirect;
    ImportFeedback& m_Feedback;
    QString m_LocalDbDir;
    ClassifierSource m_Source;
    ProgressThrottle m_RowProgress;
};

// Qt's SQLite driver keeps SQLite's result code as the native error code.
int sqliteResultCode(const QSqlError& error);

// The Russian texts are written in UTF-8 in the source.
inline QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}
