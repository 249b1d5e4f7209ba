// SPDX-License-Identifier: GPL-3.0-or-later
#include "tableimport.h"

#include "importpipeline.h"
#include "sqliteinsert.h"
#include "typedictionary.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

class TableImport {
public:
    TableImport(ImportSession& session, const TableStep& step, TableImportReport& report)
        : m_Session(session)
        , m_Step(step)
        , m_Report(report)
        , m_Path(session.source().describe(step.fileName()))
    {
    }

    StepOutcome run(const QStringList& tables, const TypeNames& types);

private:
    bool openFile(ImportPipeline& pipeline);
    StepOutcome createWorkingTable();
    void insertBlocks(ImportPipeline& pipeline, SqliteInsert& insert);
    bool insertBlock(const SourceBlock& block, SqliteInsert& insert, qint64& inserted);
    void insertFailed(const QString& error, int nCode);
    void transactionFailed(const QSqlQuery& transaction);
    StepOutcome complete();

    ImportSession& m_Session;
    const TableStep& m_Step;
    TableImportReport& m_Report;
    const QString m_Path;
    QString m_ReadError;
    StepOutcome m_Outcome = StepOutcome::Done;
    bool m_bInterrupted = false;
};

StepOutcome TableImport::run(const QStringList& tables, const TypeNames& types)
{
    if (tables.contains(QLatin1String(m_Step.table))) {
        if (m_Step.log.exists)
            m_Session.log(u(m_Step.log.exists));
        return StepOutcome::Done;
    }
    if (m_Step.log.missing)
        m_Session.log(u(m_Step.log.missing));
    ImportPipeline pipeline(m_Step, types);
    if (!openFile(pipeline))
        return StepOutcome::Failed;
    m_Session.log(u(m_Step.log.creating));
    m_Session.stepText(u(m_Step.stepText));
    const StepOutcome created = createWorkingTable();
    if (created != StepOutcome::Done)
        return created;
    m_Session.rowProgress().start(pipeline.size());
    m_Session.log(u("Добавление ") + QString::number(pipeline.size()) + u(" строк..."));

    // One statement prepared for the whole table, values bound: a name with an apostrophe or a
    // double quote goes in as it stands.
    const QByteArray insertSql = m_Step.insertIntoWorkingTable().toUtf8();
    SqliteInsert insert(m_Session.db(), m_Session.direct(), insertSql.constData());
    if (!insert.isValid()) {
        insertFailed(insert.errorText(), insert.errorCode());
        return m_Outcome;
    }
    insertBlocks(pipeline, insert);
    m_Report.blocks = pipeline.finish();
    m_Session.rowProgress().finish();
    if (m_Report.unreadable > 0) {
        m_Session.log(u("Файл '") + m_Path
            + u("' короче, чем указано в его заголовке: не прочитано записей: ")
            + QString::number(m_Report.unreadable) + QLatin1Char('.'));
        if (!m_ReadError.isEmpty() && m_Session.source().isArchive())
            m_Session.log(m_ReadError);
        qDebug() << "File holds fewer records than its header announces:" << m_Path;
        m_Outcome = qMax(m_Outcome, StepOutcome::Failed);
    }
    // An incomplete table keeps its working name; the next run drops it and starts over.
    if (m_bInterrupted || m_Outcome != StepOutcome::Done)
        return qMax(m_Outcome, StepOutcome::Failed);
    return complete();
}

bool TableImport::openFile(ImportPipeline& pipeline)
{
    m_Session.log(u("Попытка открытия файла '") + m_Path + QLatin1Char('\''));
    QString error;
    pipeline.setCheckHeader(m_Session.source().isArchive());
    if (pipeline.open(m_Session.source(), m_Step.fileName(), &error))
        return true;
    if (!pipeline.header().fits) {
        logHeaderMismatch(m_Session, m_Path, pipeline.header());
        return false;
    }
    m_Session.log(u("Не удалось открыть файл '") + m_Path + QLatin1Char('\''));
    if (!error.isEmpty() && m_Session.source().isArchive())
        m_Session.log(error);
    qDebug() << m_Step.debug.openFailed;
    return false;
}

