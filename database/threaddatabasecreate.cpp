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
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

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

void ThreadDataBaseCreate::run()
{
    if (!m_pHost)
        return;
    m_Report = RunReport();
    m_Types.clear();

    checkLocalDbDir();
    emit signalUpdateProgress(0, -1);
    emit signalVisible(true);

    // A connection of our own: the window's default connection belongs to the GUI thread.
    const QString connectionName = QStringLiteral("velmora-import-%1").arg(quintptr(this), 0, 16);
    bool success = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(m_LocalDbDir + QLatin1Char('/') + QLatin1String(Schema::DatabaseFileName));
        db.open();
        {
            // A crash of the program leaves the committed blocks intact; only a power loss
            // could cost the blocks not yet flushed, and the next run reports that table.
            // Larger pages (taken only by a new file) and an 8 MB cache mean fewer writes and
            // cheaper index sorts at the classifier's size.
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
            pragma.exec(QStringLiteral("PRAGMA page_size=16384"));
            pragma.exec(QStringLiteral("PRAGMA cache_size=-8000"));
        }
        const QStringList tables = db.tables();

        success = readTypes();
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
                "Unable to create table STREET: ", "Unable to make INSERT into STREET: ",
                Schema::CreateStreet, Schema::InsertStreet, { 0, 1, 2, 3, -1 }, bindStreet },
            { "DOMA", "/BASE/DOMA.DBF", nullptr, nullptr, "Создание таблицы DOMA.",
                "Создание таблицы DOMA. Шаг 4 из 11. ", "Не удалось создать таблицу DOMA. Ошибка: '",
                "Unable to open DOMA.DBF",
                "Unable to create table DOMA: ", "Unable to make INSERT into DOMA: ", Schema::CreateDoma,
                Schema::InsertDoma, { 0, 3, 4, -1 }, bindDoma },
        };
        TableReport* const reports[] = { &m_Report.kladr, &m_Report.street, &m_Report.doma };
        for (int i = 0; i < 3 && !isInterruptionRequested(); ++i) {
            if (!importTable(db, tables, steps[i], *reports[i]))
                success = false;
        }
        if (!isInterruptionRequested())
            buildIndexes(db, m_Report.kladr.created || m_Report.street.created || m_Report.doma.created);
        if (!isInterruptionRequested() && !tables.contains(QStringLiteral("info")))
            publish(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    m_Types.clear();
    m_Report.success = success;
    // The window is closing and waits only for the thread to end.
    if (isInterruptionRequested())
        return;

    emit signalVisible(false);
    m_pHost->setDataBaseReady(success);
    emit signalDataBaseCreated(success);
    log(u("Первоначальная настройка базы данных завершена."));
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
    return true;
}

bool ThreadDataBaseCreate::importTable(
    QSqlDatabase& db, const QStringList& tables, const TableStep& step, TableReport& report)
{
    if (tables.contains(QLatin1String(step.table))) {
        if (step.existsLine)
            log(u(step.existsLine));
        return true;
    }
    if (step.missingLine)
        log(u(step.missingLine));
    const QString path = m_LocalDbDir + QLatin1String(step.file);
    log(u("Попытка открытия файла '") + path + QLatin1Char('\''));
    QDbf::QDbfTableModel model;
    if (!model.open(path, true)) {
        log(u("Не удалось открыть файл '") + path + QLatin1Char('\''));
        qDebug() << step.openFailedDebug;
        return false;
    }

    log(u(step.creatingLine));
    emit signalUpdateText(u(step.stepText));
    QSqlQuery query(db);
    if (!query.exec(QLatin1String(step.createStatement))) {
        log(u(step.createFailedPrefix) + lastError(query, db).text() + QLatin1Char('\''));
        qDebug() << step.createFailedDebug << lastError(query, db);
        return false;
    }
    report.created = true;
    startProgress(model.size());
    log(u("Добавление ") + QString::number(model.size()) + u(" строк..."));

    // One statement prepared for the whole table, values bound: a name with an apostrophe or a
    // double quote goes in as it stands.
    bool success = true;
    SqliteInsert insert(db, step.insertStatement);
    auto insertFailed = [&](const QString& error) {
        log(u("Проблема при вставке строк. Ошибка: '") + error + QLatin1Char('\''));
        qDebug() << step.insertFailedDebug
                 << QSqlError(
                        QStringLiteral("Unable to execute statement"), error, QSqlError::StatementError);
    };
    if (!insert.isValid()) {
        insertFailed(insert.errorText());
        return false;
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

    SourceBlock block;
    while (queue.pop(block)) {
        db.transaction();
        bool interrupted = false;
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
                insertFailed(insert.errorText());
                success = false;
                break;
            }
            ++report.rows;
            advanceProgress(r.row);
        }
        if (interrupted) {
            db.rollback();
            queue.abort();
            break;
        }
        db.commit();
    }
    reader.join();
    finishProgress();
    if (report.unreadable > 0) {
        log(u("Файл '") + path + u("' короче, чем указано в его заголовке: не прочитано записей: ")
            + QString::number(report.unreadable) + QLatin1Char('.'));
        qDebug() << "File holds fewer records than its header announces:" << path;
        success = false;
    }
    return success;
}

void ThreadDataBaseCreate::buildIndexes(QSqlDatabase& db, bool bTableCreated)
{
    QSqlQuery query(db);
    QStringList existing;
    bool hasStatistics = false;
    if (query.exec(QStringLiteral("SELECT type, name FROM sqlite_master WHERE type IN ('index', 'table')"))) {
        while (query.next()) {
            if (query.value(0).toString() == QLatin1String("index"))
                existing << query.value(1).toString();
            else if (query.value(1).toString() == QLatin1String("sqlite_stat1"))
                hasStatistics = true;
        }
    }

    emit signalUpdateProgress(0, 7);
    bool indexCreated = false;
    int k = 0;
    for (const Schema::IndexStatement& index : Schema::Indexes) {
        if (isInterruptionRequested())
            return;
        const IndexStep& step = IndexSteps[k];
        log(u(step.logLine));
        emit signalUpdateText(u(step.stepText));
        if (!query.exec(QLatin1String(index.create))) {
            log(u("Проблема при создании индекса. Ошибка: '") + lastError(query, db).text()
                + QLatin1Char('\''));
            qDebug() << step.debugLiteral << lastError(query, db);
        } else if (!existing.contains(QLatin1String(index.name))) {
            indexCreated = true;
        }
        emit signalUpdateProgress(++k, -1);
    }

    // Without statistics SQLite may pick name_upper over (name_upper, code_kladr) for the joins
    // of the search; fresh tables or indexes get them once. The analysis reads every index in
    // full (under a second on the whole classifier): sampled statistics misjudge how many
    // localities share a name and send the locality-and-street search through the street index.
    if (bTableCreated || indexCreated || !hasStatistics) {
        m_Report.analyzed = query.exec(QStringLiteral("ANALYZE"));
        if (!m_Report.analyzed)
            qDebug() << "ANALYZE failed: " << lastError(query, db);
    }
}

void ThreadDataBaseCreate::publish(QSqlDatabase& db)
{
    Settings::writeSettingsIfMissing(m_AppDir, m_LocalDbDir);
    const QString version = QDateTime::currentDateTimeUtc().toString(Qt::TextDate);
    Settings::writeDescriptorIfMissing(m_AppDir, version);
    QSqlQuery query(db);
    db.transaction();
    query.exec(QLatin1String(Schema::CreateInfo));
    query.exec(QStringLiteral("INSERT INTO info (version) VALUES ('") + version + QStringLiteral("');"));
    db.commit();
    m_Report.published = true;
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
