// SPDX-License-Identifier: GPL-3.0-or-later
#include "threaddatabasecreate.h"

#include "indexstage.h"
#include "postofficeimport.h"
#include "publication.h"
#include "schema.h"
#include "sqlitehandle.h"
#include "typedictionary.h"
#include "workerhost.h"

#include <QDebug>
#include <QDir>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// The stages report through the thread: its signals reach the window queued, in order.
class ThreadDataBaseCreate::Feedback : public ImportFeedback {
public:
    explicit Feedback(ThreadDataBaseCreate& thread)
        : m_Thread(thread)
    {
    }
    void log(const QString& text) override { m_Thread.log(text); }
    void stepText(const QString& text) override { emit m_Thread.signalUpdateText(text); }
    void progress(int nValue, int nMax) override { emit m_Thread.signalUpdateProgress(nValue, nMax); }
    bool interrupted() const override { return m_Thread.isInterruptionRequested(); }

private:
    ThreadDataBaseCreate& m_Thread;
};

ThreadDataBaseCreate::ThreadDataBaseCreate(QObject* parent)
    : QThread(parent)
{
}

ThreadDataBaseCreate::~ThreadDataBaseCreate() = default;

void ThreadDataBaseCreate::setDirectories(const QString& appDir, const QString& localDbDir)
{
    m_AppDir = appDir;
    m_LocalDbDir = localDbDir;
}

void ThreadDataBaseCreate::log(const QString& text)
{
    m_pHost->addState(text, false);
}

QString ThreadDataBaseCreate::databasePath() const
{
    return m_LocalDbDir + QLatin1Char('/') + QLatin1String(Schema::DatabaseFileName);
}

void ThreadDataBaseCreate::run()
{
    if (!m_pHost)
        return;
    m_Report = RunReport();

    checkLocalDbDir();
    emit signalUpdateProgress(0, -1);
    emit signalVisible(true);

    bool success = false;
    {
        // One import at a time per database, whichever program runs it (the window, velmora-tool).
        QLockFile lock(databasePath() + QStringLiteral(".lock"));
        if (lockDatabase(lock))
            success = build();
    }
    m_Report.success = success;
    // The window is closing and waits only for the thread to end.
    if (isInterruptionRequested())
        return;

    emit signalVisible(false);
    m_pHost->setDataBaseReady(success);
    emit signalDataBaseCreated(success);
    // A failed run must not read as a completed one; its reasons are in the lines before.
    log(success ? u("Первоначальная настройка базы данных завершена.")
                : u("Первоначальная настройка базы данных не завершена: база данных не готова к поиску."));
}

void ThreadDataBaseCreate::checkLocalDbDir()
{
    if (QDir(m_LocalDbDir).exists())
        return;
    log(u("Каталог хранения локальной базы данных не существует: '") + m_LocalDbDir + QLatin1Char('\''));
    if (QDir().mkpath(m_LocalDbDir))
        log(u("Каталог хранения локальной базы данных: '") + m_LocalDbDir + u("'' успешно создан."));
    else
        log(u("Не удалось создать каталог хранения локальной базы данных: '") + m_LocalDbDir
            + QLatin1Char('\''));
}

bool ThreadDataBaseCreate::lockDatabase(QLockFile& lock)
{
    // An import takes minutes at full size: the lock is stale only when its process is gone.
    lock.setStaleLockTime(0);
    if (lock.tryLock(m_nLockTimeout))
        return true;
    // A directory nobody may write in holds no lock, and no import can write there either: a
    // complete database is still checked, anything else fails at its own step.
    if (lock.error() != QLockFile::LockFailedError) {
        qDebug() << "No lock file beside the database:" << databasePath() << lock.error();
        return true;
    }
    log(u("Базу данных '") + databasePath()
        + u("' сейчас создаёт другой процесс (другое окно программы или velmora-tool). "
            "Дождитесь его окончания и повторите поиск."));
    return false;
}

bool ThreadDataBaseCreate::build()
{
    // A connection of our own: the window's default connection belongs to the GUI thread.
    const QString connectionName = QStringLiteral("velmora-import-%1").arg(quintptr(this), 0, 16);
    bool success = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(databasePath());
        sqlite3* direct = SqliteHandle::open(db);
        if (!m_bDirectInsert)
            direct = nullptr;
        else if (!direct && db.isOpen())
            qDebug()
                << "Qt's SQLite driver does not use the linked SQLite library; rows go in through QSqlQuery";
        {
            // The blocks are written without waiting for the disk: a crash of the program keeps
            // every committed block, and a table becomes visible under its own name only in a
            // commit that waits for the disk (synchronous FULL, which also flushes the blocks
            // before it). A power loss during the import can still damage the file as a whole,
            // because the rollback journal of an unsynced block may not have reached the disk;
            // SQLite then reports the database as damaged, and it is deleted or replaced by an
            // update. Larger pages (taken only by a new file) and an 8 MB cache mean fewer
            // writes and cheaper index sorts at the classifier's size.
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
            pragma.exec(QStringLiteral("PRAGMA page_size=16384"));
            pragma.exec(QStringLiteral("PRAGMA cache_size=-8000"));
            if (m_nMaxPageCount > 0)
                pragma.exec(QStringLiteral("PRAGMA max_page_count=%1").arg(m_nMaxPageCount));
        }
        m_Report.directInsert = direct != nullptr;
        Feedback feedback(*this);
        ImportSession session(db, direct, feedback, m_LocalDbDir);
        success = buildOn(session);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return success;
}

