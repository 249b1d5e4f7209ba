// SPDX-License-Identifier: GPL-3.0-or-later
#include "threaddatabasecreate.h"

#include "schema.h"
#include "settings.h"
#include "sqliteinsert.h"
#include "workerhost.h"

#include <qdbf/qdbftablemodel.h>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Rows kept loaded ahead of the row being processed: a block ends once more than this many
// are waiting (10,200 rows with the model's 255-row fetches).
constexpr int BlockLookahead = 9999;
constexpr int ProgressSteps = 1000;

using Columns = std::array<QString, 8>;
using Types = QHash<QString, QString>;

// cN = text of 0-based DBF column N; each mapping adds its table's INSERT values in order.
void bindKladr(Utf8Values& q, const Columns& c, const Types& types)
{
    const QString& code = c[2];
    q.add(c[0]);
    q.add(c[0].toUpper());
    q.add(types.value(c[1]));
    q.add(c[1]);
    q.add(code.leftRef(11));
    q.add(code.leftRef(2));
    q.add(code.midRef(2, 3));
    q.add(code.midRef(5, 3));
    q.add(code.midRef(8, 3));
    q.add(code.rightRef(2));
    q.add(c[3]);
    q.add(c[7]);
}

void bindStreet(Utf8Values& q, const Columns& c, const Types& types)
{
    const QString& code = c[2];
    q.add(c[0]);
    q.add(c[0].toUpper());
    q.add(types.value(c[1]));
    q.add(c[1]);
    q.add(code.leftRef(15));
    q.add(code.leftRef(11));
    q.add(code.rightRef(2));
    q.add(c[3]);
}

void bindDoma(Utf8Values& q, const Columns& c, const Types&)
{
    const QString& code = c[3];
    q.add(c[0]);
    q.add(code.leftRef(11));
    q.add(code.leftRef(15));
    q.add(code.rightRef(2));
    q.add(c[4]);
}

// Reads the model's rows in blocks of about ten thousand (10,200 with 255-row fetches) and
// releases each block once handled. processBlock(first, end) handles rows [first, end) and
// returns false to stop reading.
template <typename Fn> void readByBlocks(QDbf::QDbfTableModel& model, int& blocks, Fn processBlock)
{
    const QModelIndex root;
    int p = 0;
    int loaded = 0;
    for (;;) {
        while (model.canFetchMore(root) && loaded - p <= BlockLookahead) {
            model.fetchMore(root);
            const int now = model.rowCount(root);
            // A fetch that brings nothing would otherwise repeat for ever.
            if (now == loaded)
                break;
            loaded = now;
        }
        loaded = model.rowCount(root);
        ++blocks;
        const bool more = processBlock(p, loaded);
        model.releaseRows(loaded);
        if (!more || !model.canFetchMore(root) || loaded == p)
            break;
        p = loaded;
    }
}

// A block of rows as the table step binds them: the INSERT values of each readable row, one
// after the other. A row that the file does not really hold (its header announces more
// records than there are) is not readable and has no values.
struct SourceRow {
    int row = 0;
    bool readable = false;
};
struct SourceBlock {
    std::vector<SourceRow> rows;
    Utf8Values values;
};

// Hands blocks from the reading thread to the inserting one. At most two blocks wait, so
// memory does not grow with the file.
class BlockQueue {
public:
    bool push(SourceBlock&& block)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Space.wait(lock, [this] { return m_Blocks.size() < 2 || m_bAborted; });
        if (m_bAborted)
            return false;
        m_Blocks.push_back(std::move(block));
        m_Ready.notify_one();
        return true;
    }
    bool pop(SourceBlock& block)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Ready.wait(lock, [this] { return !m_Blocks.empty() || m_bClosed || m_bAborted; });
        if (m_bAborted || m_Blocks.empty())
            return false;
        block = std::move(m_Blocks.front());
        m_Blocks.pop_front();
        m_Space.notify_one();
        return true;
    }
    void close()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bClosed = true;
        m_Ready.notify_all();
    }
    void abort()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bAborted = true;
        m_Ready.notify_all();
        m_Space.notify_all();
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Ready;
    std::condition_variable m_Space;
    std::deque<SourceBlock> m_Blocks;
    bool m_bClosed = false;
    bool m_bAborted = false;
};