StepOutcome TableImport::createWorkingTable()
{
    QSqlQuery query(m_Session.db());
    if (query.exec(m_Step.createWorkingTable()))
        return StepOutcome::Done;
    const QSqlError error = m_Session.lastError(query);
    m_Session.log(u(m_Step.log.createFailedPrefix) + error.text() + QLatin1Char('\''));
    qDebug() << m_Step.debug.createFailed << error;
    return m_Session.failure(error);
}

// Each block in a transaction of its own. The first failure ends the import of the table,
// its block rolled back.
void TableImport::insertBlocks(ImportPipeline& pipeline, SqliteInsert& insert)
{
    // Transactions as statements of their own: Qt's commit() drops SQLite's result code, which
    // tells a full disk from other failures.
    QSqlQuery transaction(m_Session.db());
    SourceBlock block;
    while (pipeline.next(block)) {
        if (!transaction.exec(QStringLiteral("BEGIN"))) {
            transactionFailed(transaction);
            return;
        }
        qint64 inserted = 0;
        if (!insertBlock(block, insert, inserted)) {
            transaction.exec(QStringLiteral("ROLLBACK"));
            return;
        }
        if (!transaction.exec(QStringLiteral("COMMIT"))) {
            transactionFailed(transaction);
            transaction.exec(QStringLiteral("ROLLBACK"));
            return;
        }
        m_Report.rows += inserted;
    }
}

// False when the block must not be committed.
bool TableImport::insertBlock(const SourceBlock& block, SqliteInsert& insert, qint64& inserted)
{
    const size_t perRow = size_t(insert.parameterCount());
    size_t value = 0;
    for (const SourceRow& row : block.rows) {
        // The window is closing: the block in progress is not committed.
        if (m_Session.interrupted()) {
            m_bInterrupted = true;
            return false;
        }
        const size_t first = value;
        value += perRow;
        if (!insert.exec(block.values, first)) {
            insertFailed(insert.errorText(), insert.errorCode());
            return false;
        }
        ++inserted;
        m_Session.rowProgress().advance(row.row);
    }
    if (block.unreadable > 0) {
        m_Report.unreadable = block.unreadable;
        m_ReadError = block.readError;
        qDebug() << "Reading stopped:" << m_Path << block.readError;
        return false;
    }
    return true;
}

void TableImport::insertFailed(const QString& error, int nCode)
{
    m_Session.log(u("Проблема при вставке строк. Ошибка: '") + error + QLatin1Char('\''));
    qDebug() << m_Step.debug.insertFailed
             << QSqlError(QStringLiteral("Unable to execute statement"), error, QSqlError::StatementError);
    m_Outcome = qMax(StepOutcome::Failed, m_Session.fault(nCode, error));
}

void TableImport::transactionFailed(const QSqlQuery& transaction)
{
    const QSqlError error = m_Session.lastError(transaction);
    insertFailed(error.databaseText(), sqliteResultCode(error));
}

// The rename that makes the table visible commits with synchronous FULL: it waits for the
// disk, and with it every block before.
StepOutcome TableImport::complete()
{
    QSqlQuery pragma(m_Session.db());
    pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    const QString failed
        = u("Не удалось завершить таблицу ") + QLatin1String(m_Step.table) + u(". Ошибка: '");
    StepOutcome outcome = m_Session.exec(QStringLiteral("BEGIN"), failed);
    if (outcome == StepOutcome::Done) {
        outcome = m_Session.exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2")
                                     .arg(m_Step.workingName(), QLatin1String(m_Step.table)),
            failed);
        if (outcome == StepOutcome::Done)
            outcome = m_Session.exec(QStringLiteral("COMMIT"), failed);
        if (outcome != StepOutcome::Done)
            pragma.exec(QStringLiteral("ROLLBACK"));
    }
    pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    m_Report.created = outcome == StepOutcome::Done;
    return outcome;
}

} // namespace

StepOutcome importTable(ImportSession& session, const TableStep& step, const QStringList& tables,
    const TypeNames& types, TableImportReport& report)
{
    return TableImport(session, step, report).run(tables, types);
}
