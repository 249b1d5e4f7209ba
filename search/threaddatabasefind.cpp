// SPDX-License-Identifier: GPL-3.0-or-later
#include "threaddatabasefind.h"

#include "postaladdress.h"
#include "searchconnection.h"
#include "searchlog.h"
#include "searchquery.h"
#include "threadtimer.h"
#include "workerhost.h"

#include <QMutexLocker>

ThreadDataBaseFind::ThreadDataBaseFind(QObject* parent)
    : QThread(parent)
    , m_ConnectionName(QStringLiteral("velmora-search-%1").arg(quintptr(this), 0, 16))
{
    qRegisterMetaType<SearchResult>();
}

ThreadDataBaseFind::~ThreadDataBaseFind()
{
    {
        QMutexLocker lock(&m_Mutex);
        m_bStop = true;
        m_Jobs.clear();
        m_Wake.wakeAll();
    }
    // The run holds the connection and closes it as it ends.
    wait();
}

void ThreadDataBaseFind::setDatabaseFile(const QString& fileName)
{
    QMutexLocker lock(&m_Mutex);
    m_DatabaseFile = fileName;
}

void ThreadDataBaseFind::find(const SearchParams& params)
{
    Job job;
    job.bSearch = true;
    job.params = params;
    post(job);
}

void ThreadDataBaseFind::prepare()
{
    post(Job());
}

void ThreadDataBaseFind::post(const Job& job)
{
    QMutexLocker lock(&m_Mutex);
    Job queued = job;
    queued.databaseFile = m_DatabaseFile;
    if (!m_Jobs.isEmpty() && m_Jobs.last().bSearch && queued.bSearch)
        m_Jobs.last() = queued;
    else
        m_Jobs.append(queued);
    m_bBusy = true;
    if (!m_bRunning) {
        m_bRunning = true;
        start(QThread::InheritPriority);
    }
    m_Wake.wakeAll();
}

void ThreadDataBaseFind::cancel()
{
    m_bCancel = true;
}

bool ThreadDataBaseFind::waitIdle(unsigned long msecs)
{
    QMutexLocker lock(&m_Mutex);
    while (m_bBusy) {
        if (!m_Idle.wait(&m_Mutex, msecs))
            return !m_bBusy;
    }
    return true;
}

bool ThreadDataBaseFind::interrupted() const
{
    if (m_bCancel)
        return true;
    QMutexLocker lock(&m_Mutex);
    return m_bStop;
}

void ThreadDataBaseFind::run()
{
    SearchConnection connection(m_ConnectionName);
    for (;;) {
        Job job;
        {
            QMutexLocker lock(&m_Mutex);
            while (m_Jobs.isEmpty() && !m_bStop)
                m_Wake.wait(&m_Mutex);
            if (m_bStop) {
                m_bRunning = false;
                m_bBusy = false;
                m_Idle.wakeAll();
                break;
            }
            job = m_Jobs.takeFirst();
            m_bCancel = false;
        }
        runJob(connection, job);
        // Reported before the worker counts as idle, so whoever waits for it has the report.
        emit signalSearchDone();
        {
            QMutexLocker lock(&m_Mutex);
            if (m_Jobs.isEmpty()) {
                m_bBusy = false;
                m_Idle.wakeAll();
            }
        }
    }
    // The connection belongs to this thread: closed here, as the thread ends.
    connection.close();
}

void ThreadDataBaseFind::runJob(SearchConnection& connection, const Job& job)
{
    connection.setDatabaseFile(job.databaseFile);
    if (!job.bSearch) {
        QString error;
        if (!connection.open(&error))
            qCDebug(lcSearch) << "Search connection not opened:" << error;
        return;
    }
    if (!m_pHost)
        return;

    const QString refused = SearchQuery::inputRefusal(job.params);
    const std::unique_ptr<SearchQuery> query = refused.isEmpty() ? SearchQuery::create(job.params) : nullptr;
    const QString refusal = query ? query->refusal() : refused;
    if (!refusal.isEmpty()) {
        m_pHost->addState(refusal, false);
        emit signalVisible(false);
        return;
    }

    emit signalUpdateText(QStringLiteral("Выполнение запроса..."));
    emit signalUpdateProgress(0, 1);
    const QString statement = query->statement();
    qCDebug(lcSearch).noquote() << QStringLiteral("Trying to make next querry: \"") + statement
            + QLatin1Char('"');
    m_pHost->addState(QStringLiteral(">>>: ") + statement, false);

    QString error;
    if (!connection.open(&error)) {
        m_pHost->addState(QStringLiteral("Ошибка: ") + error, false);
        emit signalVisible(false);
        return;
    }

    bool bBusy = false;
    SearchContext context;
    context.db = connection.database();
    context.statements = &connection.statements();
    context.handle = connection.handle();
    context.codeSets = connection.codeSets();
    context.busy = [this, &bBusy] {
        if (bBusy)
            return;
        bBusy = true;
        emit signalVisible(true);
        if (m_pTimer)
            m_pTimer->startProgress();
    };
    context.interrupted = [this] { return interrupted(); };

    SearchResult result;
    // The statements of one search in one read transaction: the file is locked, its size read and
    // its change counter checked once, not for every statement. Ended before the result is
    // reported, so that no lock is held between searches (an import may be waiting to write).
    // Through the kept statements when rows are read directly: Qt's driver compiles BEGIN and
    // COMMIT anew every time.
    QSqlDatabase db = context.db;
    StatementCache& kept = connection.statements();
    const bool bDirect = connection.handle() != nullptr;
    const bool bTransaction = bDirect ? kept.execute(QStringLiteral("BEGIN")) : db.transaction();
    const bool found = query->run(context, &result, &error);
    if (bTransaction && !(bDirect ? kept.execute(QStringLiteral("COMMIT")) : db.commit())) {
        if (!bDirect || !kept.execute(QStringLiteral("ROLLBACK")))
            db.rollback();
    }
    context.db = QSqlDatabase();
    db = QSqlDatabase();
    if (found) {
        // The names of the file just searched, read through the same connection.
        const AddressNameCache& names = connection.names();
        const PostalAddress::Lookup lookup = [&names](const QString& code) { return names.lookup(code); };
        const PostalAddress::Columns columns = PostalAddress::columnsOf(result.columnMap);
        result.addresses.reserve(result.rows.size());
        // Rows of one street differ in their index alone: the rest of the line is composed once
        // for them. A line is its index, a comma and the rest, or the rest without an index.
        PostalAddress::Fields last;
        QString rest;
        for (const QSqlRecord& row : qAsConst(result.rows)) {
            PostalAddress::Fields fields = PostalAddress::fieldsOf(row, columns);
            const QString index = fields.index;
            fields.index.clear();
            if (rest.isEmpty() || !(fields == last)) {
                rest = PostalAddress::compose(fields, result.address, result.house, lookup);
                last = fields;
            }
            result.addresses << (index.isEmpty() ? rest : index + QLatin1Char(',') + rest);
            qCDebug(lcSearch).noquote() << QLatin1Char('"') + result.addresses.last() + QLatin1Char('"');
        }
        emit signalFind(result);
    } else if (!error.isEmpty()) {
        m_pHost->addState(QStringLiteral("Ошибка: ") + error, false);
        // A failed statement may mean a damaged or replaced file: the next search starts afresh.
        connection.close();
    }

    if (bBusy && m_pTimer)
        m_pTimer->stopProgress();
    emit signalVisible(false);
}