struct IndexStep {
    const char* logLine;
    const char* stepText;
    const char* debugLiteral;
};

// Paired by position with Schema::Indexes. Steps 5 to 7 name index_kladr_names on purpose:
// that is the diagnostic text the field reports have always carried.
const IndexStep IndexSteps[] = {
    { "Проверка и/или создание индекса для таблицы KLADR: 1 из 3.", "Создание индексов... Шаг 5 из 11. ",
        "Error creating index index_kladr_names ON KLADR(name_upper): " },
    { "Проверка и/или создание индекса для таблицы KLADR: 2 из 3.", "Создание индексов... Шаг 6 из 11. ",
        "Error creating index index_kladr_names ON KLADR(name_upper,code): " },
    { "Проверка и/или создание индекса для таблицы KLADR: 3 из 3.", "Создание индексов... Шаг 7 из 11. ",
        "Error creating index index_kladr_names ON KLADR(code): " },
    { "Проверка и/или создание индекса для таблицы STREET: 1 из 3.", "Создание индексов... Шаг 8 из 11. ",
        "Error creating index index_streets_name_upper ON STREET(name_upper): " },
    { "Проверка и/или создание индекса для таблицы STREET: 2 из 3.", "Создание индексов... Шаг 9 из 11. ",
        "Error creating index index_streets_code_kladr ON STREET(code_kladr): " },
    { "Проверка и/или создание индекса для таблицы STREET: 3 из 3.", "Создание индексов... Шаг 10 из 11. ",
        "Error creating index index_streets_nu_ck ON STREET(name_upper,code_kladr): " },
    { "Проверка и/или создание индекса для таблицы DOMA.", "Создание индексов... Шаг 11 из 11. ",
        "Error creating index index_doma_index ON DOMA(code_street): " },
};
static_assert(std::size(IndexSteps) == std::size(Schema::Indexes), "one step per index");

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// On a connection that failed to open, statements fail with an empty error; the reason is
// the connection's.
QSqlError lastError(const QSqlQuery& query, const QSqlDatabase& db)
{
    const QSqlError error = query.lastError();
    return error.type() == QSqlError::NoError && !db.isOpen() ? db.lastError() : error;
}

// Qt's SQLite driver keeps SQLite's result code as the native error code.
int resultCode(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code : SQLITE_ERROR;
}

// A table is filled under this name and renamed to its own only by the transaction that
// completes it, so a table under its own name always holds every record of its file.
QString workingName(const char* table)
{
    return QLatin1String(table) + QStringLiteral("_partial");
}

// The schema statement of a table, aimed at its working name.
QString onWorkingTable(const char* statement, const char* table)
{
    QString sql = QLatin1String(statement);
    const QString name = QLatin1Char(' ') + QLatin1String(table) + QLatin1Char(' ');
    sql.replace(sql.indexOf(name), name.size(), QLatin1Char(' ') + workingName(table) + QLatin1Char(' '));
    return sql;
}

const char* const DataTables[] = { "KLADR", "STREET", "DOMA" };

// DBF header: record count (32 bits) at 4, header length (16) at 8, record length (16) at 10.
constexpr int HeaderPrefix = 12;

} // namespace

