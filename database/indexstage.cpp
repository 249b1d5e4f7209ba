// SPDX-License-Identifier: GPL-3.0-or-later
#include "indexstage.h"

#include "schema.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <iterator>

namespace {

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

// Runs one CREATE INDEX: false, the error logged and the session's verdict in outcome, when it
// fails; indexCreated when it made an index that was not there.
bool runIndexStatement(ImportSession& session, QSqlQuery& query, const char* create, const char* name,
    const QStringList& existing, bool& indexCreated, const QByteArray& debugText, StepOutcome& outcome)
{
    if (!query.exec(QLatin1String(create))) {
        const QSqlError error = session.lastError(query);
        session.log(u("Проблема при создании индекса. Ошибка: '") + error.text() + QLatin1Char('\''));
        qDebug() << debugText.constData() << error;
        outcome = session.failure(error);
        return false;
    }
    if (!existing.contains(QLatin1String(name)))
        indexCreated = true;
    return true;
}

StepOutcome createIndexes(ImportSession& session, const QStringList& existing, bool& indexCreated)
{
    QSqlQuery query(session.db());
    session.progress(0, 7);
    StepOutcome outcome = StepOutcome::Done;
    int k = 0;
    for (const Schema::IndexStatement& index : Schema::Indexes) {
        if (session.interrupted())
            return StepOutcome::Failed;
        const IndexStep& step = IndexSteps[k];
        session.log(u(step.logLine));
        session.stepText(u(step.stepText));
        if (!runIndexStatement(
                session, query, index.create, index.name, existing, indexCreated, step.debugLiteral, outcome)
            && outcome == StepOutcome::Stop)
            return outcome;
        session.progress(++k, -1);
    }
    return outcome;
}

// The program's own indexes for the search by postal index, after the seven: steps of their own
// with lines of their own, so the seven keep their numbers and texts.
StepOutcome createPostalIndexes(ImportSession& session, const QStringList& existing, bool& indexCreated)
{
    QSqlQuery query(session.db());
    session.progress(0, int(std::size(Schema::PostalIndexes)));
    StepOutcome outcome = StepOutcome::Done;
    int k = 0;
    for (const Schema::PostalIndexStatement& index : Schema::PostalIndexes) {
        if (session.interrupted())
            return StepOutcome::Failed;
        const QString table = QLatin1String(index.table);
        const QString subject = u(index.subject);
        session.log(
            u("Проверка и/или создание индекса ") + subject + u(" для таблицы ") + table + QLatin1Char('.'));
        session.stepText(u("Создание индекса ") + subject + u(" для таблицы ") + table + u(". "));
        if (!runIndexStatement(session, query, index.create, index.name, existing, indexCreated,
                QByteArray("Error creating index ") + index.name, outcome)
            && outcome == StepOutcome::Stop)
            return outcome;
        session.progress(++k, -1);
    }
    return outcome;
}

// The distinct names follow their tables, so they never describe rows that are gone.
StepOutcome createNameTables(ImportSession& session, const QStringList& existingTables, bool bTableCreated)
{
    for (const Schema::NameTableStatement& names : Schema::NameTables) {
        if (session.interrupted())
            return StepOutcome::Failed;
        const QString name = QLatin1String(names.name);
        if (existingTables.contains(name) && !bTableCreated)
            continue;
        const QString failed = u("Проблема при создании таблицы имён ") + name + u(". Ошибка: '");
        // One transaction: a table of names is never left empty or half filled, which would make
        // masks find nothing.
        StepOutcome outcome = session.exec(QStringLiteral("BEGIN"), failed);
        if (outcome != StepOutcome::Done)
            return outcome;
        outcome = session.exec(QStringLiteral("DROP TABLE IF EXISTS ") + name, failed);
        if (outcome == StepOutcome::Done)
            outcome = session.exec(QLatin1String(names.create), failed);
        if (outcome == StepOutcome::Done)
            outcome = session.exec(QLatin1String(names.fill), failed);
        if (outcome == StepOutcome::Done)
            outcome = session.exec(QStringLiteral("COMMIT"), failed);
        if (outcome != StepOutcome::Done) {
            QSqlQuery(session.db()).exec(QStringLiteral("ROLLBACK"));
            return outcome;
        }
    }
    return StepOutcome::Done;
}

} // namespace

StepOutcome buildIndexes(ImportSession& session, bool bTableCreated, bool& analyzed)
{
    QStringList existing;
    QStringList existingTables;
    {
        QSqlQuery query(session.db());
        if (query.exec(
                QStringLiteral("SELECT type, name FROM sqlite_master WHERE type IN ('index', 'table')"))) {
            while (query.next()) {
                if (query.value(0).toString() == QLatin1String("index"))
                    existing << query.value(1).toString();
                else
                    existingTables << query.value(1).toString();
            }
        }
    }
    const bool hasStatistics = existingTables.contains(QStringLiteral("sqlite_stat1"));

    bool indexCreated = false;
    StepOutcome outcome = createIndexes(session, existing, indexCreated);
    if (outcome != StepOutcome::Done)
        return outcome;
    outcome = createPostalIndexes(session, existing, indexCreated);
    if (outcome != StepOutcome::Done)
        return outcome;
    outcome = createNameTables(session, existingTables, bTableCreated);
    if (outcome != StepOutcome::Done)
        return outcome;

    // Without statistics SQLite may pick name_upper over (name_upper, code_kladr) for the joins
    // of the search; fresh tables or indexes get them once. The analysis reads every index in
    // full (under a second on the whole classifier): sampled statistics misjudge how many
    // localities share a name and send the locality-and-street search through the street index.
    if (bTableCreated || indexCreated || !hasStatistics) {
        outcome = session.exec(QStringLiteral("ANALYZE"), u("Проблема при сборе статистики. Ошибка: '"));
        analyzed = outcome == StepOutcome::Done;
    }
    return outcome;
}