bool ThreadDataBaseCreate::buildOn(ImportSession& session)
{
    QStringList tables;
    if (!readTableList(session, tables))
        return false;
    TypeNames types;
    if (!readClassifier(session, tables, types))
        return false;
    if (dropLeftovers(session, tables) != StepOutcome::Done)
        return false;

    bool success = true;
    TableReport* const reports[] = { &m_Report.kladr, &m_Report.street, &m_Report.doma };
    for (size_t i = 0; i < tableSteps().size() && !isInterruptionRequested(); ++i) {
        const StepOutcome outcome = importTable(session, tableSteps()[i], tables, types, *reports[i]);
        if (outcome == StepOutcome::Stop)
            return false;
        if (outcome == StepOutcome::Failed)
            success = false;
    }
    if (isInterruptionRequested())
        return false;
    // The post's reference of post offices, when BASE/ holds one: a table like the others.
    const StepOutcome offices = importPostOffices(session, tables, m_Report.postOffices);
    if (offices == StepOutcome::Stop || isInterruptionRequested())
        return false;
    if (offices == StepOutcome::Failed)
        success = false;
    const bool tableCreated = m_Report.kladr.created || m_Report.street.created || m_Report.doma.created;
    if (buildIndexes(session, tableCreated, m_Report.analyzed) != StepOutcome::Done
        || isInterruptionRequested())
        return false;
    // Only a database whose every step succeeded, with all three tables complete, is stamped
    // and offered to other installations.
    if (success && !tables.contains(QStringLiteral("info")))
        success = publish(session, m_AppDir, m_Report.published) == StepOutcome::Done;
    return success;
}

// The tables as SQLite lists them; a damaged file shows here, before anything is written.
bool ThreadDataBaseCreate::readTableList(ImportSession& session, QStringList& tables)
{
    QSqlQuery query(session.db());
    if (query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
        while (query.next())
            tables << query.value(0).toString();
        if (!query.lastError().isValid())
            return true;
    }
    // A database that cannot be opened at all fails each step with its reason, as before.
    if (!session.db().isOpen())
        return true;
    const QSqlError error = session.lastError(query);
    return session.fault(sqliteResultCode(error), error.databaseText()) != StepOutcome::Stop;
}

// The dictionary and the files are needed only for a table that has to be built: a complete
// database (one received by update, say) is checked without BASE/.
bool ThreadDataBaseCreate::readClassifier(ImportSession& session, const QStringList& tables, TypeNames& types)
{
    QStringList files;
    for (const TableStep& step : tableSteps()) {
        if (!tables.contains(QLatin1String(step.table)))
            files << m_LocalDbDir + QLatin1String(step.file);
    }
    if (files.isEmpty())
        return true;
    // Without the dictionary every type name would be blank for good: nothing is built.
    if (!readTypeNames(session, types)) {
        if (!isInterruptionRequested())
            log(u("Без справочника SOCRBASE.DBF таблицы базы данных не создаются."));
        return false;
    }
    // A header that announces records the file does not hold fails the run before any row.
    bool fit = true;
    for (const QString& path : qAsConst(files)) {
        if (!recordCountFits(session, path))
            fit = false;
    }
    return fit;
}

StepOutcome ThreadDataBaseCreate::dropLeftovers(ImportSession& session, const QStringList& tables)
{
    QStringList leftovers;
    for (const TableStep& step : tableSteps()) {
        if (tables.contains(step.workingName()))
            leftovers << step.workingName();
    }
    if (leftovers.isEmpty())
        return StepOutcome::Done;
    log(u("Удаление неполных таблиц прерванного импорта: ") + leftovers.join(QStringLiteral(", "))
        + QLatin1Char('.'));
    for (const QString& table : qAsConst(leftovers)) {
        const StepOutcome outcome = session.exec(QStringLiteral("DROP TABLE ") + table,
            u("Не удалось удалить таблицу ") + table + u(". Ошибка: '"));
        if (outcome != StepOutcome::Done)
            return outcome;
    }
    return StepOutcome::Done;
}