struct ThreadDataBaseCreate::TableStep {
    const char* table;
    const char* file;
    const char* existsLine; // nullptr: DOMA logs nothing here
    const char* missingLine;
    const char* creatingLine;
    const char* stepText;
    const char* createFailedPrefix;
    const char* openFailedDebug;
    const char* createFailedDebug;
    const char* insertFailedDebug;
    const char* createStatement;
    const char* insertStatement;
    // DBF columns read for a row, ended by -1.
    int columns[6];
    void (*bind)(Utf8Values&, const Columns&, const Types&);
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
    m_Types.clear();

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
    m_Types.clear();
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
        db.open();
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
        success = buildOn(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return success;
}

bool ThreadDataBaseCreate::buildOn(QSqlDatabase& db)
{
    QStringList tables;
    if (!readTableList(db, tables))
        return false;

    static const TableStep steps[] = {
        { "KLADR", "/BASE/KLADR.DBF", "Таблица KLADR существует.", "Таблица KLADR не существует.",
            "Создание таблицы KLADR.", "Создание таблицы KLADR. Шаг 2 из 11. ",
            "Не удалось создать таблицу KLADR. Ошибка: '", "Unable to open KLADR.DBF",
            // "KALDR" is the diagnostic text as it has always been reported.
            "Unable to create table KALDR: ", "Unable to make INSERT into KLADR", Schema::CreateKladr,
            Schema::InsertKladr, { 0, 1, 2, 3, 7, -1 }, bindKladr },
        { "STREET", "/BASE/STREET.DBF", "Таблица STREET существует.", "Таблица STREET не существует.",
            "Создание таблицы STREET.", "Создание таблицы STREET. Шаг 3 из 11. ",
            "Не удалось создать таблицу STREET. Ошибка: '", "Unable to open STREET.DBF",
            "Unable to create table STREET: ", "Unable to make INSERT into STREET: ", Schema::CreateStreet,
            Schema::InsertStreet, { 0, 1, 2, 3, -1 }, bindStreet },
        { "DOMA", "/BASE/DOMA.DBF", nullptr, nullptr, "Создание таблицы DOMA.",
            "Создание таблицы DOMA. Шаг 4 из 11. ", "Не удалось создать таблицу DOMA. Ошибка: '",
            "Unable to open DOMA.DBF", "Unable to create table DOMA: ", "Unable to make INSERT into DOMA: ",
            Schema::CreateDoma, Schema::InsertDoma, { 0, 3, 4, -1 }, bindDoma },
    };

    // The dictionary and the files are needed only for a table that has to be built: a
    // complete database (one received by update, say) is checked without BASE/.
    QStringList files;
    for (const TableStep& step : steps) {
        if (!tables.contains(QLatin1String(step.table)))
            files << m_LocalDbDir + QLatin1String(step.file);
    }
    bool success = true;
    if (!files.isEmpty()) {
        // Without the dictionary every type name would be blank for good: nothing is built.
        if (!readTypes()) {
            if (!isInterruptionRequested())
                log(u("Без справочника SOCRBASE.DBF таблицы базы данных не создаются."));
            return false;
        }
        // A header that announces records the file does not hold fails the run before any row.
        for (const QString& path : qAsConst(files)) {
            if (!recordCountFits(path))
                success = false;
        }
        if (!success)
            return false;
    }
    if (dropLeftovers(db, tables) != Outcome::Done)
        return false;

    TableReport* const reports[] = { &m_Report.kladr, &m_Report.street, &m_Report.doma };
    for (int i = 0; i < 3 && !isInterruptionRequested(); ++i) {
        const Outcome outcome = importTable(db, tables, steps[i], *reports[i]);
        if (outcome == Outcome::Stop)
            return false;
        if (outcome == Outcome::Failed)
            success = false;
    }
    if (isInterruptionRequested())
        return false;
    const Outcome indexes
        = buildIndexes(db, m_Report.kladr.created || m_Report.street.created || m_Report.doma.created);
    if (indexes != Outcome::Done || isInterruptionRequested())
        return false;
    // Only a database whose every step succeeded, with all three tables complete, is stamped
    // and offered to other installations.
    if (success && !tables.contains(QStringLiteral("info")))
        success = publish(db) == Outcome::Done;
    return success;
}

// The tables as SQLite lists them; a damaged file shows here, before anything is written.
bool ThreadDataBaseCreate::readTableList(QSqlDatabase& db, QStringList& tables)
{
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
        while (query.next())
            tables << query.value(0).toString();
        if (!query.lastError().isValid())
            return true;
    }
    const QSqlError error = lastError(query, db);
    // A database that cannot be opened at all fails each step with its reason, as before.
    if (!db.isOpen())
        return true;
    return sqlFault(resultCode(error), error.databaseText()) != Outcome::Stop;
}

