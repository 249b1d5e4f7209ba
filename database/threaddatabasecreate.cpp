// SPDX-License-Identifier: GPL-3.0-or-later
#include "threaddatabasecreate.h"

#include "databasefile.h"
#include "databaselock.h"
#include "indexstage.h"
#include "paths.h"
#include "postofficeimport.h"
#include "publication.h"
#include "schema.h"
#include "sqlitehandle.h"
#include "typedictionary.h"
#include "workerhost.h"

#include <QDebug>
#include <QDir>
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
    bool interrupted() const override { return m_Thread.stopped(); }

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
    return Paths::databaseFile(m_LocalDbDir);
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
        // One writer at a time per database, whichever program runs it (the window, velmora-tool),
        // and whatever it does (an import, the install of an update).
        DatabaseLock lock(databasePath());
        if (lockDatabase(lock))
            success = m_From.isEmpty() ? build(databasePath()) : buildAndInstall(lock);
    }
    m_Report.success = success;
    m_Report.cancelled = m_bCancelled;
    // The window is closing and waits only for the thread to end.
    if (isInterruptionRequested())
        return;

    if (m_bCancelled)
        log(u("Импорт классификатора отменён; прежняя база данных не изменена."));
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

bool ThreadDataBaseCreate::lockDatabase(DatabaseLock& lock)
{
    switch (lock.acquire(m_nLockTimeout)) {
    case DatabaseLock::Result::Locked:
        return true;
    case DatabaseLock::Result::NotWritable:
        // A directory nobody may write in holds no lock, and no import can write there either: a
        // complete database is still checked, anything else fails at its own step.
        qDebug() << "No lock file beside the database:" << lock.message();
        return true;
    case DatabaseLock::Result::Busy:
    case DatabaseLock::Result::Failed:
        break;
    }
    log(lock.message());
    return false;
}

bool ThreadDataBaseCreate::build(const QString& path)
{
    // A connection of our own: the window's default connection belongs to the GUI thread.
    const QString connectionName = QStringLiteral("velmora-import-%1").arg(quintptr(this), 0, 16);
    bool success = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(path);
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
        if (!m_From.isEmpty())
            session.setSource(ClassifierSource::from(m_From));
        success = buildOn(session);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return success;
}

// An import from a source builds a database of its own beside the local one and replaces the
// local one only when complete: a failed or cancelled run leaves it byte for byte as it was.
bool ThreadDataBaseCreate::buildAndInstall(const DatabaseLock& lock)
{
    const QString target = databasePath();
    const QString built = target + QStringLiteral(".import");
    // What a killed run left is never installed: the build starts afresh.
    if (!removeDatabaseFiles(built)) {
        log(u("Не удалось удалить файл '") + built + u("', оставшийся от прерванного импорта."));
        return false;
    }
    log(u("Импорт классификатора из '") + m_From + u("' в новый файл '") + built + QLatin1Char('\''));
    bool success = build(built) && !stopped();
    if (success) {
        QString error;
        success = replaceDatabaseFile(lock, built, error);
        if (success)
            log(u("База данных '") + target + u("' заменена новой, импортированной из '") + m_From
                + QLatin1Char('\''));
        else
            log(error);
        m_Report.installed = success;
    }
    removeDatabaseFiles(built);
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
    for (size_t i = 0; i < tableSteps().size() && !stopped(); ++i) {
        const StepOutcome outcome = importTable(session, tableSteps()[i], tables, types, *reports[i]);
        if (outcome == StepOutcome::Stop)
            return false;
        if (outcome == StepOutcome::Failed)
            success = false;
    }
    if (stopped())
        return false;
    // The post's reference of post offices, when the source or BASE/ holds one: a table like the others.
    const StepOutcome offices = importPostOffices(session, tables, m_Report.postOffices);
    if (offices == StepOutcome::Stop || stopped())
        return false;
    if (offices == StepOutcome::Failed)
        success = false;
    const bool tableCreated = m_Report.kladr.created || m_Report.street.created || m_Report.doma.created;
    if (buildIndexes(session, tableCreated, m_Report.analyzed) != StepOutcome::Done || stopped())
        return false;
    // Only a database whose every step succeeded, with all three tables complete, is stamped
    // and offered to other installations.
    if (success && !tables.contains(QStringLiteral("info")))
        success = publish(session, m_AppDir, m_Report.published) == StepOutcome::Done;
    else if (success)
        completePublication(session, m_AppDir);
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
            return isOwnDatabase(session, tables);
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
            files << step.fileName();
    }
    if (files.isEmpty())
        return true;
    // A header that does not fit its file fails the run before any row. In an archive only the
    // dictionary is checked (and kept for step 1) here: reaching the other files' headers would
    // decompress nearly the whole archive once more, so each table's step checks its own
    // before its rows, and a failure then leaves only the new file, which is not installed.
    if (!headersFit(session,
            QStringList(QStringLiteral("SOCRBASE.DBF"))
                + (session.source().isArchive() ? QStringList() : files)))
        return false;
    // Without the dictionary every type name would be blank for good: nothing is built.
    if (!readTypeNames(session, types)) {
        if (!stopped())
            log(u("Без справочника SOCRBASE.DBF таблицы базы данных не создаются."));
        return false;
    }
    return true;
}

namespace {

// The column names of a CREATE TABLE statement of the schema, in order.
QStringList columnsOf(const char* createStatement)
{
    const QString sql = QLatin1String(createStatement);
    const int open = sql.indexOf(QLatin1Char('('));
    QStringList columns;
    for (const QString& column : sql.mid(open + 1, sql.lastIndexOf(QLatin1Char(')')) - open - 1)
                                     .split(QLatin1Char(','), Qt::SkipEmptyParts))
        columns << column.trimmed().section(QLatin1Char(' '), 0, 0);
    return columns;
}

QStringList columnsIn(QSqlDatabase& db, const QString& table)
{
    QStringList columns;
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table))) {
        while (query.next())
            columns << query.value(1).toString();
    }
    return columns;
}

} // namespace

// A file that is some other program's SQLite database is not written into: a table of ours
// with other columns, or only tables that are not ours, refuse it as a damaged file is
// refused, untouched.
bool ThreadDataBaseCreate::isOwnDatabase(ImportSession& session, const QStringList& tables)
{
    QVector<QPair<QString, QStringList>> own = { { QStringLiteral("info"), columnsOf(Schema::CreateInfo) } };
    for (const TableStep& step : tableSteps()) {
        own.append({ QLatin1String(step.table), columnsOf(step.createStatement) });
        own.append({ step.workingName(), columnsOf(step.createStatement) });
    }
    bool anyOwn = false;
    for (const auto& [table, columns] : qAsConst(own)) {
        if (!tables.contains(table))
            continue;
        anyOwn = true;
        const QStringList found = columnsIn(session.db(), table);
        if (found != columns) {
            refuseForeign(
                session, u("таблица ") + table + u(" со столбцами ") + found.join(QStringLiteral(", ")));
            return false;
        }
    }
    QStringList others;
    for (const QString& table : tables) {
        if (!table.startsWith(QLatin1String("sqlite_")))
            others << table;
    }
    if (!anyOwn && !others.isEmpty()) {
        refuseForeign(session, u("таблицы ") + others.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

void ThreadDataBaseCreate::refuseForeign(ImportSession& session, const QString& found)
{
    log(u("Файл '") + session.db().databaseName() + u("' не является базой данных этой программы (") + found
        + u("). Он не изменён; переименуйте или удалите его, чтобы база данных была создана заново."));
    qDebug() << "Not a Velmora database:" << session.db().databaseName() << found;
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