bool ThreadDataBaseCreate::recordCountFits(const QString& path)
{
    QFile file(path);
    // A file that cannot be read is reported by its step.
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray header = file.read(HeaderPrefix);
    if (header.size() < HeaderPrefix)
        return true;
    const auto byte = [&header](int i) { return quint32(quint8(header.at(i))); };
    const qint32 count = qint32(byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24);
    const qint64 headerLength = qint64(byte(8) | byte(9) << 8);
    const qint64 recordLength = qint64(byte(10) | byte(11) << 8);
    const qint64 size = file.size();
    const qint64 holds = recordLength > 0 && size > headerLength ? (size - headerLength) / recordLength : 0;
    if (count >= 0 && count <= holds)
        return true;
    log(u("Файл '") + path + u("' повреждён: в его заголовке указано записей: ") + QString::number(count)
        + u(", а файл вмещает записей: ") + QString::number(holds)
        + u(". Замените файл целым и повторите поиск."));
    qDebug() << "Header record count does not fit the file:" << path << count << holds;
    return false;
}

ThreadDataBaseCreate::Outcome ThreadDataBaseCreate::sqlFault(int nCode, const QString& text)
{
    switch (nCode & 0xff) {
    case SQLITE_FULL:
        log(u("Недостаточно места на диске в каталоге локальной базы данных '") + m_LocalDbDir
            + u("' (SQLite: '") + text + u("'). Освободите место и повторите поиск."));
        return Outcome::Stop;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        log(u("Локальная база данных '") + databasePath() + u("' повреждена (SQLite: '") + text
            + u("'). Удалите этот файл, чтобы база данных была создана заново из каталога BASE, "
                "или дождитесь, пока обновление заменит её при запуске программы."));
        return Outcome::Stop;
    default:
        return Outcome::Failed;
    }
}

// Runs one statement; a failure is logged with SQLite's text after the prefix.
ThreadDataBaseCreate::Outcome ThreadDataBaseCreate::execChecked(
    QSqlDatabase& db, const QString& sql, const QString& failurePrefix)
{
    QSqlQuery query(db);
    if (query.exec(sql))
        return Outcome::Done;
    const QSqlError error = lastError(query, db);
    log(failurePrefix + error.text() + QLatin1Char('\''));
    qDebug() << "Statement failed:" << sql << error;
    return db.isOpen() ? sqlFault(resultCode(error), error.databaseText()) : Outcome::Failed;
}

ThreadDataBaseCreate::Outcome ThreadDataBaseCreate::dropLeftovers(QSqlDatabase& db, const QStringList& tables)
{
    QStringList leftovers;
    for (const char* table : DataTables) {
        if (tables.contains(workingName(table)))
            leftovers << workingName(table);
    }
    if (leftovers.isEmpty())
        return Outcome::Done;
    log(u("Удаление неполных таблиц прерванного импорта: ") + leftovers.join(QStringLiteral(", "))
        + QLatin1Char('.'));
    for (const QString& table : qAsConst(leftovers)) {
        const Outcome outcome = execChecked(db, QStringLiteral("DROP TABLE ") + table,
            u("Не удалось удалить таблицу ") + table + u(". Ошибка: '"));
        if (outcome != Outcome::Done)
            return outcome;
    }
    return Outcome::Done;
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

bool ThreadDataBaseCreate::readTypes()
{
    const QString path = m_LocalDbDir + QStringLiteral("/BASE/SOCRBASE.DBF");
    log(u("Попытка открытия файла '") + path + QLatin1Char('\''));
    QDbf::QDbfTableModel model;
    if (!model.open(path, true)) {
        log(u("Не удалось открыть файл '") + path + QLatin1Char('\''));
        qDebug() << "Unable to open SOCRBASE.DBF";
        return false;
    }
    if (!recordCountFits(path))
        return false;
    log(u("Обработка таблицы SOCRBASE."));
    emit signalUpdateText(u("Обработка таблицы SOCRBASE. Шаг 1 из 11. "));
    startProgress(model.size());
    log(u("Добавление ") + QString::number(model.size()) + u(" строк..."));

    TableReport report;
    readByBlocks(model, report.blocks, [&](int first, int end) {
        for (int row = first; row < end; ++row) {
            const QVariant key = model.data(model.index(row, 1));
            if (!key.isValid()) {
                ++report.unreadable;
                continue;
            }
            // A later record with the same abbreviation replaces the earlier full name.
            m_Types.insert(key.toString(), model.data(model.index(row, 2)).toString());
            advanceProgress(row);
        }
        return !isInterruptionRequested();
    });
    finishProgress();
    if (report.unreadable > 0) {
        log(u("Файл '") + path + u("' короче, чем указано в его заголовке: не прочитано записей: ")
            + QString::number(report.unreadable) + QLatin1Char('.'));
        qDebug() << "File holds fewer records than its header announces:" << path;
        return false;
    }
    if (m_Types.isEmpty()) {
        log(u("Файл '") + path + u("' не содержит ни одной записи."));
        return false;
    }
    return !isInterruptionRequested();
}

ThreadDataBaseCreate::Outcome ThreadDataBaseCreate::importTable(
    QSqlDatabase& db, const QStringList& tables, const TableStep& step, TableReport& report)
{
    if (tables.contains(QLatin1String(step.table))) {
        if (step.existsLine)
            log(u(step.existsLine));
        return Outcome::Done;
    }
    if (step.missingLine)
        log(u(step.missingLine));
    const QString path = m_LocalDbDir + QLatin1String(step.file);
    log(u("Попытка открытия файла '") + path + QLatin1Char('\''));
    QDbf::QDbfTableModel model;
    if (!model.open(path, true)) {
        log(u("Не удалось открыть файл '") + path + QLatin1Char('\''));
        qDebug() << step.openFailedDebug;
        return Outcome::Failed;
    }

    log(u(step.creatingLine));
    emit signalUpdateText(u(step.stepText));
    const QString working = workingName(step.table);
    {
        QSqlQuery query(db);
        if (!query.exec(onWorkingTable(step.createStatement, step.table))) {
            const QSqlError error = lastError(query, db);
            log(u(step.createFailedPrefix) + error.text() + QLatin1Char('\''));
            qDebug() << step.createFailedDebug << error;
            return db.isOpen() ? qMax(Outcome::Failed, sqlFault(resultCode(error), error.databaseText()))
                               : Outcome::Failed;
        }
    }
    startProgress(model.size());
    log(u("Добавление ") + QString::number(model.size()) + u(" строк..."));

    // One statement prepared for the whole table, values bound: a name with an apostrophe or a
    // double quote goes in as it stands.
    Outcome outcome = Outcome::Done;
    const QByteArray insertSql = onWorkingTable(step.insertStatement, step.table).toUtf8();
    SqliteInsert insert(db, insertSql.constData());
    auto insertFailed = [&](const QString& error, int nCode) {
        log(u("Проблема при вставке строк. Ошибка: '") + error + QLatin1Char('\''));
        qDebug() << step.insertFailedDebug
                 << QSqlError(
                        QStringLiteral("Unable to execute statement"), error, QSqlError::StatementError);
        outcome = qMax(Outcome::Failed, sqlFault(nCode, error));
    };
    if (!insert.isValid()) {
        insertFailed(insert.errorText(), insert.errorCode());
        return outcome;
    }
    // The DBF file is read (and the values mapped and encoded) in a thread of its own while
    // this one inserts the block before: reading and SQLite each take about half of the time.
    // The blocks and their transactions stay exactly as in one thread. Only UTF-8 buffers cross
    // between the threads: QStrings made in one thread and freed in the other cost more in the
    // allocator than the overlap gains.
    BlockQueue queue;
    std::thread reader([&] {
        Columns c;
        readByBlocks(model, report.blocks, [&](int first, int end) {
            SourceBlock block;
            block.rows.resize(size_t(end - first));
            for (int row = first; row < end; ++row) {
                SourceRow& r = block.rows[size_t(row - first)];
                r.row = row;
                const QVariant name = model.data(model.index(row, 0));
                r.readable = name.isValid();
                if (!r.readable)
                    continue;
                c[0] = name.toString();
                for (const int* column = step.columns + 1; *column >= 0; ++column)
                    c[size_t(*column)] = model.data(model.index(row, *column)).toString();
                step.bind(block.values, c, m_Types);
            }
            return queue.push(std::move(block));
        });
        queue.close();
    });

    // Transactions as statements of their own: Qt's commit() drops SQLite's result code, which
    // tells a full disk from other failures.
    QSqlQuery transaction(db);
    auto transactionFailed = [&] {
        const QSqlError error = lastError(transaction, db);
        insertFailed(error.databaseText(), resultCode(error));
    };
    SourceBlock block;
    bool interrupted = false;
    while (queue.pop(block)) {
        if (!transaction.exec(QStringLiteral("BEGIN"))) {
            transactionFailed();
            queue.abort();
            break;
        }
        qint64 inserted = 0;
        size_t value = 0;
        const size_t perRow = size_t(insert.parameterCount());
        for (const SourceRow& r : block.rows) {
            // The window is closing: the block in progress is not committed.
            if (isInterruptionRequested()) {
                interrupted = true;
                break;
            }
            if (!r.readable) {
                ++report.unreadable;
                continue;
            }
            const size_t first = value;
            value += perRow;
            if (!insert.exec(block.values, first)) {
                insertFailed(insert.errorText(), insert.errorCode());
                break;
            }
            ++inserted;
            advanceProgress(r.row);
        }
        if (interrupted || outcome != Outcome::Done || report.unreadable > 0) {
            transaction.exec(QStringLiteral("ROLLBACK"));
            queue.abort();
            break;
        }
        if (!transaction.exec(QStringLiteral("COMMIT"))) {
            transactionFailed();
            transaction.exec(QStringLiteral("ROLLBACK"));
            queue.abort();
            break;
        }
        report.rows += inserted;
    }
    reader.join();
    finishProgress();
    if (report.unreadable > 0) {
        log(u("Файл '") + path + u("' короче, чем указано в его заголовке: не прочитано записей: ")
            + QString::number(report.unreadable) + QLatin1Char('.'));
        qDebug() << "File holds fewer records than its header announces:" << path;
        outcome = qMax(outcome, Outcome::Failed);
    }
    // An incomplete table keeps its working name; the next run drops it and starts over.
    if (interrupted || outcome != Outcome::Done)
        return qMax(outcome, Outcome::Failed);

    // The commit that makes the table visible waits for the disk, and with it every block.
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    const QString failed = u("Не удалось завершить таблицу ") + QLatin1String(step.table) + u(". Ошибка: '");
    outcome = execChecked(db, QStringLiteral("BEGIN"), failed);
    if (outcome == Outcome::Done) {
        outcome = execChecked(db,
            QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(working, QLatin1String(step.table)), failed);
        if (outcome == Outcome::Done)
            outcome = execChecked(db, QStringLiteral("COMMIT"), failed);
        if (outcome != Outcome::Done)
            transaction.exec(QStringLiteral("ROLLBACK"));
    }
    pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    report.created = outcome == Outcome::Done;
    return outcome;
}

ThreadDataBaseCreate::Outcome ThreadDataBaseCreate::buildIndexes(QSqlDatabase& db, bool bTableCreated)
{
    QSqlQuery query(db);
    QStringList existing;
    QStringList existingTables;
    if (query.exec(QStringLiteral("SELECT type, name FROM sqlite_master WHERE type IN ('index', 'table')"))) {
        while (query.next()) {
            if (query.value(0).toString() == QLatin1String("index"))
                existing << query.value(1).toString();
            else
                existingTables << query.value(1).toString();
        }
    }
    const bool hasStatistics = existingTables.contains(QStringLiteral("sqlite_stat1"));

    emit signalUpdateProgress(0, 7);
    Outcome outcome = Outcome::Done;
    bool indexCreated = false;
    int k = 0;
    for (const Schema::IndexStatement& index : Schema::Indexes) {
        if (isInterruptionRequested())
            return Outcome::Failed;
        const IndexStep& step = IndexSteps[k];
        log(u(step.logLine));
        emit signalUpdateText(u(step.stepText));
        if (!query.exec(QLatin1String(index.create))) {
            const QSqlError error = lastError(query, db);
            log(u("Проблема при создании индекса. Ошибка: '") + error.text() + QLatin1Char('\''));
            qDebug() << step.debugLiteral << error;
            outcome = db.isOpen() ? qMax(Outcome::Failed, sqlFault(resultCode(error), error.databaseText()))
                                  : Outcome::Failed;
            if (outcome == Outcome::Stop)
                return outcome;
        } else if (!existing.contains(QLatin1String(index.name))) {
            indexCreated = true;
        }
        emit signalUpdateProgress(++k, -1);
    }
    if (outcome != Outcome::Done)
        return outcome;

    // The distinct names follow their tables: made when missing, made again whenever a table
    // was created in this run, so they never describe rows that are gone.
    for (const Schema::NameTableStatement& names : Schema::NameTables) {
        if (isInterruptionRequested())
            return Outcome::Failed;
        const QString name = QLatin1String(names.name);
        if (existingTables.contains(name) && !bTableCreated)
            continue;
        const QString failed = u("Проблема при создании индекса. Ошибка: '");
        outcome = execChecked(db, QStringLiteral("DROP TABLE IF EXISTS ") + name, failed);
        if (outcome == Outcome::Done)
            outcome = execChecked(db, QLatin1String(names.create), failed);
        if (outcome != Outcome::Done)
            return outcome;
    }

    // Without statistics SQLite may pick name_upper over (name_upper, code_kladr) for the joins
    // of the search; fresh tables or indexes get them once. The analysis reads every index in
    // full (under a second on the whole classifier): sampled statistics misjudge how many
    // localities share a name and send the locality-and-street search through the street index.
    if (bTableCreated || indexCreated || !hasStatistics) {
        outcome = execChecked(db, QStringLiteral("ANALYZE"), u("Проблема при сборе статистики. Ошибка: '"));
        m_Report.analyzed = outcome == Outcome::Done;
    }
    return outcome;
}

ThreadDataBaseCreate::Outcome ThreadDataBaseCreate::publish(QSqlDatabase& db)
{
    const QString version = QDateTime::currentDateTimeUtc().toString(Qt::TextDate);
    // The stamp first, durably: the files announce only a database that carries its version.
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    const QString failed = u("Не удалось записать версию базы данных. Ошибка: '");
    Outcome outcome = execChecked(db, QStringLiteral("BEGIN"), failed);
    if (outcome == Outcome::Done) {
        outcome = execChecked(db, QLatin1String(Schema::CreateInfo), failed);
        if (outcome == Outcome::Done)
            outcome = execChecked(db,
                QStringLiteral("INSERT INTO info (version) VALUES ('") + version + QStringLiteral("');"),
                failed);
        if (outcome == Outcome::Done)
            outcome = execChecked(db, QStringLiteral("COMMIT"), failed);
        if (outcome != Outcome::Done)
            pragma.exec(QStringLiteral("ROLLBACK"));
    }
    pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    if (outcome != Outcome::Done)
        return outcome;
    m_Report.published = true;

    // A read-only installation directory keeps the database usable here; it is only not
    // offered to others.
    QStringList unwritten;
    if (!Settings::writeSettingsIfMissing(m_AppDir, m_LocalDbDir))
        unwritten << m_AppDir + QLatin1String(Settings::SettingsFileName);
    if (!Settings::writeDescriptorIfMissing(m_AppDir, version))
        unwritten << m_AppDir + QLatin1Char('/') + QLatin1String(Settings::DescriptorFileName);
    if (!unwritten.isEmpty()) {
        log(u("Не удалось записать файлы '") + unwritten.join(QStringLiteral("', '"))
            + u("': каталог программы недоступен для записи. База данных готова, но не предложена "
                "для обновления других установок."));
    }
    return Outcome::Done;
}

void ThreadDataBaseCreate::startProgress(int nMax)
{
    m_nProgressMax = nMax;
    m_nProgressShown = -1;
    m_nProgressLast = -1;
    m_nProgressEmitted = -1;
    emit signalUpdateProgress(0, nMax);
}

void ThreadDataBaseCreate::advanceProgress(int nValue)
{
    m_nProgressLast = nValue;
    const int shown = m_nProgressMax > 0 ? int(qint64(nValue) * ProgressSteps / m_nProgressMax) : 0;
    if (shown == m_nProgressShown)
        return;
    m_nProgressShown = shown;
    m_nProgressEmitted = nValue;
    emit signalUpdateProgress(nValue, -1);
}

void ThreadDataBaseCreate::finishProgress()
{
    if (m_nProgressLast >= 0 && m_nProgressLast != m_nProgressEmitted) {
        m_nProgressEmitted = m_nProgressLast;
        emit signalUpdateProgress(m_nProgressLast, -1);
    }
}
